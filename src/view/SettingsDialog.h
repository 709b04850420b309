#pragma once
#include "analysis/DisplaySettings.h"
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class ModelView;

// The modeless "Settings" dialog: point size or triangles, tolerance band, point filter,
// colour bars, gradient, magnification, decimal places, banner line colour and extended
// colours. It shows the view's current settings; buttons act at once, the edits apply on
// Enter and when the focus leaves them, after a check that names what is wrong. Every
// control's objectName is its numeric id.
class SettingsDialog : public QDialog {
  Q_OBJECT
public:
  SettingsDialog(ModelView &view, QWidget *parent = nullptr);

  // Limits of the edits: more bars make the legend illegible.
  static constexpr int kMinBars = DisplayLimits::kMinColourBars;
  static constexpr int kMaxBars = DisplayLimits::kMaxColourBars;

  // Fills every control from the view, its point cloud and the program-wide settings.
  void loadFromView();

  // Enter: apply the edits (tolerance, colour bars, magnification, decimal places); only
  // closes when no model is loaded.
  void applyEdits();
  // Checks and applies the edits that changed since they were last applied. A bad entry
  // shows why, keeps the focus in its field and applies nothing; false then.
  bool commitEdits();

  // Id of the "Show percentages" check box.
  static constexpr int kShowPercentagesId = 1091;

  // The control with the given numeric id.
  QWidget *control(int id) const;

  // Texts as the dialog prints numbers: "%f" without trailing zeros (at least one decimal),
  // and 12 significant digits with trailing zeros cut and the decimal point kept.
  static QString fixedText(double value);
  static QString significantText(double value);
  // Leading number of a text, 0 when there is none.
  static double readDouble(const QString &text);
  static int readInt(const QString &text);

protected:
  void keyPressEvent(QKeyEvent *e) override;

private:
  struct EditValues {
    double upper = 0;
    int bars = 0;
    double magnification = 0;
    int places = 0;
  };
  bool readEdits(EditValues &out);
  QStringList editTexts() const;
  void showPointMode();
  void setPointMode(DisplayMode mode, PointSize size);
  void toggleFilter();
  void setGradient(bool on);
  void setBannerLineColour(BannerLineColour colour);
  void setExtended(bool on);
  void upperToleranceChanged(const QString &text);
  void apply();
  ModelView *targetView() const;

  QPointer<ModelView> view_;
  QStringList appliedTexts_; // the edits as last applied or loaded
  bool committing_ = false;  // a refusal's message box must not start another check

  QPushButton *small_, *medium_, *large_, *triangle_;
  QCheckBox *filter_, *extended_;
  QLineEdit *bars_, *upper_, *lower_, *magnification_, *decimals_;
  QRadioButton *gradientYes_, *gradientNo_, *own_, *white_, *black_, *deviation_;
  QButtonGroup *lineColourGroup_, *pointGroup_;
  QPushButton *ok_, *close_;
};
