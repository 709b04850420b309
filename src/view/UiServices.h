#pragma once
#include <QString>
#include <QStringList>

class QWidget;

// The message boxes and file dialogs the viewer shows, behind an interface that tests
// replace with a scripted fake (install one with UiServices::setInstance).
class UiServices {
public:
  enum class Icon { Information, Warning, Critical };

  virtual ~UiServices() = default;

  // A message box with an OK button; detail, when not empty, is the informative text.
  virtual void message(QWidget *parent, const QString &text, const QString &detail = {},
                       Icon icon = Icon::Information);
  // Yes/No question; true for Yes.
  virtual bool question(QWidget *parent, const QString &text, const QString &title = {});
  // Save / Discard / Cancel, asked before unsaved work would be lost.
  enum class SaveChoice { Save, Discard, Cancel };
  virtual SaveChoice saveChanges(QWidget *parent, const QString &text, const QString &detail = {});
  // A question with the given buttons (the first is the default) and Cancel: the index of
  // the button chosen, -1 for Cancel or a closed box.
  virtual int choose(QWidget *parent, const QString &text, const QString &detail,
                     const QStringList &buttons);
  // Open-file dialog starting in directory (when given); an empty result means cancelled.
  // Filters are Qt filter strings such as "ses file (*.ses)".
  virtual QString openFileName(QWidget *parent, const QString &title, const QStringList &filters,
                               const QString &defaultSuffix, const QString &directory = {});
  // Save-file dialog asking before an existing file is replaced; empty means cancelled. A
  // name typed without a suffix gets the suffix of the filter chosen (defaultSuffix until
  // one is chosen). selectedFilter, when given, receives the filter the user picked.
  virtual QString saveFileName(QWidget *parent, const QString &title, const QString &defaultName,
                               const QStringList &filters, const QString &defaultSuffix,
                               QString *selectedFilter = nullptr);

  // The suffix a filter such as "u3d file (*.u3d)" stands for ("u3d"), or empty.
  static QString filterSuffix(const QString &filter);
  // name with the filter's suffix appended when name has no suffix of its own.
  static QString withFilterSuffix(const QString &name, const QString &filter);

  // The services in use; the real dialogs unless a test installed others.
  static UiServices &instance();
  // Installs services (not owned); nullptr restores the real dialogs.
  static void setInstance(UiServices *services);
};
