#include "view/UiServices.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {
UiServices *installed = nullptr;

QMessageBox::Icon toQt(UiServices::Icon icon) {
  switch (icon) {
  case UiServices::Icon::Warning:
    return QMessageBox::Warning;
  case UiServices::Icon::Critical:
    return QMessageBox::Critical;
  default:
    return QMessageBox::Information;
  }
}
} // namespace

void UiServices::message(QWidget *parent, const QString &text, const QString &detail, Icon icon) {
  QMessageBox box(toQt(icon), QStringLiteral("VelmoraViewer"), text, QMessageBox::Ok, parent);
  if (!detail.isEmpty())
    box.setInformativeText(detail);
  box.exec();
}

bool UiServices::question(QWidget *parent, const QString &text, const QString &title) {
  return QMessageBox::question(parent, title.isEmpty() ? QStringLiteral("VelmoraViewer") : title,
                               text) == QMessageBox::Yes;
}

QString UiServices::openFileName(QWidget *parent, const QString &title, const QStringList &filters,
                                 const QString &defaultSuffix) {
  QFileDialog dlg(parent, title);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilters(filters);
  dlg.setDefaultSuffix(defaultSuffix);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
    return {};
  return dlg.selectedFiles().front();
}

QString UiServices::saveFileName(QWidget *parent, const QString &title, const QString &defaultName,
                                 const QStringList &filters, const QString &defaultSuffix,
                                 QString *selectedFilter) {
  QFileDialog dlg(parent, title);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilters(filters);
  dlg.setDefaultSuffix(defaultSuffix);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (!defaultName.isEmpty())
    dlg.selectFile(defaultName);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
    return {};
  if (selectedFilter)
    *selectedFilter = dlg.selectedNameFilter();
  return dlg.selectedFiles().front();
}

UiServices &UiServices::instance() {
  static UiServices real;
  return installed ? *installed : real;
}

void UiServices::setInstance(UiServices *services) { installed = services; }
