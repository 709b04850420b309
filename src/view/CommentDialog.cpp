#include "view/CommentDialog.h"

#include "records/Annotations.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <charconv>
#include <string>

namespace {
CommentDialog::Factory g_factory = nullptr;
}

CommentDialog::CommentDialog(QWidget *parent) : QDialog(parent) {
  setObjectName(QString::number(IDD));
  setWindowTitle(QStringLiteral("Add a Comment"));
  setModal(true);

  textEdit_ = new QPlainTextEdit(this);
  textEdit_->setObjectName(QString::number(IdText));
  textEdit_->setTabChangesFocus(true);
  sizeEdit_ = new QLineEdit(sizeText, this);
  sizeEdit_->setObjectName(QString::number(IdSize));
  angleEdit_ = new QLineEdit(angleText, this);
  angleEdit_->setObjectName(QString::number(IdAngle));
  fillCheck_ = new QCheckBox(QStringLiteral("fill"), this);
  fillCheck_->setObjectName(QString::number(IdFill));
  limitLabel_ = new QLabel(this);
  limitLabel_->setObjectName(QStringLiteral("limit"));
  limitLabel_->setWordWrap(true);
  limitLabel_->hide();
  auto *ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("2"));

  auto *grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("Text:"), this), 0, 0, Qt::AlignTop);
  grid->addWidget(textEdit_, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Size:"), this), 1, 0);
  grid->addWidget(sizeEdit_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("angle:"), this), 2, 0);
  grid->addWidget(angleEdit_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("\u00B0"), this), 2, 2);
  grid->addWidget(fillCheck_, 3, 1);
  grid->addWidget(limitLabel_, 4, 0, 1, 3);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 5, 0, 1, 3);

  connect(textEdit_, &QPlainTextEdit::textChanged, this, &CommentDialog::onTextChanged);
  connect(ok, &QPushButton::clicked, this, &CommentDialog::onOk);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CommentDialog::onTextChanged() {
  const QString now = textEdit_->toPlainText();
  if (std::size_t(now.toUtf8().size()) <= RecordLimits::kMaxCommentBytes) {
    accepted_ = now;
    return;
  }
  // Refused as it is typed (or pasted): Save could not write it.
  const QSignalBlocker block(textEdit_);
  textEdit_->setPlainText(accepted_);
  textEdit_->moveCursor(QTextCursor::End);
  limitLabel_->setText(QStringLiteral("A comment holds at most %1 bytes of text (UTF-8).")
                           .arg(RecordLimits::kMaxCommentBytes));
  limitLabel_->show();
}

void CommentDialog::onOk() {
  // Sizes below the smallest are raised to it by the comment; larger ones are refused.
  if (const double size = readNumber(sizeEdit_->text()); size > RecordLimits::kMaxCommentSize) {
    limitLabel_->setText(
        QStringLiteral("The size is at most %1 pixels.").arg(RecordLimits::kMaxCommentSize));
    limitLabel_->show();
    sizeEdit_->setFocus();
    return;
  }
  text = textEdit_->toPlainText();
  sizeText = sizeEdit_->text();
  angleText = angleEdit_->text();
  fill = fillCheck_->isChecked();
  accept();
}

double CommentDialog::readNumber(const QString &text) {
  const std::string s = text.toStdString();
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
    ++i;
  // from_chars takes no leading '+', which the edits may well contain.
  if (i < s.size() && s[i] == '+' && !(i + 1 < s.size() && s[i + 1] == '-'))
    ++i;
  double value = 0;
  const auto res = std::from_chars(s.data() + i, s.data() + s.size(), value);
  return res.ec == std::errc() ? value : 0.0;
}

CommentDialog *CommentDialog::create(QWidget *parent) {
  return g_factory ? g_factory(parent) : new CommentDialog(parent);
}

void CommentDialog::setFactory(Factory factory) { g_factory = factory; }
