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

std::uint8_t toByte(double c) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
}

std::size_t strided(std::size_t count, int stride) {
  return (count + std::size_t(stride) - 1) / std::size_t(stride);
}

} // namespace

bool PointBuffers::passes(const Settings &s, float d) const {
  if (s.filter == 0 || s.filter == 1)
    return true;
  if (s.filter == 2)
    return std::fabs(d) > s.upperTolerance;
  return false;
}

PointBuffers::Key PointBuffers::keyFor(const SessionModel &m, const Settings &s) const {
  Key k;
  k.generation = m.points.present() ? s.generation : 0;
  k.count = std::min<std::int32_t>(std::max(m.pointCount, 0), std::int32_t(m.points.size()));
  const bool displaced = s.magnification > 0 && DeviationAnchors::of(m).present();
  const bool allPass = !s.hasDev || s.filter == 0 || s.filter == 1;
  k.needles = displaced && s.hasDev;
  const std::size_t vertexBytes = sizeof(Vec3f) * (k.needles ? 2 : 1);
  const bool strideFits = vertexBytes * std::size_t(std::max(s.stride, 1)) <= std::size_t(INT_MAX);
  k.layout = allPass && strideFits ? (displaced ? Layout::Computed : Layout::Model)
                                   : Layout::Gathered;
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
  const ColourKey ck{k, s.colouring ? s.colourSettings : ColourSettings{}, s.colouring};
  if (prepared_ && k == target_ && ck == targetColours_)
    return;
  ++builds_;
  prepared_ = true;
  target_ = k;
  targetColours_ = ck;
  settings_ = s;
  queue_.clear();

  const std::size_t count = std::size_t(k.count);
  const int stride = std::max(k.stride, 1);
  const std::size_t perPoint = k.needles ? 2 : 1;
  const bool buffers = k.bufferObjects;
  auto deviation = [&m, s](std::size_t i) { return s.devArray ? m.deviations[i] : 0.0f; };
  auto drawn = [this, s, deviation](std::size_t i) { return !s.hasDev || passes(s, deviation(i)); };

  // Vertices per point in the stored arrays, and the source indices the steps walk: every
  // point, or every stride-th one for a gathered subset.
  std::size_t points = count, sources = count;
  if (k.layout == Layout::Gathered) {
    sources = strided(count, stride);
    points = 0;
    for (std::size_t j = 0; j < sources; ++j)
      points += drawn(j * std::size_t(stride)) ? 1 : 0;
  }
  const bool verticesCurrent = verticesValid_ && verticesFor_ == k && gathered_ == points;
  gathered_ = points;

  if (!verticesCurrent) {
    verticesValid_ = false;
    needleIndexStride_ = 0;
    if (k.layout == Layout::Model && !buffers) {
      // Without buffer objects the model's own array is drawn in place.
      vertices_.refer(m.points.data(), count * sizeof(Vec3f));
      verticesValid_ = true;
      verticesFor_ = k;
    } else {
      auto written = std::make_shared<std::size_t>(0);
      queue_.add(
          sources, chunk,
          [this, points, perPoint, buffers] {
            vertices_.allocate(points * perPoint * sizeof(Vec3f), buffers);
          },
          [this, &m, k, stride, perPoint, drawn, written](std::size_t from, std::size_t to) {
            if (k.layout == Layout::Model) {
              vertices_.write(from * sizeof(Vec3f), m.points.data() + from,
                              (to - from) * sizeof(Vec3f));
              return;
            }
            const DeviationAnchors anchors = DeviationAnchors::of(m);
            staging_.resize((to - from) * perPoint * sizeof(Vec3f));
            Vec3f *out = reinterpret_cast<Vec3f *>(staging_.data());
            std::size_t used = 0;
            const std::size_t step = k.layout == Layout::Gathered ? std::size_t(stride) : 1;
            for (std::size_t j = from; j < to; ++j) {
              const std::size_t i = j * step;
              if (k.layout == Layout::Gathered && !drawn(i))
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
            staging_.resize(used * sizeof(Vec3f));
            vertices_.write(*written, staging_.data(), staging_.size());
            *written += staging_.size();
          },
          [this, k] {
            verticesValid_ = true;
            verticesFor_ = k;
            staging_ = {};
          });
    }
  }

  if (!ck.colouring) {
    colours_.release();
    coloursValid_ = false;
  } else if (!coloursValid_ || !(coloursFor_ == ck)) {
    coloursValid_ = false;
    auto written = std::make_shared<std::size_t>(0);
    queue_.add(
        sources, chunk,
        [this, points, perPoint, buffers] { colours_.allocate(points * perPoint * 4, buffers); },
        [this, k, stride, perPoint, drawn, deviation, written,
         scale = s.colourSettings.scale()](std::size_t from, std::size_t to) {
          staging_.resize((to - from) * perPoint * 4);
          std::uint8_t *out = staging_.data();
          const std::size_t step = k.layout == Layout::Gathered ? std::size_t(stride) : 1;
          for (std::size_t j = from; j < to; ++j) {
            const std::size_t i = j * step;
            if (k.layout == Layout::Gathered && !drawn(i))
              continue;
            const Colour c = scale.colourFor(deviation(i));
            const std::uint8_t rgba[4] = {toByte(c.r), toByte(c.g), toByte(c.b), 255};
            for (std::size_t v = 0; v < perPoint; ++v, out += 4)
              std::memcpy(out, rgba, 4);
          }
          staging_.resize(std::size_t(out - staging_.data()));
          colours_.write(*written, staging_.data(), staging_.size());
          *written += staging_.size();
        },
        [this, ck] {
          coloursValid_ = true;
          coloursFor_ = ck;
          staging_ = {};
        });
  }
}

std::size_t PointBuffers::pointsDrawn(int stride) const {
  if (!prepared_)
    return 0;
  if (target_.layout == Layout::Gathered)
    return gathered_;
  return strided(std::size_t(target_.count), std::max(stride, 1));
}

std::size_t PointBuffers::needlesDrawn(int stride) const {
  return target_.needles ? pointsDrawn(stride) : 0;
}

void PointBuffers::ensureNeedleIndices(int stride) {
  if (needleIndexStride_ == stride)
    return;
  // The needles of every stride-th point: pairs (2 i s, 2 i s + 1) of the pair array.
  const std::size_t n = strided(std::size_t(target_.count), stride);
  needleIndices_.allocate(n * 2 * sizeof(std::uint32_t), target_.bufferObjects);
  std::vector<std::uint32_t> pairs;
  for (std::size_t first = 0; first < n; first += chunk) {
    const std::size_t end = std::min(n, first + chunk);
    pairs.clear();
    for (std::size_t i = first; i < end; ++i) {
      const auto v = std::uint32_t(2 * i * std::size_t(stride));
      pairs.push_back(v);
      pairs.push_back(v + 1);
    }
    needleIndices_.write(first * 2 * sizeof(std::uint32_t), pairs.data(),
                         pairs.size() * sizeof(std::uint32_t));
  }
  needleIndexStride_ = stride;
}

void PointBuffers::draw(int stride) {
  if (!ready())
    return;
  const bool gathered = target_.layout == Layout::Gathered;
  const int s = gathered ? 1 : std::max(stride, 1);
  const std::size_t perPoint = target_.needles ? 2 : 1;
  const std::size_t needles = needlesDrawn(stride), points = pointsDrawn(stride);
  BufferBindingGuard bindings;
  if (needles > 0 && s > 1)
    ensureNeedleIndices(s);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  const bool colours = colours_.allocated();
  auto pointers = [&](std::size_t vertexStride, std::size_t colourStride) {
    glVertexPointer(3, GL_FLOAT, GLsizei(vertexStride), vertices_.bind());
    if (colours) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(4, GL_UNSIGNED_BYTE, GLsizei(colourStride), colours_.bind());
    } else {
      glDisableClientState(GL_COLOR_ARRAY);
    }
  };
  if (needles > 0) {
    // The pair array read as lines: each point's drawn position, then its anchor.
    pointers(sizeof(Vec3f), 4);
    if (s > 1)
      glDrawRangeElements(GL_LINES, 0, GLuint(2 * std::size_t(target_.count) - 1),
                          GLsizei(2 * needles), GL_UNSIGNED_INT, needleIndices_.bind());
    else
      glDrawArrays(GL_LINES, 0, GLsizei(2 * needles));
  }
  if (points > 0) {
    pointers(sizeof(Vec3f) * perPoint * std::size_t(s), 4 * perPoint * std::size_t(s));
    glDrawArrays(GL_POINTS, 0, GLsizei(points));
  }
  glPopClientAttrib();
}

void PointBuffers::release() {
  vertices_.release();
  colours_.release();
  needleIndices_.release();
  verticesValid_ = coloursValid_ = false;
  needleIndexStride_ = 0;
  queue_.clear();
  prepared_ = false;
  staging_ = {};
}

std::size_t PointBuffers::bytes() const {
  // A model array drawn in place is not the store's.
  const bool inPlace = target_.layout == Layout::Model && !target_.bufferObjects;
  return (inPlace ? 0 : vertices_.bytes()) + colours_.bytes() + needleIndices_.bytes();
}
