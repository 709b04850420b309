#include "scene/MeshBuffers.h"

#include "analysis/DeviationAnchors.h"
#include "session/SessionModel.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <limits>
#include <type_traits>

namespace {

bool displacedBy(const SessionModel &m, float magnification) {
  return DeviationAnchors::of(m).movesMesh(magnification);
}

// Calls f(record, corner) for every corner of the triangle records [first, last) whose
// corners all name one of the n drawable points, in order: the indices a range draws.
template <class F>
void forEachCorner(const SessionModel &m, std::size_t n, std::size_t first, std::size_t last, F f) {
  for (std::size_t t = first; t < last; ++t) {
    const Triangle &tr = m.triangles[t];
    // Readers refuse bad corner indices; the mesh still never reads outside its arrays.
    if (!cornersWithin(tr, n))
      continue;
    for (const std::int32_t k : {tr.a, tr.b, tr.c})
      f(t, std::uint32_t(k));
  }
}

} // namespace

void MeshBuffers::prepare(const SessionModel &m, const Settings &s) {
  if (prepared_ && s == target_)
    return;
  target_ = s;
  prepared_ = true;
  queue_.clear();
  if (s.flatNormals)
    queueFlat(m, s);
  else
    queueIndexed(m, s);
}

void MeshBuffers::writePositions(GLArrayStore &dst, const SessionModel &m, std::size_t from,
                                 std::size_t to, std::size_t at, float magnification) {
  if (!displacedBy(m, magnification)) {
    // Straight from the model's array: nothing staged.
    dst.write(at * sizeof(Vec3f), m.points.data() + from, (to - from) * sizeof(Vec3f));
    return;
  }
  const DeviationAnchors anchors = DeviationAnchors::of(m);
  stagingVertices_.resize(to - from);
  for (std::size_t i = from; i < to; ++i)
    stagingVertices_[i - from] = anchors.meshVertex(m.points[i], i, magnification);
  dst.write(at * sizeof(Vec3f), stagingVertices_.data(), (to - from) * sizeof(Vec3f));
}

void MeshBuffers::placePositions(GLArrayStore &dst, const SessionModel &m, std::size_t from,
                                 std::size_t to, bool bufferObjects, float magnification) {
  const std::size_t bytes = (to - from) * sizeof(Vec3f);
  if (!bufferObjects && !displacedBy(m, magnification)) {
    // Client memory: the model's own points, drawn where they are.
    dst.refer(m.points.data() + from, bytes);
    return;
  }
  if (dst.refers() || dst.bytes() != bytes)
    dst.allocate(bytes, bufferObjects);
  writePositions(dst, m, from, to, 0, magnification);
}

void MeshBuffers::holdSharedPositions(const SessionModel &m, std::size_t n, bool bufferObjects,
                                      bool displaced) {
  const std::size_t bytes = n * sizeof(Vec3f);
  if (!bufferObjects && !displaced)
    positions_.refer(m.points.data(), bytes);
  else if (positions_.refers() || positions_.bytes() != bytes)
    positions_.allocate(bytes, bufferObjects);
}

void MeshBuffers::writeSharedPositions(const SessionModel &m, std::size_t from, std::size_t to,
                                       float magnification) {
  if (positions_.allocated() && !positions_.refers())
    writePositions(positions_, m, from, to, from, magnification);
}

void MeshBuffers::placeNormals(GLArrayStore &dst, const SessionModel &m, std::size_t from,
                               std::size_t to, bool bufferObjects) {
  const std::size_t bytes = (to - from) * sizeof(Vec3f);
  if (!bufferObjects) {
    dst.refer(m.normals.data() + from, bytes);
    return;
  }
  dst.allocate(bytes, true);
  dst.write(0, m.normals.data() + from, bytes);
}

void MeshBuffers::writeColours(GLArrayStore &dst, const SessionModel &m, const ColourScale &scale,
                               std::size_t from, std::size_t to, std::size_t at) {
  stagingColours_.resize(4 * (to - from));
  for (std::size_t i = from; i < to; ++i)
    colourBytesInto(&stagingColours_[4 * (i - from)], scale, m.deviations[i]);
  dst.write(at * 4, stagingColours_.data(), stagingColours_.size());
}

void MeshBuffers::writeRangeColours(Range &r, const SessionModel &m, const ColourScale &scale,
                                    bool bufferObjects) {
  const std::size_t span = std::size_t(r.max - r.min) + 1;
  if (!r.colours.allocated())
    r.colours.allocate(span * 4, bufferObjects);
  writeColours(r.colours, m, scale, r.min, r.max + 1, 0);
}

bool MeshBuffers::anyShared() const {
  return std::any_of(ranges_.begin(), ranges_.end(),
                     [](const auto &r) { return r->count > 0 && !r->own; });
}

void MeshBuffers::queueIndexed(const SessionModel &m, const Settings &s) {
  pointColours_ = {};
  pointColoursValid_ = false;
  stream_.release();
  const std::size_t n = drawablePoints(m), triangles = drawableTriangles(m);
  const bool buffers = s.bufferObjects;
  const float mag = s.magnification;
  const bool displaced = displacedBy(m, mag);
  auto same = [&](const Settings &a) {
    return a.generation == s.generation && a.bufferObjects == buffers;
  };
  const bool rebuild = !indicesValid_ || !same(indicesFor_);
  const bool positionsCurrent = !rebuild && positionsValid_ && same(positionsFor_) &&
                                displacedBy(m, positionsFor_.magnification) == displaced &&
                                (!displaced || positionsFor_.magnification == mag);
  const bool coloursCurrent =
      !rebuild && (!s.colours || (coloursValid_ && same(coloursFor_) && coloursFor_.colours &&
                                  coloursFor_.colourSettings == s.colourSettings));
  const ColourScale scale = modelScale(s.colourSettings);
  const bool colours = s.colours;
  const auto positionsDone = [this, s] {
    positionsValid_ = true;
    positionsFor_ = s;
    stagingVertices_ = {};
    ++uploads_;
  };

  if (rebuild) {
    // Runs of triangles with their indices, and their vertices when they lie close together.
    indicesValid_ = positionsValid_ = coloursValid_ = false;
    for (GLArrayStore *a : {&positions_, &normals_, &colours_})
      a->release();
    ranges_.clear();
    rangeChunk_ = chunk;
    hasNormals_ = m.normals.present() && m.normals.size() >= n;
    queue_.add(
        triangles, chunk, [this] { pendingLastTriangle_ = -1; },
        [this, &m, n, buffers, mag, colours, scale](std::size_t from, std::size_t to) {
          stagingIndices_.clear();
          auto r = std::make_unique<Range>();
          r->first = from;
          r->last = to;
          r->streamed = !buffers;
          r->min = std::numeric_limits<std::uint32_t>::max();
          forEachCorner(m, n, from, to, [&](std::size_t t, std::uint32_t k) {
            if (!r->streamed)
              stagingIndices_.push_back(k);
            r->min = std::min(r->min, k);
            r->max = std::max(r->max, k);
            ++r->count;
            pendingLastTriangle_ = std::int64_t(t);
          });
          if (r->count > 0) {
            const std::size_t span = std::size_t(r->max - r->min) + 1;
            // At most about two vertices per triangle: the run's vertices are its own.
            r->own = span <= 2 * (r->count / 3) + 64;
            if (r->own) {
              for (std::uint32_t &k : stagingIndices_)
                k -= r->min;
              placePositions(r->positions, m, r->min, r->max + 1, buffers, mag);
              if (hasNormals_)
                placeNormals(r->normals, m, r->min, r->max + 1, buffers);
              if (colours)
                writeRangeColours(*r, m, scale, buffers);
              // A span that short indices reach halves the indices' memory.
              r->shortIndices = span <= 65536;
            }
            if (r->streamed) {
              // Nothing stored: streamedIndices makes them again for each draw.
            } else if (r->shortIndices) {
              stagingShort_.assign(stagingIndices_.begin(), stagingIndices_.end());
              r->indices.allocate(stagingShort_.size() * sizeof(std::uint16_t), buffers);
              r->indices.write(0, stagingShort_.data(),
                               stagingShort_.size() * sizeof(std::uint16_t));
            } else {
              const std::size_t bytes = r->count * sizeof(std::uint32_t);
              r->indices.allocate(bytes, buffers);
              r->indices.write(0, stagingIndices_.data(), bytes);
            }
          }
          ranges_.push_back(std::move(r));
        },
        [this, s] {
          indicesValid_ = true;
          indicesFor_ = s;
          lastTriangle_ = pendingLastTriangle_;
          stagingIndices_ = {};
          stagingShort_ = {};
        });
    // Shared arrays for the runs whose corners are spread out, if any; in client memory the
    // model's own, drawn in place, else filled a chunk at a time.
    queue_.add(
        n, chunk,
        [this, &m, n, buffers, displaced] {
          if (!anyShared())
            return;
          holdSharedPositions(m, n, buffers, displaced);
          if (hasNormals_ && !buffers)
            normals_.refer(m.normals.data(), n * sizeof(Vec3f));
          else if (hasNormals_)
            normals_.allocate(n * sizeof(Vec3f), true);
        },
        [this, &m, mag](std::size_t from, std::size_t to) {
          writeSharedPositions(m, from, to, mag);
          if (normals_.allocated() && !normals_.refers())
            normals_.write(from * sizeof(Vec3f), m.normals.data() + from,
                           (to - from) * sizeof(Vec3f));
        },
        positionsDone);
  } else if (!positionsCurrent) {
    positionsValid_ = false;
    queue_.add(triangles, rangeChunk_, {},
               [this, &m, mag, buffers](std::size_t from, std::size_t) {
                 Range &r = *ranges_[from / rangeChunk_];
                 if (r.count > 0 && r.own)
                   placePositions(r.positions, m, r.min, r.max + 1, buffers, mag);
               },
               {});
    queue_.add(
        n, chunk,
        [this, &m, n, buffers, displaced] {
          if (positions_.allocated())
            holdSharedPositions(m, n, buffers, displaced);
        },
        [this, &m, mag](std::size_t from, std::size_t to) {
          writeSharedPositions(m, from, to, mag);
        },
        positionsDone);
  }

  if (!colours) {
    colours_.release();
    for (auto &r : ranges_)
      r->colours.release();
    coloursValid_ = false;
  } else if (!coloursCurrent) {
    coloursValid_ = false;
    if (!rebuild)
      queue_.add(triangles, rangeChunk_, {},
                 [this, &m, buffers, scale](std::size_t from, std::size_t) {
                   Range &r = *ranges_[from / rangeChunk_];
                   if (r.count > 0 && r.own)
                     writeRangeColours(r, m, scale, buffers);
                 },
                 {});
    queue_.add(
        n, chunk,
        [this, n, buffers] {
          if (anyShared() && !colours_.allocated())
            colours_.allocate(n * 4, buffers);
        },
        [this, &m, scale](std::size_t from, std::size_t to) {
          if (colours_.allocated())
            writeColours(colours_, m, scale, from, to, from);
        },
        [this, s] {
          coloursValid_ = true;
          coloursFor_ = s;
          stagingColours_ = {};
          ++uploads_;
        });
  }
}

void MeshBuffers::queueFlat(const SessionModel &m, const Settings &s) {
  // The shared-vertex arrays are of no use here.
  for (GLArrayStore *a : {&positions_, &normals_, &colours_})
    a->release();
  positionsValid_ = coloursValid_ = indicesValid_ = false;
  ranges_.clear();
  const std::size_t n = drawablePoints(m);
  if (!s.colours) {
    pointColours_ = {};
    pointColoursValid_ = false;
    return;
  }
  if (pointColoursValid_ && pointColoursFor_.generation == s.generation &&
      pointColoursFor_.colourSettings == s.colourSettings)
    return;
  pointColoursValid_ = false;
  queue_.add(
      n, chunk, [this, n] { pointColours_.assign(3 * n, 0.0f); },
      [this, &m, scale = modelScale(s.colourSettings)](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
          colourInto(&pointColours_[3 * i], scale, m.deviations[i]);
      },
      [this, s] {
        pointColoursValid_ = true;
        pointColoursFor_ = s;
        ++uploads_;
      });
}

void MeshBuffers::draw(const SessionModel &m) {
  if (!ready())
    return;
  BufferBindingGuard bindings;
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  if (target_.flatNormals)
    drawFlat(m);
  else
    drawIndexed(m);
  glPopClientAttrib();
}

const void *MeshBuffers::streamedIndices(const Range &r, const SessionModel &m) {
  // The same indices, in the same order, as a stored range holds.
  static_assert(sizeof(Triangle) == 3 * sizeof(std::uint32_t));
  if (!r.own && r.count == 3 * (r.last - r.first))
    return m.triangles.data() + r.first;
  const std::size_t n = drawablePoints(m);
  auto fill = [&](auto &out) {
    using Index = typename std::decay_t<decltype(out)>::value_type;
    out.resize(r.count);
    std::size_t k = 0;
    const std::uint32_t base = r.own ? r.min : 0;
    forEachCorner(m, n, r.first, r.last, [&](std::size_t, std::uint32_t c) {
      if (k < out.size())
        out[k++] = static_cast<Index>(c - base);
    });
    return static_cast<const void *>(out.data());
  };
  return r.shortIndices ? fill(frameShort_) : fill(frameIndices_);
}

void MeshBuffers::drawIndexed(const SessionModel &m) {
  glEnableClientState(GL_VERTEX_ARRAY);
  if (hasNormals_)
    glEnableClientState(GL_NORMAL_ARRAY);
  else
    glDisableClientState(GL_NORMAL_ARRAY);
  if (target_.colours)
    glEnableClientState(GL_COLOR_ARRAY);
  else
    glDisableClientState(GL_COLOR_ARRAY);
  auto pointers = [this](const GLArrayStore &p, const GLArrayStore &n, const GLArrayStore &c) {
    glVertexPointer(3, GL_FLOAT, 0, p.bind());
    if (hasNormals_)
      glNormalPointer(GL_FLOAT, 0, n.bind());
    if (target_.colours)
      glColorPointer(4, GL_UNSIGNED_BYTE, 0, c.bind());
  };
  bool sharedBound = false;
  std::size_t sinceFinish = 0; // triangles
  for (const auto &r : ranges_) {
    if (r->count == 0)
      continue;
    // The known vertex range spares the driver a scan of the indices in every frame.
    if (r->own) {
      pointers(r->positions, r->normals, r->colours);
      sharedBound = false;
      glDrawRangeElements(GL_TRIANGLES, 0, r->max - r->min, GLsizei(r->count),
                          r->shortIndices ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                          r->streamed ? streamedIndices(*r, m) : r->indices.bind());
    } else {
      if (!sharedBound)
        pointers(positions_, normals_, colours_);
      sharedBound = true;
      glDrawRangeElements(GL_TRIANGLES, r->min, r->max, GLsizei(r->count), GL_UNSIGNED_INT,
                          r->streamed ? streamedIndices(*r, m) : r->indices.bind());
    }
    sinceFinish += r->count / 3;
    if (finishEvery > 0 && sinceFinish >= finishEvery) {
      glFinish();
      sinceFinish = 0;
    }
  }
}

void MeshBuffers::drawFlat(const SessionModel &m) {
  const std::size_t n = drawablePoints(m), triangles = drawableTriangles(m);
  const bool colours = target_.colours && pointColours_.size() >= 3 * n;
  const bool displaced = displacedBy(m, target_.magnification);
  const DeviationAnchors anchors = DeviationAnchors::of(m);
  const float mag = target_.magnification;
  // Per corner: position, normal, colour (9 floats).
  constexpr std::size_t kFloats = 9, kStride = kFloats * sizeof(float);
  const std::size_t perDraw = std::max<std::size_t>(chunk / 4, 1);
  lastTriangle_ = -1;
  for (std::size_t first = 0; first < triangles; first += perDraw) {
    const std::size_t end = std::min(triangles, first + perDraw);
    streamStaging_.clear();
    for (std::size_t t = first; t < end; ++t) {
      const Triangle &r = m.triangles[t];
      if (!cornersWithin(r, n))
        continue;
      const Vec3f nv = m.flatNormalOf(t);
      for (const std::int32_t k : {r.a, r.b, r.c}) {
        const std::size_t i = std::size_t(k);
        const Vec3f p = displaced ? anchors.meshVertex(m.points[i], i, mag) : m.points[i];
        const float *c = colours ? &pointColours_[3 * i] : nullptr;
        streamStaging_.insert(
            streamStaging_.end(),
            {p.x, p.y, p.z, nv.x, nv.y, nv.z, c ? c[0] : 0.0f, c ? c[1] : 0.0f, c ? c[2] : 0.0f});
      }
      lastTriangle_ = std::int64_t(t);
    }
    if (streamStaging_.empty())
      continue;
    const std::size_t bytes = streamStaging_.size() * sizeof(float);
    stream_.allocate(bytes, target_.bufferObjects);
    stream_.write(0, streamStaging_.data(), bytes);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, GLsizei(kStride), stream_.bind(0));
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, GLsizei(kStride), stream_.bind(3 * sizeof(float)));
    if (colours) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(3, GL_FLOAT, GLsizei(kStride), stream_.bind(6 * sizeof(float)));
    } else {
      glDisableClientState(GL_COLOR_ARRAY);
    }
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(streamStaging_.size() / kFloats));
  }
  // The stream holds a chunk at most; its staging is kept for the next frame.
}

void MeshBuffers::release() {
  for (GLArrayStore *a : {&positions_, &normals_, &colours_, &stream_})
    a->release();
  positionsValid_ = coloursValid_ = indicesValid_ = false;
  ranges_.clear();
  pointColours_ = {};
  pointColoursValid_ = false;
  streamStaging_ = {};
  frameIndices_ = {};
  frameShort_ = {};
  queue_.clear();
  prepared_ = false;
  lastTriangle_ = -1;
}

std::size_t MeshBuffers::bytes() const {
  // The model's arrays drawn in place are the model's, not the mesh's.
  const auto held = [](const GLArrayStore &a) { return a.refers() ? 0 : a.bytes(); };
  std::size_t n = held(positions_) + held(normals_) + colours_.bytes() + stream_.bytes() +
                  pointColours_.size() * sizeof(float);
  for (const auto &r : ranges_)
    n += r->indices.bytes() + held(r->positions) + held(r->normals) + r->colours.bytes();
  return n + frameIndices_.capacity() * sizeof(std::uint32_t) +
         frameShort_.capacity() * sizeof(std::uint16_t);
}
