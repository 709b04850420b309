#pragma once
#include "geometry/Vec3f.h"
#include "scene/DeviationColours.h"
#include "scene/GLArrayStore.h"
#include "scene/UploadQueue.h"

class ColourScale;

#include <cstdint>
#include <memory>
#include <vector>

class SessionModel;

// The triangle mesh of a model held by the driver: positions (the model's own points, or the
// displaced vertices of a magnified display), the model's normals, per-vertex deviation
// colours (bytes) and the triangles' corner indices, each uploaded once, a chunk at a time,
// and drawn with indexed draws in chunks. In client memory the model's points and normals
// are drawn in place: only colours and indices are held besides the model. Only the arrays a
// changed setting affects are uploaded again. A mesh with one normal per triangle cannot share
// vertices between triangles; it is streamed through a small buffer each frame instead of being
// stored three times over.
class MeshBuffers {
public:
  struct Settings {
    std::uint64_t generation = 0; // of the model's arrays
    bool colours = false;         // per-vertex deviation colours; else the current colour
    DisplaySettings colourSettings;
    float magnification = 0; // > 0 with anchors: displaced vertices
    bool flatNormals = false;
    bool bufferObjects = true; // else client memory (a context without buffer objects)
    friend bool operator==(const Settings &, const Settings &) = default;
  };

  // Queues the work that brings the stored arrays to these settings, keeping the arrays that
  // are still valid. Cheap when nothing changed.
  void prepare(const SessionModel &model, const Settings &s);
  UploadQueue &queue() { return queue_; }
  const UploadQueue &queue() const { return queue_; }
  bool ready() const { return prepared_ && queue_.done(); }

  // Draws the mesh with the caller's lighting and colour state; only when ready().
  void draw(const SessionModel &model);
  // Record index of the last triangle drawn, -1 for none.
  std::int64_t lastTriangle() const { return lastTriangle_; }

  void release();
  // Bytes held for the mesh (in the driver, or in client memory without buffer objects).
  std::size_t bytes() const;
  // How many arrays have been uploaded since construction (each full upload counts once).
  int uploads() const { return uploads_; }

  // Elements per upload chunk and triangles per indexed draw.
  std::size_t chunk = std::size_t(1) << 18;
  // Waits for the driver after about this many triangles (0: never; see
  // GLPointCloud::finishEveryTriangles).
  std::size_t finishEvery = 0;

private:
  void queueIndexed(const SessionModel &m, const Settings &s);
  void queueFlat(const SessionModel &m, const Settings &s);
  void drawIndexed(const SessionModel &m);
  void drawFlat(const SessionModel &m);

  // Vertices [from, to) of the model into dst at element offset 0.
  void writePositions(GLArrayStore &dst, const SessionModel &m, std::size_t from, std::size_t to,
                      std::size_t at, float magnification);
  // Vertices [from, to) as dst's whole array: the model's own array in place for client memory
  // when not displaced, else a copy (displaced when magnified).
  void placePositions(GLArrayStore &dst, const SessionModel &m, std::size_t from, std::size_t to,
                      bool bufferObjects, float magnification);
  void placeNormals(GLArrayStore &dst, const SessionModel &m, std::size_t from, std::size_t to,
                    bool bufferObjects);
  // The shared positions of n points: the model's array in place (client memory, not
  // displaced), else storage that writeSharedPositions fills a chunk at a time.
  void holdSharedPositions(const SessionModel &m, std::size_t n, bool bufferObjects,
                           bool displaced);
  void writeSharedPositions(const SessionModel &m, std::size_t from, std::size_t to,
                            float magnification);
  void writeColours(GLArrayStore &dst, const SessionModel &m, const ColourScale &scale,
                    std::size_t from, std::size_t to, std::size_t at);

  // One indexed draw: a run of triangles with its own index buffer. When its corners lie
  // close together (a scan stored row by row) it holds the vertices of its span as well, its
  // indices relative to the span: no allocation then grows with the model, so no frame
  // stalls on the driver clearing a huge buffer. Otherwise it draws from shared arrays.
  struct Range {
    std::size_t count = 0;          // indices
    std::uint32_t min = 0, max = 0; // vertices used
    bool own = false;
    bool shortIndices = false; // 16-bit indices (an own range whose span they reach)
    // In client memory the indices are not stored (a copy would grow with the model): a
    // shared range whose corners are all good draws the model's triangles [first, last) in
    // place; the others are made from them as the range is drawn (an own range's indices are
    // relative to its span, and bad corners are left out).
    bool streamed = false;
    std::size_t first = 0, last = 0;
    GLArrayStore indices{GLArrayStore::Kind::Indices};
    GLArrayStore positions, normals, colours; // of [min, max], when own
  };
  bool anyShared() const;
  // The indices of a streamed range, as drawIndexed passes them: the model's own corners when
  // they can be drawn as they are.
  const void *streamedIndices(const Range &r, const SessionModel &m);
  // The deviation colours of an own range's span, allocating its colour array when it has none.
  void writeRangeColours(Range &r, const SessionModel &m, const ColourScale &scale,
                         bool bufferObjects);

  UploadQueue queue_;
  Settings target_{};
  bool prepared_ = false;

  // Shared full-size arrays, allocated only when some range needs them.
  GLArrayStore positions_, normals_, colours_;
  Settings positionsFor_{}, coloursFor_{}, indicesFor_{};
  bool positionsValid_ = false, coloursValid_ = false, indicesValid_ = false;
  bool hasNormals_ = false;                    // the model has normals for every point
  std::vector<std::unique_ptr<Range>> ranges_; // one per chunk of triangle records
  std::size_t rangeChunk_ = 0;
  std::vector<std::uint8_t> stagingColours_;
  std::vector<Vec3f> stagingVertices_;
  std::vector<std::uint32_t> stagingIndices_;
  std::vector<std::uint16_t> stagingShort_;
  std::vector<std::uint32_t> frameIndices_; // a streamed range's indices while it is drawn
  std::vector<std::uint16_t> frameShort_;

  // Flat normals: the colour of each point (looked up once per setting change) and the
  // stream the corners go through.
  std::vector<float> pointColours_;
  Settings pointColoursFor_{};
  bool pointColoursValid_ = false;
  GLArrayStore stream_;
  std::vector<float> streamStaging_;

  std::int64_t lastTriangle_ = -1;
  std::int64_t pendingLastTriangle_ = -1;
  int uploads_ = 0;
};
