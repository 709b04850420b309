#include "scene/OffscreenContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>

namespace {

// Framebuffer object entry points, resolved through EGL: libGL exports only 1.1 symbols
// reliably, and both the core 3.0 and the EXT names exist on Mesa.
struct FboFunctions {
  PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
  PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
  PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

  template <class T> static bool load(T &fn, const char *core, const char *ext) {
    fn = reinterpret_cast<T>(eglGetProcAddress(core));
    if (!fn)
      fn = reinterpret_cast<T>(eglGetProcAddress(ext));
    return fn != nullptr;
  }

  bool loadAll() {
    return load(genFramebuffers, "glGenFramebuffers", "glGenFramebuffersEXT") &&
           load(deleteFramebuffers, "glDeleteFramebuffers", "glDeleteFramebuffersEXT") &&
           load(bindFramebuffer, "glBindFramebuffer", "glBindFramebufferEXT") &&
           load(genRenderbuffers, "glGenRenderbuffers", "glGenRenderbuffersEXT") &&
           load(deleteRenderbuffers, "glDeleteRenderbuffers", "glDeleteRenderbuffersEXT") &&
           load(bindRenderbuffer, "glBindRenderbuffer", "glBindRenderbufferEXT") &&
           load(renderbufferStorage, "glRenderbufferStorage", "glRenderbufferStorageEXT") &&
           load(framebufferRenderbuffer, "glFramebufferRenderbuffer",
                "glFramebufferRenderbufferEXT") &&
           load(checkFramebufferStatus, "glCheckFramebufferStatus", "glCheckFramebufferStatusEXT");
  }
};

FboFunctions &fbo() {
  static FboFunctions f;
  return f;
}

bool hasExtension(const char *list, const char *name) {
  if (!list)
    return false;
  const std::size_t n = std::strlen(name);
  for (const char *p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
    const bool startOk = p == list || p[-1] == ' ';
    const bool endOk = p[n] == '\0' || p[n] == ' ';
    if (startOk && endOk)
      return true;
  }
  return false;
}

// Mesa's surfaceless platform first (no window system at all), then the device platform.
EGLDisplay openDisplay() {
  const char *clientExts = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay && hasExtension(clientExts, "EGL_MESA_platform_surfaceless")) {
    EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
      return d;
  }
  auto queryDevices =
      reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  if (getPlatformDisplay && queryDevices && hasExtension(clientExts, "EGL_EXT_platform_device")) {
    EGLDeviceEXT devices[8];
    EGLint count = 0;
    if (queryDevices(8, devices, &count)) {
      for (EGLint i = 0; i < count; ++i) {
        EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
          return d;
      }
    }
  }
  return EGL_NO_DISPLAY;
}

} // namespace

OffscreenContext::~OffscreenContext() {
  if (!context_)
    return;
  auto dpy = static_cast<EGLDisplay>(display_);
  if (eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(context_)))
    destroyFramebuffer();
  eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(dpy, static_cast<EGLContext>(context_));
  // The display is left initialised: other contexts of the process may share it.
}

bool OffscreenContext::fail(const std::string &message) {
  error_ = message;
  if (context_) {
    auto dpy = static_cast<EGLDisplay>(display_);
    eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(dpy, static_cast<EGLContext>(context_));
    context_ = nullptr;
  }
  return false;
}

bool OffscreenContext::create(int width, int height) {
  if (context_)
    return fail("offscreen context already created");
  if (width <= 0 || height <= 0)
    return fail("offscreen size must be positive");
  EGLDisplay dpy = openDisplay();
  if (dpy == EGL_NO_DISPLAY)
    return fail("no headless EGL display (neither the surfaceless nor the device platform)");
  display_ = dpy;
  if (!hasExtension(eglQueryString(dpy, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"))
    return fail("EGL display cannot make a context current without a surface");
  if (!eglBindAPI(EGL_OPENGL_API))
    return fail("EGL has no desktop OpenGL API");

  const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0,
                                  EGL_NONE};
  EGLConfig config = nullptr;
  EGLint n = 0;
  if (!eglChooseConfig(dpy, configAttribs, &config, 1, &n) || n < 1)
    return fail("no EGL configuration for desktop OpenGL");

  // Ask for a compatibility profile explicitly; fall back to the driver's default context,
  // which is checked below.
  const EGLint compatAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                  EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  EGLContext ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, compatAttribs);
  if (ctx == EGL_NO_CONTEXT)
    ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, nullptr);
  if (ctx == EGL_NO_CONTEXT)
    return fail("eglCreateContext failed");
  context_ = ctx;
  if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx))
    return fail("eglMakeCurrent failed");

  const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
  if (!version)
    return fail("the OpenGL context reports no version");
  int major = 0, minor = 0;
  std::sscanf(version, "%d.%d", &major, &minor);
  if (major > 3 || (major == 3 && minor >= 2)) {
    GLint mask = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    if (!(mask & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT))
      return fail(std::string("OpenGL context is not a compatibility profile (") + version +
                  "); immediate-mode drawing would show nothing");
  }
  if (!fbo().loadAll())
    return fail("the driver has no framebuffer objects");
  width_ = width;
  height_ = height;
  if (!createFramebuffer())
    return fail("framebuffer object incomplete");
  glViewport(0, 0, width_, height_);
  return true;
}

bool OffscreenContext::createFramebuffer() {
  auto &f = fbo();
  f.genFramebuffers(1, &fbo_);
  f.bindFramebuffer(GL_FRAMEBUFFER, fbo_);
  f.genRenderbuffers(1, &colourRb_);
  f.bindRenderbuffer(GL_RENDERBUFFER, colourRb_);
  f.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
  f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourRb_);
  f.genRenderbuffers(1, &depthRb_);
  f.bindRenderbuffer(GL_RENDERBUFFER, depthRb_);
  f.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width_, height_);
  f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthRb_);
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  return f.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void OffscreenContext::destroyFramebuffer() {
  auto &f = fbo();
  if (fbo_) {
    f.bindFramebuffer(GL_FRAMEBUFFER, 0);
    f.deleteFramebuffers(1, &fbo_);
  }
  if (colourRb_)
    f.deleteRenderbuffers(1, &colourRb_);
  if (depthRb_)
    f.deleteRenderbuffers(1, &depthRb_);
  fbo_ = colourRb_ = depthRb_ = 0;
}

bool OffscreenContext::makeCurrent() {
  if (!context_)
    return false;
  if (!eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE,
                      static_cast<EGLContext>(context_)))
    return false;
  fbo().bindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glViewport(0, 0, width_, height_);
  return true;
}

void OffscreenContext::doneCurrent() {
  if (display_)
    eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE,
                   EGL_NO_CONTEXT);
}

bool OffscreenContext::resize(int width, int height) {
  if (width <= 0 || height <= 0 || !makeCurrent())
    return false;
  destroyFramebuffer();
  width_ = width;
  height_ = height;
  if (!createFramebuffer()) {
    error_ = "framebuffer object incomplete after resize";
    return false;
  }
  glViewport(0, 0, width_, height_);
  return true;
}

std::vector<std::uint8_t> OffscreenContext::readPixels() {
  std::vector<std::uint8_t> pixels;
  if (!makeCurrent())
    return pixels;
  pixels.resize(std::size_t(width_) * std::size_t(height_) * 4);
  glFinish();
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glPopClientAttrib();
  return pixels;
}
