#pragma once
// Shared set-up of the banner and comment tests: an offscreen application (widgets work,
// glyphs rasterise), one headless GL context per program, frames read back bottom-up, and
// small in-memory models.
#include "scene/GLTextList.h"
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"
#include "session/SessionModel.h"

#include <GL/gl.h>
#include <QApplication>
#include <QImage>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace bannertest {

constexpr int kWidth = 900;
constexpr int kHeight = 600;

inline OffscreenContext &context() {
  static OffscreenContext ctx;
  if (!ctx.isValid()) {
    if (!ctx.create(kWidth, kHeight)) {
      std::fprintf(stderr, "no headless GL: %s\n", ctx.error().c_str());
      std::abort();
    }
  }
  ctx.makeCurrent();
  return ctx;
}

// A view whose window is the whole offscreen frame, with the bitmap font and the outline font.
inline ViewState &view() {
  static ViewState v;
  static std::unique_ptr<GLTextList> text;
  context();
  if (!text) {
    text = std::make_unique<GLTextList>("test");
    GLTextList::createOutlineFont();
  }
  v.viewWidth = kWidth;
  v.viewHeight = kHeight;
  v.textList = text.get();
  return v;
}

// Black frame, world coordinates = window pixels (x right, y up), depth test as a frame has.
inline void beginPixelFrame() {
  context();
  glViewport(0, 0, kWidth, kHeight);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kWidth, 0, kHeight, -1000, 1000);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_LIGHTING);
  glEnable(GL_COLOR_MATERIAL);
}

struct Pixels {
  std::vector<std::uint8_t> rgba;
  std::array<int, 3> at(int x, int y) const { // y from the bottom
    const std::size_t i = (static_cast<std::size_t>(y) * kWidth + x) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
  }
  template <class Pred> int count(int x0, int y0, int x1, int y1, Pred pred) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        n += pred(at(x, y)) ? 1 : 0;
    return n;
  }
  void savePng(const std::string &path) const {
    QImage img(rgba.data(), kWidth, kHeight, QImage::Format_RGBX8888); // opaque
    img.mirrored().save(QString::fromStdString(path));
  }
};

inline Pixels grab() {
  glFinish();
  return Pixels{context().readPixels()};
}

inline bool near(const std::array<int, 3> &px, double r, double g, double b, int tol = 1) {
  auto close = [tol](int v, double c) {
    return std::abs(v - static_cast<int>(c * 255 + 0.5)) <= tol;
  };
  return close(px[0], r) && close(px[1], g) && close(px[2], b);
}

struct P {
  float x, y, z, dev;
};
inline std::unique_ptr<SessionModel> makeModel(const std::vector<P> &pts) {
  auto m = std::make_unique<SessionModel>();
  m->pointCount = static_cast<std::int32_t>(pts.size());
  m->points.allocate(pts.size());
  m->normals.allocate(pts.size());
  m->deviations.allocate(pts.size());
  for (std::size_t i = 0; i < pts.size(); ++i) {
    m->points[i] = Vec3f{pts[i].x, pts[i].y, pts[i].z};
    m->normals[i] = Vec3f{0, 0, 1};
    m->deviations[i] = pts[i].dev;
  }
  m->deviationMode = 3;
  return m;
}

inline int runAll(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

} // namespace bannertest
