#pragma once
#include <QDialog>
#include <QPointer>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class view3d;

// The modeless "Settings" dialog: point size or triangles, tolerance band, point filter,
// colour bars, gradient, magnification, decimal places, banner line colour and extended
// colours. Buttons act at once; the edits are applied together on Enter. Every control's
// objectName is its numeric id.
class DLGTolerance : public QDialog {
  Q_OBJECT
public:
  DLGTolerance(view3d &view, QWidget *parent = nullptr);

  // Fills the controls from the view, as the Tolerance command does after creating it.
  void loadFromView();

  // Enter: apply the edits (tolerance, colour bars, magnification, decimal places); only
  // closes when no model is loaded.
  void applyEdits();

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
  void setPointMode(int displayMode, int pointSize);
  void toggleFilter();
  void setGradient(bool on);
  void setBannerLineColour(int mode);
  void setExtended(bool on);
  void upperToleranceChanged(const QString &text);
  void apply();
  view3d *targetView() const;

  QPointer<view3d> view_;
  bool filterToggle_ = false;

  QPushButton *small_, *medium_, *large_, *triangle_;
  QCheckBox *filter_, *extended_;
  QLineEdit *bars_, *upper_, *lower_, *magnification_, *decimals_;
  QRadioButton *gradientYes_, *gradientNo_, *white_, *black_, *deviation_;
  QButtonGroup *lineColourGroup_;
  QPushButton *ok_, *close_;
};
