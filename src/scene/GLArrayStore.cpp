#include "scene/GLArrayStore.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>

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

BufferBindingGuard::BufferBindingGuard() {
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &array_);
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements_);
}

BufferBindingGuard::~BufferBindingGuard() {
  glBindBuffer(GL_ARRAY_BUFFER, GLuint(array_));
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(elements_));
}
