#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A headless OpenGL compatibility context drawing into a framebuffer object, through raw EGL
// (Mesa's surfaceless platform, or the device platform). Needs no X server; used by the
// snapshot and by every pixel test.
class OffscreenContext {
public:
  OffscreenContext() = default;
  ~OffscreenContext();

  // Creates the context and a width x height framebuffer (RGBA8 colour, 24-bit depth) and
  // makes it current. False with error() set when EGL or the driver cannot provide a
  // compatibility context (immediate mode would silently draw nothing in a core one).
  bool create(int width, int height);
  bool isValid() const { return context_ != nullptr; }
  const std::string &error() const { return error_; }

  // Binds the context and its framebuffer and sets the viewport to the full size.
  bool makeCurrent();
  void doneCurrent();

  // Replaces the framebuffer's storage; the contents are undefined afterwards.
  bool resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  unsigned framebuffer() const { return fbo_; }

  // The framebuffer as RGBA bytes, rows bottom-up as glReadPixels gives them.
  std::vector<std::uint8_t> readPixels();

  OffscreenContext(const OffscreenContext &) = delete;
  OffscreenContext &operator=(const OffscreenContext &) = delete;

private:
  bool fail(const std::string &message);
  bool createFramebuffer();
  void destroyFramebuffer();

  void *display_ = nullptr;
  void *context_ = nullptr;
  unsigned fbo_ = 0, colourRb_ = 0, depthRb_ = 0;
  int width_ = 0, height_ = 0;
  std::string error_;
};
