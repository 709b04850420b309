#include "view/WorstPointsDialog.h"

#include "analysis/WorstPoints.h"
#include "view/UiServices.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

WorstPointsDialog::WorstPointsDialog(double spacing, QWidget *parent)
    : QDialog(parent), spacing_(spacing) {
  setWindowTitle(QStringLiteral("Call out worst points"));
  count_ = new QSpinBox(this);
  count_->setObjectName(QString::number(IdCount));
  count_->setRange(1, WorstPointsRequest::kMaxCount);
  count_->setValue(10);
  spacingEdit_ = new QLineEdit(spacingText(spacing), this);
  spacingEdit_->setObjectName(QString::number(IdSpacing));
  auto *form = new QFormLayout;
  form->addRow(QStringLiteral("Number of points:"), count_);
  form->addRow(QStringLiteral("Least distance apart (mm):"), spacingEdit_);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QString::number(IdOk));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QString::number(IdCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &WorstPointsDialog::onOk);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

int WorstPointsDialog::count() const { return count_->value(); }

QString WorstPointsDialog::spacingText(double spacing) { return QString::number(spacing, 'g', 6); }

void WorstPointsDialog::onOk() {
  bool ok = false;
  const double d = QLocale::c().toDouble(spacingEdit_->text().trimmed(), &ok);
  if (!ok || !std::isfinite(d) || d < 0) {
    UiServices::instance().message(this, QStringLiteral("Please enter a distance of 0 mm or more."),
                                   {}, UiServices::Icon::Warning);
    spacingEdit_->setFocus();
    spacingEdit_->selectAll();
    return;
  }
  spacing_ = d;
  accept();
}
