#include "view/BackgroundWork.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <memory>

void runInBackground(QWidget *parent, const QString &label, const std::function<void()> &work) {
  std::unique_ptr<QThread> thread(QThread::create(work));
  QEventLoop loop;
  QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
  QProgressDialog progress(label, QString(), 0, 0, parent);
  progress.setCancelButton(nullptr);
  progress.setMinimumDuration(0);
  progress.reset(); // no automatic showing: only the timer below shows it
  QTimer later;
  later.setSingleShot(true);
  QObject::connect(&later, &QTimer::timeout, &progress, [&progress] { progress.show(); });
  thread->start();
  later.start(300);
  if (!thread->isFinished())
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  thread->wait();
}
