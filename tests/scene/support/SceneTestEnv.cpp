#include "support/SceneTestEnv.h"

#include <GL/gl.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace scenetest {

OffscreenContext &context() {
  // Never destroyed: tearing Qt down after main() has returned crashes in Qt's own statics.
  static QGuiApplication *app = nullptr;
  static OffscreenContext ctx;
  if (!app) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/velmora-scene-test-runtime";
      QDir().mkpath(QString::fromLocal8Bit(dir));
      QFile::setPermissions(QString::fromLocal8Bit(dir),
                            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      qputenv("XDG_RUNTIME_DIR", dir);
    }
    static int argc = 1;
    static char name[] = "scene-test";
    static char *argv[] = {name, nullptr};
    app = new QGuiApplication(argc, argv);
    if (!ctx.create(kWidth, kHeight)) {
      std::fprintf(stderr, "no offscreen GL context: %s\n", ctx.error().c_str());
      std::abort();
    }
  }
  ctx.makeCurrent();
  return ctx;
}

void beginFrame() {
  OffscreenContext &c = context();
  if (c.width() != kWidth || c.height() != kHeight)
    c.resize(kWidth, kHeight);
  glViewport(0, 0, kWidth, kHeight);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glColor3d(1, 1, 1);
}

void windowOrtho() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kWidth, 0, kHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

std::array<int, 3> Pixels::at(int x, int y) const {
  const std::size_t i = (std::size_t(y) * width + x) * 4;
  return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

bool Pixels::isBackground(int x, int y) const {
  const auto p = at(x, y);
  return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

int Pixels::countLit(int x0, int y0, int x1, int y1) const {
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width, x1); ++x)
      n += isBackground(x, y) ? 0 : 1;
  return n;
}

void Pixels::savePng(const std::string &path) const {
  QImage img(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
  img.mirrored(false, true).save(QString::fromStdString(path));
}

Pixels grab() {
  Pixels f;
  OffscreenContext &c = context();
  f.rgba = c.readPixels();
  f.width = c.width();
  f.height = c.height();
  return f;
}

bool near(const std::array<int, 3> &px, double r, double g, double b, int tol) {
  const double want[3] = {r, g, b};
  for (int i = 0; i < 3; ++i)
    if (std::abs(px[i] - int(std::lround(want[i] * 255))) > tol)
      return false;
  return true;
}

} // namespace scenetest
