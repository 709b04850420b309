#include "app/Application.h"

#include "app/CommandIds.h"
#include "app/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTimer>
#include <cstdio>
#include <malloc.h>

Application::Application() = default;

Application::~Application() = default;

const char *Application::sessionDocString() {
  return "VelmoraViewer\nVelmoraViewer\nVelmoraViewer\nses-File (*.ses)\n.ses\n"
         "VelmoraViewer.Document\nSession-File";
}

void Application::keepFreedMemory() {
  // A software GL driver allocates and frees large scratch buffers on every draw. Handed back
  // to the system, each of their pages is faulted in again on the next draw, which held the
  // first full frame of a 10M-triangle mesh back by seconds; kept, they are reused.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

void Application::setDefaultSurfaceFormat() {
  QSurfaceFormat f;
  f.setRenderableType(QSurfaceFormat::OpenGL);
  f.setProfile(QSurfaceFormat::CompatibilityProfile);
  f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  f.setRedBufferSize(8);
  f.setGreenBufferSize(8);
  f.setBlueBufferSize(8);
  f.setAlphaBufferSize(8);
  f.setDepthBufferSize(24);
  QSurfaceFormat::setDefaultFormat(f);
  // Display lists must outlive one window: the outline font is built once per program, in
  // the first view's context, and every later view draws comments from the same lists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool Application::initInstance(const QStringList &files) {
  QCoreApplication::setOrganizationName(QStringLiteral("VelmoraViewer"));
  QCoreApplication::setApplicationName(QStringLiteral("VelmoraViewer"));
  // Links the windows to the installed launcher and its metadata on Wayland desktops.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.velmora.VelmoraViewer"));
  templates_.add(DocTemplate(IDR_SESSION_TYPE, QString::fromLatin1(sessionDocString())));
  templates_.add(DocTemplate(IDR_PREVIEW_TYPE, QString()));
  frame_ = std::make_unique<MainWindow>(templates_);
  frame_->show();
  frame_->setFocus();
  // Opened from the event loop, so the main window is on screen and shows the load's status
  // texts while a large file is read; in one call, since opening lets events through and
  // would otherwise run a later file's call first.
  if (!files.isEmpty())
    QTimer::singleShot(0, frame_.get(), [f = frame_.get(), files] {
      for (const QString &file : files)
        f->openDocument(file, false);
    });
  return true;
}

namespace {
// Immediate mode draws nothing in a core context, and Mesa silently falls back to one when
// asked for a version without the compatibility profile: check before any window opens.
bool compatibilityContextAvailable(QString &why) {
  QOpenGLContext ctx;
  if (!ctx.create()) {
    why = QStringLiteral("no OpenGL context could be created");
    return false;
  }
  if (ctx.format().profile() == QSurfaceFormat::CoreProfile) {
    why = QStringLiteral("the OpenGL context is a core profile %1.%2")
              .arg(ctx.format().majorVersion())
              .arg(ctx.format().minorVersion());
    return false;
  }
  return true;
}
} // namespace

int runDesktopApplication(const char *programName, const std::vector<std::string> &files) {
  // Without a display Qt would abort; say what is missing instead.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fputs("velmora-viewer: no display to open a window on (DISPLAY is not set); --info, "
               "--export, --snapshot and --section need none\n",
               stderr);
    return 1;
  }
  Application::keepFreedMemory();
  Application::setDefaultSurfaceFormat();
  // Qt gets only the program name: a file named like one of its options stays a file.
  static int argc = 1;
  static char *argv[] = {const_cast<char *>(programName), nullptr};
  QApplication qapp(argc, argv);
  QString why;
  if (!compatibilityContextAvailable(why)) {
    std::fprintf(stderr, "velmora-viewer: %s; the 3D view needs a compatibility profile\n",
                 qPrintable(why));
    return 1;
  }
  QStringList paths;
  for (const std::string &f : files)
    paths.push_back(QFile::decodeName(QByteArray::fromStdString(f)));
  Application app;
  if (!app.initInstance(paths))
    return 1;
  return qapp.exec();
}
