#pragma once
#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Add a Comment": text, size, angle and fill of a new comment. Each control's objectName is
// its numeric id (1000 text, 1001 size, 1018 angle, 1002 fill, 1 OK, 2 Cancel). It accepts
// only what a saved record holds (RecordLimits): typing beyond the text's limit is refused,
// and OK refuses a size above the largest, each saying the limit in the dialog.
class CommentDialog : public QDialog {
  Q_OBJECT
public:
  enum { IDD = 1400, IdText = 1000, IdSize = 1001, IdFill = 1002, IdAngle = 1018 };

  explicit CommentDialog(QWidget *parent = nullptr);

  // Data-exchange members, filled from the controls by OK.
  QString text;
  QString sizeText = QStringLiteral("20");
  bool fill = false;
  QString angleText = QStringLiteral("0");

  // The text as it is read from an edit: leading blanks skipped, then the longest number
  // that parses; anything unparsable reads as 0. Independent of the process locale.
  static double readNumber(const QString &text);

  // Creates the dialog the Add a Comment command runs; tests replace it (a factory that
  // returns null stands for a dialog that could not be created). Null restores the default.
  using Factory = CommentDialog *(*)(QWidget *parent);
  static CommentDialog *create(QWidget *parent);
  static void setFactory(Factory factory);

private:
  void onOk();
  void onTextChanged();

  QPlainTextEdit *textEdit_;
  QLineEdit *sizeEdit_;
  QLineEdit *angleEdit_;
  QCheckBox *fillCheck_;
  QLabel *limitLabel_;
  QString accepted_; // the text as last accepted while typing
};
