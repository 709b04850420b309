#include "scene/PointBuffers.h"

#include "analysis/DeviationAnchors.h"
#include "session/SessionModel.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <climits>
#include <cmath>
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
  const bool strideFits =
      sizeof(Vec3f) * std::size_t(std::max(s.stride, 1)) <= std::size_t(INT_MAX);
  k.layout =
      allPass && strideFits ? (displaced ? Layout::Computed : Layout::Model) : Layout::Gathered;
  k.magnification = displaced ? s.magnification : 0;
  k.hasDev = s.hasDev;
  k.devArray = s.devArray;
  k.bufferObjects = s.bufferObjects;
  if (k.layout == Layout::Gathered) {
    k.stride = std::max(s.stride, 1);
    k.filter = s.filter;
    k.upper = s.filter == 2 ? s.upperTolerance : 0;
  }
  return k;
}

float PointBuffers::deviationAt(const SessionModel &m, std::size_t i) const {
  return target_.devArray ? m.deviations[i] : 0.0f;
}

template <class F>
void PointBuffers::forEachStored(const SessionModel &m, const Block &b, F f) const {
  if (target_.layout != Layout::Gathered) {
    for (std::size_t i = b.from; i < b.to; ++i)
      f(i);
    return;
  }
  const auto step = std::size_t(std::max(target_.stride, 1));
  for (std::size_t j = b.from; j < b.to; ++j) {
    const std::size_t i = j * step;
    if (!target_.hasDev || passes(target_.filter, target_.upper, deviationAt(m, i)))
      f(i);
  }
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
  const bool buffers = k.bufferObjects;
  // The source indices the blocks cover: every point, or every stride-th one when gathered.
  const std::size_t sources =
      k.layout == Layout::Gathered ? strided(count, std::max(k.stride, 1)) : count;

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
        [this, &m, k, buffers, size = chunk](std::size_t from, std::size_t) {
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
          if (k.layout == Layout::Computed && !buffers) {
            b.points = b.to - b.from;
            b.streamed = true; // streamedVertices makes them again for each draw
            return;
          }
          const DeviationAnchors anchors = DeviationAnchors::of(m);
          stagingVertices_.resize(b.to - b.from);
          Vec3f *out = stagingVertices_.data();
          std::size_t used = 0;
          forEachStored(m, b, [&](std::size_t i) {
            const Vec3f p = m.points[i];
            out[used++] = k.magnification > 0
                              ? DeviationAnchors::magnifiedPoint(p, anchors.at(i), k.magnification)
                              : p;
          });
          b.points = used;
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
        [this, &m, buffers, size = chunk, scale = modelScale(s.colourSettings)](std::size_t from,
                                                                                std::size_t) {
          Block &b = *blocks_[from / size];
          staging_.resize((b.to - b.from) * 4);
          std::uint8_t *out = staging_.data();
          forEachStored(m, b, [&](std::size_t i) {
            colourBytesInto(out, scale, deviationAt(m, i));
            out += 4;
          });
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

template <class F>
void PointBuffers::forEachDrawn(const SessionModel &m, const Block &b, int stride, F f) const {
  if (target_.layout == Layout::Gathered) {
    forEachStored(m, b, f);
    return;
  }
  const Run r = runOf(b, stride);
  for (std::size_t k = 0; k < r.count; ++k)
    f(b.from + r.local + k * std::size_t(stride));
}

void PointBuffers::drawNeedles(const SessionModel &m, int stride, double minNeedle) {
  const DeviationAnchors anchors = DeviationAnchors::of(m);
  const bool colouring = targetColours_.colouring;
  const ColourScale scale = modelScale(targetColours_.colours);
  constexpr std::size_t kPiece = std::size_t(1) << 16; // needles per draw
  const auto flush = [&] {
    if (needleVertices_.empty())
      return;
    const std::size_t vertexBytes = needleVertices_.size() * sizeof(Vec3f);
    needleStream_.allocate(vertexBytes + needleColours_.size(), target_.bufferObjects);
    needleStream_.write(0, needleVertices_.data(), vertexBytes);
    glVertexPointer(3, GL_FLOAT, 0, needleStream_.bind(0));
    if (colouring) {
      needleStream_.write(vertexBytes, needleColours_.data(), needleColours_.size());
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(4, GL_UNSIGNED_BYTE, 0, needleStream_.bind(vertexBytes));
    } else {
      glDisableClientState(GL_COLOR_ARRAY);
    }
    glDrawArrays(GL_LINES, 0, GLsizei(needleVertices_.size()));
    needlesDrawn_ += needleVertices_.size() / 2;
    needleVertices_.clear();
    needleColours_.clear();
  };
  for (const auto &b : blocks_)
    forEachDrawn(m, *b, stride, [&](std::size_t i) {
      const Vec3f a = anchors.at(i);
      const Vec3f p = DeviationAnchors::magnifiedPoint(m.points[i], a, target_.magnification);
      if (!needleShown(p, a, minNeedle))
        return;
      needleVertices_.push_back(p);
      needleVertices_.push_back(a);
      if (colouring) {
        std::uint8_t c[4];
        colourBytesInto(c, scale, deviationAt(m, i));
        needleColours_.insert(needleColours_.end(),
                              {c[0], c[1], c[2], c[3], c[0], c[1], c[2], c[3]});
      }
      if (needleVertices_.size() >= 2 * kPiece)
        flush();
    });
  flush();
}

const void *PointBuffers::streamedVertices(const SessionModel &m, const Block &b, int stride) {
  const DeviationAnchors anchors = DeviationAnchors::of(m);
  const float magnification = target_.magnification;
  frameVertices_.resize(runOf(b, stride).count);
  Vec3f *out = frameVertices_.data();
  forEachDrawn(m, b, stride, [&](std::size_t i) {
    *out++ = DeviationAnchors::magnifiedPoint(m.points[i], anchors.at(i), magnification);
  });
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  return frameVertices_.data();
}

void PointBuffers::draw(const SessionModel &m, int stride, double minNeedle) {
  needlesDrawn_ = 0;
  if (!ready())
    return;
  const int s = target_.layout == Layout::Gathered ? 1 : std::max(stride, 1);
  BufferBindingGuard bindings;
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  // All needles first, then all points: no needle covers a point.
  if (target_.needles)
    drawNeedles(m, s, minNeedle);
  for (auto &bp : blocks_) {
    Block &b = *bp;
    const Run r = runOf(b, s);
    if (r.count == 0)
      continue;
    const std::size_t step = std::size_t(s);
    if (b.streamed)
      glVertexPointer(3, GL_FLOAT, 0, streamedVertices(m, b, s));
    else
      glVertexPointer(3, GL_FLOAT, GLsizei(sizeof(Vec3f) * step),
                      b.vertices.bind(r.local * sizeof(Vec3f)));
    if (b.colours.allocated()) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(4, GL_UNSIGNED_BYTE, GLsizei(4 * step), b.colours.bind(r.local * 4));
    } else {
      glDisableClientState(GL_COLOR_ARRAY);
    }
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
  frameVertices_ = {};
  needleStream_.release();
  needleVertices_ = {};
  needleColours_ = {};
}

std::size_t PointBuffers::bytes() const {
  // A model array drawn in place is not the store's.
  const bool inPlace = target_.layout == Layout::Model && !target_.bufferObjects;
  std::size_t n = 0;
  for (const auto &b : blocks_)
    n += (inPlace ? 0 : b->vertices.bytes()) + b->colours.bytes();
  n += needleStream_.bytes() + frameVertices_.capacity() * sizeof(Vec3f);
  return n;
}
