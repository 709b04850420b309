#pragma once
#include "scene/GLTextList.h"
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Shared set-up of the drawing tests: one offscreen QGuiApplication and one 900 x 600 GL
// context per test program (the outline font is program-wide, so the context must be too).
namespace scenetest {

constexpr int kWidth = 900;
constexpr int kHeight = 600;

// Creates the application and the context on first use; aborts the test program with the
// context's message when no headless GL is available.
OffscreenContext &context();

// Clears to black with depth, identity matrices, default state, viewport the full frame.
void beginFrame();
// Pixel-exact 2D window coordinates: x right, y up, z in [-1, 1].
void windowOrtho();

// Read-back frame, rows bottom-up (y = 0 is the bottom row).
struct Pixels {
  std::vector<std::uint8_t> rgba;
  int width = 0, height = 0;
  std::array<int, 3> at(int x, int y) const;
  bool isBackground(int x, int y) const; // black
  // Number of non-black pixels in the window rectangle [x0, x1) x [y0, y1).
  int countLit(int x0, int y0, int x1, int y1) const;
  void savePng(const std::string &path) const;
};
Pixels grab();

// Within +-1 per channel of the given 0..1 colour.
bool near(const std::array<int, 3> &px, double r, double g, double b, int tol = 1);

// A test with the context, a view of the frame's size and this program's font lists, for
// nodes that print.
struct TextViewTest : ::testing::Test {
  ViewState view;
  std::unique_ptr<GLTextList> text;
  void SetUp() override {
    context();
    text = std::make_unique<GLTextList>("test");
    view.textList = text.get();
    view.viewWidth = kWidth;
    view.viewHeight = kHeight;
  }
};

} // namespace scenetest
