#include "view/BackgroundWork.h"

#include "io/AtomicFile.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

// Holds back user input everywhere but the Cancel strip while work runs; Escape cancels.
class InputGate : public QObject {
public:
  InputGate(QWidget *strip, std::function<void()> cancel)
      : strip_(strip), cancel_(std::move(cancel)) {}

protected:
  bool eventFilter(QObject *obj, QEvent *e) override {
    switch (e->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent *>(e)->key() == Qt::Key_Escape)
        cancel_();
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      return !insideStrip(obj);
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Drop:
      return true;
    case QEvent::Close:
      // A window closed from outside would take the data the work reads with it.
      return e->spontaneous();
    default:
      return false;
    }
  }

private:
  bool insideStrip(QObject *obj) const {
    for (QObject *o = obj; o; o = o->parent())
      if (o == strip_)
        return true;
    return false;
  }
  QPointer<QWidget> strip_;
  std::function<void()> cancel_;
};

} // namespace

bool runInBackground(QWidget *parent, const QString &label, const std::function<void()> &work) {
  std::unique_ptr<QThread> thread(QThread::create(work));
  QEventLoop loop;
  QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);

  // The progress line: in the main window's status bar, else a small window of its own.
  auto *main = parent ? qobject_cast<QMainWindow *>(parent->window()) : nullptr;
  QStatusBar *bar = main ? main->statusBar() : nullptr;
  auto strip = std::make_unique<QWidget>(bar ? static_cast<QWidget *>(bar) : parent,
                                         bar ? Qt::Widget : Qt::Tool);
  strip->setObjectName(QStringLiteral("backgroundWork"));
  auto *layout = new QHBoxLayout(strip.get());
  layout->setContentsMargins(4, 0, 4, 0);
  auto *text = new QLabel(label, strip.get());
  auto *busy = new QProgressBar(strip.get());
  busy->setRange(0, 0);
  busy->setMaximumWidth(120);
  auto *cancel = new QPushButton(QStringLiteral("Cancel"), strip.get());
  cancel->setToolTip(QStringLiteral("Cancel (Escape)"));
  layout->addWidget(text);
  layout->addWidget(busy);
  layout->addWidget(cancel);
  strip->hide();

  bool cancelled = false;
  auto onCancel = [&] {
    if (cancelled)
      return;
    cancelled = true;
    text->setText(label + QStringLiteral(" cancelling, finishing the step under way"));
    cancel->setEnabled(false);
  };
  QObject::connect(cancel, &QPushButton::clicked, strip.get(), onCancel);
  InputGate gate(strip.get(), onCancel);
  qApp->installEventFilter(&gate);

  QTimer later;
  later.setSingleShot(true);
  QObject::connect(&later, &QTimer::timeout, strip.get(), [&] {
    if (bar)
      bar->addPermanentWidget(strip.get(), 1);
    strip->show();
  });
  thread->start();
  later.start(300);
  if (!thread->isFinished())
    loop.exec();
  thread->wait();
  qApp->removeEventFilter(&gate);
  if (bar)
    bar->removeWidget(strip.get());
  return !cancelled;
}

ExportResult writeInBackground(QWidget *parent, const QString &label, const std::string &target,
                               const std::vector<std::string> &inputs,
                               const std::function<ExportResult(const std::string &)> &write,
                               bool &cancelled) {
  cancelled = false;
  // The writer sees only the partial file, so the rules of every write are applied to the
  // real target here: the rename must never land on an input or on anything but a file.
  for (const std::string &input : inputs)
    if (const std::string problem = targetIsInputProblem(target, input); !problem.empty())
      return ExportResult::failure(problem);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0)
    if (const std::string problem = replaceProblem(target, st.st_mode); !problem.empty())
      return ExportResult::failure(problem);
  // A hidden name with the target's suffix, so the writer's suffix rules still hold.
  const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(target)));
  const QString partialName = QStringLiteral(".%1.partial-%2.%3")
                                  .arg(info.completeBaseName())
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(info.suffix());
  const std::string partial = QFile::encodeName(info.dir().filePath(partialName)).toStdString();
  ExportResult result;
  cancelled = !runInBackground(parent, label, [&] { result = write(partial); });
  if (cancelled || !result.ok) {
    std::remove(partial.c_str());
    if (cancelled)
      return ExportResult::failure(target + ": cancelled; the file was left as it was");
    // The message names the file the user chose, not the partial one.
    for (std::size_t at; (at = result.message.find(partial)) != std::string::npos;)
      result.message.replace(at, partial.size(), target);
    return result;
  }
  if (std::rename(partial.c_str(), target.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(partial.c_str());
    return ExportResult::failure(target + ": the finished file could not replace it: " + why);
  }
  return result;
}
