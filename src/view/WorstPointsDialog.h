#pragma once
#include <QDialog>

class QLineEdit;
class QSpinBox;

// "Call out worst points": how many of the worst points to pin banners on (1 to 100) and
// how far apart they must be (mm). Each control's objectName is its numeric id.
class WorstPointsDialog : public QDialog {
  Q_OBJECT
public:
  enum { IdCount = 1101, IdSpacing = 1102, IdOk = 1, IdCancel = 2 };

  // spacing: the default distance (2 % of the model's bounding-box diagonal).
  explicit WorstPointsDialog(double spacing, QWidget *parent = nullptr);

  int count() const;
  double spacing() const { return spacing_; }

  // The spacing as the edit shows it (six significant digits).
  static QString spacingText(double spacing);

private:
  void onOk();

  QSpinBox *count_;
  QLineEdit *spacingEdit_;
  double spacing_;
};
