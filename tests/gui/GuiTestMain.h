#pragma once
// main() for GoogleTest executables that drive real widgets: the compatibility GL format
// must be the default before the QApplication exists, and widget tests need an X server
// (run under xvfb-run).
#include "app/Application.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

inline int runGuiTests(int argc, char **argv) {
  // Keep the tests' per-user settings out of the real ones.
  QStandardPaths::setTestModeEnabled(true);
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QString dir = QDir::tempPath() + QStringLiteral("/velmora-runtime");
    QDir().mkpath(dir);
    QFile::setPermissions(dir,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
  }
  Application::setDefaultSurfaceFormat();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#define VELMORA_GUI_TEST_MAIN()                                                                    \
  int main(int argc, char **argv) { return runGuiTests(argc, argv); }
