#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The bytes of one vertex or index array: a buffer object when the context has them, else
// client memory, or (read only, without buffer objects) the caller's own array used in place.
// Draw calls take the pointer argument that bind() returns. Filled piecewise, so that large
// arrays can be uploaded a chunk at a time.
class GLArrayStore {
public:
  enum class Kind { Vertices, Indices };
  explicit GLArrayStore(Kind kind = Kind::Vertices) : kind_(kind) {}
  // Releases the buffer object: the context that made it must be current.
  ~GLArrayStore() { release(); }

  // Storage for bytes with undefined contents, in a buffer object or in client memory.
  void allocate(std::size_t bytes, bool bufferObject);
  // Client memory only: the caller's array drawn in place (no copy); it must outlive the use.
  void refer(const void *data, std::size_t bytes);
  // Copies into [offset, offset + bytes) of the storage.
  void write(std::size_t offset, const void *data, std::size_t bytes);
  // Binds the buffer object (or no buffer, for client memory) to the store's target and
  // returns the pointer argument for the given byte offset.
  const void *bind(std::size_t offset = 0) const;
  void release();

  bool allocated() const { return bytes_ > 0 || buffer_ != 0 || external_ != nullptr; }
  // Draws the caller's array in place (refer), holding none of its own.
  bool refers() const { return external_ != nullptr; }
  std::size_t bytes() const { return bytes_; }

  GLArrayStore(const GLArrayStore &) = delete;
  GLArrayStore &operator=(const GLArrayStore &) = delete;

private:
  unsigned target() const;

  Kind kind_;
  unsigned buffer_ = 0;
  std::unique_ptr<std::uint8_t[]> client_;
  const void *external_ = nullptr;
  std::size_t bytes_ = 0;
};

// Whether the current context has buffer objects (OpenGL 1.5 or later).
bool contextHasBufferObjects();

// What draws for the current context. A software rasterizer keeps buffer objects in this
// process's memory, so they are a second copy of the model there; a device driver holds them
// in the device's memory, outside the process.
struct DrawingDriver {
  std::string renderer, version;
  bool software = false;
  bool bufferObjects = false;
};
DrawingDriver currentDrawingDriver();
// Two lines for the About box and --version --verbose: the renderer and where the model's
// drawing arrays live with it.
std::string describeDrawingDriver(const DrawingDriver &driver);
// describeDrawingDriver of a small offscreen context made for the question, or why none could
// be made ("OpenGL: unavailable: ...").
std::string describeProbedDrawingDriver();

// Puts the array and element buffer bindings back as they were on construction.
class BufferBindingGuard {
public:
  BufferBindingGuard();
  ~BufferBindingGuard();
  BufferBindingGuard(const BufferBindingGuard &) = delete;
  BufferBindingGuard &operator=(const BufferBindingGuard &) = delete;

private:
  int array_ = 0, elements_ = 0;
};
