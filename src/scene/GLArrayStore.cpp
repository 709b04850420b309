#include "scene/GLArrayStore.h"

#include "scene/OffscreenContext.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

unsigned GLArrayStore::target() const {
  return kind_ == Kind::Indices ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
}

void GLArrayStore::allocate(std::size_t bytes, bool bufferObject) {
  external_ = nullptr;
  if (bufferObject) {
    client_.reset();
    if (buffer_ == 0)
      glGenBuffers(1, &buffer_);
    glBindBuffer(target(), buffer_);
    // No data: the driver's storage is filled chunk by chunk, and never staged whole here.
    glBufferData(target(), GLsizeiptr(bytes), nullptr, GL_STATIC_DRAW);
  } else {
    if (buffer_ != 0)
      glDeleteBuffers(1, &buffer_);
    buffer_ = 0;
    if (bytes != bytes_ || !client_)
      client_.reset(bytes > 0 ? new std::uint8_t[bytes] : nullptr);
  }
  bytes_ = bytes;
}

void GLArrayStore::refer(const void *data, std::size_t bytes) {
  release();
  external_ = data;
  bytes_ = bytes;
}

void GLArrayStore::write(std::size_t offset, const void *data, std::size_t bytes) {
  if (bytes == 0 || offset + bytes > bytes_)
    return;
  if (buffer_ != 0) {
    glBindBuffer(target(), buffer_);
    glBufferSubData(target(), GLintptr(offset), GLsizeiptr(bytes), data);
  } else if (client_) {
    std::memcpy(client_.get() + offset, data, bytes);
  }
}

const void *GLArrayStore::bind(std::size_t offset) const {
  glBindBuffer(target(), buffer_);
  if (buffer_ != 0)
    return reinterpret_cast<const void *>(offset);
  const auto *base = static_cast<const std::uint8_t *>(external_ ? external_ : client_.get());
  return base ? base + offset : nullptr;
}

void GLArrayStore::release() {
  if (buffer_ != 0)
    glDeleteBuffers(1, &buffer_);
  buffer_ = 0;
  client_.reset();
  external_ = nullptr;
  bytes_ = 0;
}

bool contextHasBufferObjects() {
  const char *v = reinterpret_cast<const char *>(glGetString(GL_VERSION));
  int major = 0, minor = 0;
  if (!v || std::sscanf(v, "%d.%d", &major, &minor) != 2)
    return false;
  return major > 1 || (major == 1 && minor >= 5);
}

namespace {
// Whether a GL_RENDERER string names a software rasterizer (Mesa's llvmpipe, softpipe, swrast,
// the generic "Software Rasterizer", and the like).
bool isSoftwareRenderer(std::string_view renderer) {
  std::string lower(renderer);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  for (const char *word : {"llvmpipe", "softpipe", "swrast", "software", "swiftshader", "lavapipe"})
    if (lower.find(word) != std::string::npos)
      return true;
  return false;
}

} // namespace

DrawingDriver currentDrawingDriver() {
  DrawingDriver d;
  const auto text = [](GLenum name) {
    const auto *s = reinterpret_cast<const char *>(glGetString(name));
    return std::string(s ? s : "");
  };
  d.renderer = text(GL_RENDERER);
  d.version = text(GL_VERSION);
  d.software = isSoftwareRenderer(d.renderer);
  d.bufferObjects = contextHasBufferObjects();
  return d;
}

std::string describeDrawingDriver(const DrawingDriver &d) {
  std::string s = "OpenGL: " + (d.renderer.empty() ? std::string("unknown renderer") : d.renderer) +
                  (d.version.empty() ? "" : ", " + d.version) + "\n";
  if (!d.bufferObjects)
    s += "Model arrays: drawn from the model's memory (no buffer objects)";
  else if (d.software)
    s += "Model arrays: drawn in place from the model's memory (a software rasterizer would "
         "keep buffer objects as a second copy in this process)";
  else
    s += "Model arrays: in buffer objects held by the driver";
  return s;
}

std::string describeProbedDrawingDriver() {
  OffscreenContext context;
  if (!context.create(16, 16))
    return "OpenGL: unavailable: " + context.error();
  return describeDrawingDriver(currentDrawingDriver());
}

BufferBindingGuard::BufferBindingGuard() {
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &array_);
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements_);
}

BufferBindingGuard::~BufferBindingGuard() {
  glBindBuffer(GL_ARRAY_BUFFER, GLuint(array_));
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(elements_));
}
