#include "view/UiServices.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <vector>

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

UiServices::SaveChoice UiServices::saveChanges(QWidget *parent, const QString &text,
                                               const QString &detail) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("VelmoraViewer"), text,
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Save);
  if (!detail.isEmpty())
    box.setInformativeText(detail);
  switch (box.exec()) {
  case QMessageBox::Save:
    return SaveChoice::Save;
  case QMessageBox::Discard:
    return SaveChoice::Discard;
  default:
    return SaveChoice::Cancel;
  }
}

int UiServices::choose(QWidget *parent, const QString &text, const QString &detail,
                       const QStringList &buttons) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("VelmoraViewer"), text,
                  QMessageBox::NoButton, parent);
  if (!detail.isEmpty())
    box.setInformativeText(detail);
  std::vector<QAbstractButton *> added;
  for (const QString &b : buttons)
    added.push_back(box.addButton(b, QMessageBox::AcceptRole));
  box.addButton(QMessageBox::Cancel);
  if (!added.empty())
    box.setDefaultButton(static_cast<QPushButton *>(added.front()));
  box.exec();
  for (std::size_t i = 0; i < added.size(); ++i)
    if (box.clickedButton() == added[i])
      return int(i);
  return -1;
}

QString UiServices::openFileName(QWidget *parent, const QString &title, const QStringList &filters,
                                 const QString &defaultSuffix, const QString &directory) {
  QFileDialog dlg(parent, title, directory);
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
  // The dialog appends its default suffix to a bare name (and asks before replacing that
  // file), so the suffix must follow the filter the user picks.
  QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg,
                   [&dlg, defaultSuffix](const QString &f) {
                     const QString suffix = filterSuffix(f);
                     dlg.setDefaultSuffix(suffix.isEmpty() ? defaultSuffix : suffix);
                   });
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
    return {};
  if (selectedFilter)
    *selectedFilter = dlg.selectedNameFilter();
  return withFilterSuffix(dlg.selectedFiles().front(), dlg.selectedNameFilter());
}

QString UiServices::filterSuffix(const QString &filter) {
  static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9_]+)"));
  const QRegularExpressionMatch m = pattern.match(filter);
  return m.hasMatch() ? m.captured(1) : QString();
}

QString UiServices::withFilterSuffix(const QString &name, const QString &filter) {
  const QString suffix = filterSuffix(filter);
  if (name.isEmpty() || suffix.isEmpty() || !QFileInfo(name).suffix().isEmpty())
    return name;
  return name + (name.endsWith('.') ? QString() : QStringLiteral(".")) + suffix;
}

UiServices &UiServices::instance() {
  static UiServices real;
  return installed ? *installed : real;
}

void UiServices::setInstance(UiServices *services) { installed = services; }
