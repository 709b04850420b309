#pragma once
#include "app/DocTemplate.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class MainWindow;

// Starts the desktop application, opens each of files in a window of its own and runs the
// event loop. The command line has been checked already; Qt sees none of it.
int runDesktopApplication(const char *programName, const std::vector<std::string> &files);

// The application object: document templates, the main frame, start-up and the command
// line. Needs a QApplication.
class Application {
public:
  Application();
  ~Application();

  // Start-up: templates, main frame, shown; then opens each of files in a window of its own.
  // False when start-up fails.
  bool initInstance(const QStringList &files);
  bool initInstance(const QString &file) {
    return initInstance(file.isEmpty() ? QStringList() : QStringList{file});
  }

  MainWindow *mainFrame() const { return frame_.get(); }
  const DocTemplateRegistry &templates() const { return templates_; }

  // The document string of the 3D template.
  static const char *sessionDocString();

  // The surface format every GL widget needs: compatibility profile (immediate mode and
  // display lists), double buffer, RGBA, 24-bit depth. Set before the QApplication exists.
  static void setDefaultSurfaceFormat();
  // Tells the C library to keep freed memory for reuse (see Application.cpp); call it once,
  // before the first window.
  static void keepFreedMemory();

private:
  DocTemplateRegistry templates_;
  std::unique_ptr<MainWindow> frame_;
};
