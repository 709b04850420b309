#include "scene/PointBuffers.h"

#include "analysis/DeviationAnchors.h"
#include "session/SessionModel.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

std::size_t strided(std::size_t count, int stride) {
  return (count + std::size_t(stride) - 1) / std::size_t(stride);
}

} // namespace

PointBuffers::Key PointBuffers::keyFor(const SessionModel &m, const Settings &s) const {
  Key k;
  k.generation = m.points.present() ? s.generation : 0;
  k.count = std::int32_t(drawablePoints(m));
  const bool displaced = s.magnification > 0 && DeviationAnchors::of(m).present();
  const bool allPass = !s.hasDev || s.filter == 0 || s.filter == 1;
  k.needles = displaced && s.hasDev;
  const std::size_t vertexBytes = sizeof(Vec3f) * (k.needles ? 2 : 1);
  const bool strideFits = vertexBytes * std::size_t(std::max(s.stride, 1)) <= std::size_t(INT_MAX);
  k.layout =
      allPass && strideFits ? (displaced ? Layout::Computed : Layout::Model) : Layout::Gathered;
  k.magnification = displaced ? s.magnification : 0;
  k.hasDev = s.hasDev;
  k.bufferObjects = s.bufferObjects;
  if (k.layout == Layout::Gathered) {
    k.stride = std::max(s.stride, 1);
    k.filter = s.filter;
    k.upper = s.filter == 2 ? s.upperTolerance : 0;
    k.devArray = s.devArray;
  }
  return k;
}

void PointBuffers::prepare(const SessionModel &m, const Settings &s) {
  const Key k = keyFor(m, s);
  const ColourKey ck{k, s.colouring ? s.colourSettings : DisplaySettings{}, s.colouring};
  if (prepared_ && k == target_ && ck == targetColours_)
    return;
  ++builds_;
  prepared_ = true;
  target_ = k;
  targetColours_ = ck;
  queue_.clear();

  const std::size_t count = std::size_t(k.count);
  const int stride = std::max(k.stride, 1);
  const std::size_t perPoint = k.needles ? 2 : 1;
  const bool buffers = k.bufferObjects;
  const bool gathered = k.layout == Layout::Gathered;
  auto deviation = [&m, s](std::size_t i) { return s.devArray ? m.deviations[i] : 0.0f; };
  auto drawn = [s, deviation](std::size_t i) {
    return !s.hasDev || passes(s.filter, s.upperTolerance, deviation(i));
  };
  // The source indices the blocks cover: every point, or every stride-th one when gathered.
  const std::size_t sources = gathered ? strided(count, stride) : count;
  const std::size_t step = gathered ? std::size_t(stride) : 1;

  if (!verticesValid_ || !(verticesFor_ == k)) {
    verticesValid_ = false;
    coloursValid_ = false; // a new layout needs colours to match
    blocks_.clear();
    for (std::size_t from = 0; from < sources; from += chunk) {
      auto b = std::make_unique<Block>();
      b->from = from;
      b->to = std::min(sources, from + chunk);
      blocks_.push_back(std::move(b));
    }
    // One chunk of the queue is one block.
    queue_.add(
        sources, chunk, {},
        [this, &m, k, step, perPoint, buffers, gathered, drawn, size = chunk](std::size_t from,
                                                                              std::size_t) {
          Block &b = *blocks_[from / size];
          if (k.layout == Layout::Model) {
            b.points = b.to - b.from;
            const std::size_t bytes = b.points * sizeof(Vec3f);
            if (!buffers) {
              // Without buffer objects the model's own array is drawn in place.
              b.vertices.refer(m.points.data() + b.from, bytes);
              return;
            }
            b.vertices.allocate(bytes, true);
            b.vertices.write(0, m.points.data() + b.from, bytes);
            return;
          }
          const DeviationAnchors anchors = DeviationAnchors::of(m);
          stagingVertices_.resize((b.to - b.from) * perPoint);
          Vec3f *out = stagingVertices_.data();
          std::size_t used = 0;
          for (std::size_t j = b.from; j < b.to; ++j) {
            const std::size_t i = j * step;
            if (gathered && !drawn(i))
              continue;
            const Vec3f p = m.points[i];
            if (k.magnification > 0) {
              const Vec3f a = anchors.at(i);
              out[used++] = DeviationAnchors::magnifiedPoint(p, a, k.magnification);
              if (perPoint == 2)
                out[used++] = a;
            } else {
              out[used++] = p;
            }
          }
          b.points = used / perPoint;
          b.vertices.allocate(used * sizeof(Vec3f), buffers);
          b.vertices.write(0, stagingVertices_.data(), used * sizeof(Vec3f));
        },
        [this, k] {
          verticesValid_ = true;
          verticesFor_ = k;
          stagingVertices_ = {};
        });
  }

  if (!ck.colouring) {
    for (auto &b : blocks_)
      b->colours.release();
    coloursValid_ = false;
  } else if (!coloursValid_ || !(coloursFor_ == ck)) {
    coloursValid_ = false;
    queue_.add(
        sources, chunk, {},
        [this, step, perPoint, buffers, gathered, drawn, deviation, size = chunk,
         scale = modelScale(s.colourSettings)](std::size_t from, std::size_t) {
          Block &b = *blocks_[from / size];
          staging_.resize((b.to - b.from) * perPoint * 4);
          std::uint8_t *out = staging_.data();
          for (std::size_t j = b.from; j < b.to; ++j) {
            const std::size_t i = j * step;
            if (gathered && !drawn(i))
              continue;
            const Colour c = scale.colourFor(deviation(i));
            const std::uint8_t rgba[4] = {colourByte(c.r), colourByte(c.g), colourByte(c.b), 255};
            for (std::size_t v = 0; v < perPoint; ++v, out += 4)
              std::memcpy(out, rgba, 4);
          }
          const auto bytes = std::size_t(out - staging_.data());
          b.colours.allocate(bytes, buffers);
          b.colours.write(0, staging_.data(), bytes);
        },
        [this, ck] {
          coloursValid_ = true;
          coloursFor_ = ck;
          staging_ = {};
        });
  }
}

PointBuffers::Run PointBuffers::runOf(const Block &b, int stride) const {
  if (target_.layout == Layout::Gathered)
    return {0, b.points};
  const auto s = std::size_t(std::max(stride, 1));
  const std::size_t first = (b.from + s - 1) / s * s;
  if (first >= b.to)
    return {0, 0};
  return {first - b.from, (b.to - first + s - 1) / s};
}

std::size_t PointBuffers::pointsDrawn(int stride) const {
  if (!prepared_)
    return 0;
  std::size_t n = 0;
  for (const auto &b : blocks_)
    n += runOf(*b, stride).count;
  return n;
}

std::size_t PointBuffers::needlesDrawn(int stride) const {
  return target_.needles ? pointsDrawn(stride) : 0;
}

void PointBuffers::ensureNeedleIndices(Block &b, const Run &r, int stride) {
  if (b.needleStride == stride)
    return;
  // The needles of every stride-th point: pairs (2 j, 2 j + 1) of the block's pair array.
  std::vector<std::uint32_t> pairs;
  pairs.reserve(2 * r.count);
  for (std::size_t k = 0; k < r.count; ++k) {
    const auto v = std::uint32_t(2 * (r.local + k * std::size_t(stride)));
    pairs.push_back(v);
    pairs.push_back(v + 1);
  }
  b.needles.allocate(pairs.size() * sizeof(std::uint32_t), target_.bufferObjects);
  b.needles.write(0, pairs.data(), pairs.size() * sizeof(std::uint32_t));
  b.needleStride = stride;
}

void PointBuffers::draw(int stride) {
  if (!ready())
    return;
  const int s = target_.layout == Layout::Gathered ? 1 : std::max(stride, 1);
  const std::size_t perPoint = target_.needles ? 2 : 1;
  BufferBindingGuard bindings;
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  auto pointers = [](Block &b, std::size_t vertexOffset, std::size_t vertexStride,
                     std::size_t colourOffset, std::size_t colourStride) {
    glVertexPointer(3, GL_FLOAT, GLsizei(vertexStride), b.vertices.bind(vertexOffset));
    if (b.colours.allocated()) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(4, GL_UNSIGNED_BYTE, GLsizei(colourStride), b.colours.bind(colourOffset));
    } else {
      glDisableClientState(GL_COLOR_ARRAY);
    }
  };
  // All needles first, then all points: no needle covers a point.
  if (target_.needles) {
    for (auto &bp : blocks_) {
      Block &b = *bp;
      const Run r = runOf(b, s);
      if (r.count == 0)
        continue;
      // The pair array read as lines: each point's drawn position, then its anchor.
      pointers(b, 0, sizeof(Vec3f), 0, 4);
      if (s > 1) {
        ensureNeedleIndices(b, r, s);
        glDrawRangeElements(GL_LINES, GLuint(2 * r.local),
                            GLuint(2 * (r.local + (r.count - 1) * std::size_t(s)) + 1),
                            GLsizei(2 * r.count), GL_UNSIGNED_INT, b.needles.bind());
      } else {
        glDrawArrays(GL_LINES, GLint(2 * r.local), GLsizei(2 * r.count));
      }
    }
  }
  for (auto &bp : blocks_) {
    Block &b = *bp;
    const Run r = runOf(b, s);
    if (r.count == 0)
      continue;
    pointers(b, r.local * perPoint * sizeof(Vec3f), sizeof(Vec3f) * perPoint * std::size_t(s),
             r.local * perPoint * 4, 4 * perPoint * std::size_t(s));
    glDrawArrays(GL_POINTS, 0, GLsizei(r.count));
  }
  glPopClientAttrib();
}

void PointBuffers::release() {
  blocks_.clear();
  verticesValid_ = coloursValid_ = false;
  queue_.clear();
  prepared_ = false;
  staging_ = {};
  stagingVertices_ = {};
}

std::size_t PointBuffers::bytes() const {
  // A model array drawn in place is not the store's.
  const bool inPlace = target_.layout == Layout::Model && !target_.bufferObjects;
  std::size_t n = 0;
  for (const auto &b : blocks_)
    n += (inPlace ? 0 : b->vertices.bytes()) + b->colours.bytes() + b->needles.bytes();
  return n;
}
