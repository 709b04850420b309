#pragma once
#include "geometry/Vec3f.h"
#include "scene/DeviationColours.h"
#include "scene/GLArrayStore.h"
#include "scene/UploadQueue.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

class SessionModel;

// The points pass held by the driver: the points' positions and colours, uploaded a chunk at
// a time and redrawn every frame without copying. When every point is drawn at its own
// position the model's point array is used as it is; a magnified display stores each drawn
// point's magnified position in buffer objects, and in client memory makes them again as each
// block is drawn (a software driver would hold a stored copy in this process's memory, as
// large as the model's points, for a few milliseconds of arithmetic per frame). Thinning reads the
// arrays with a stride; only a filtered display (points outside the tolerance) gathers its subset,
// and gathers again when the stride changes. The deviation needles of a magnified display are made
// each frame, in small pieces, for the needles long enough to be seen: most are shorter than a
// pixel at the zoom of a whole model, and storing them all would double the arrays.
class PointBuffers {
public:
  struct Settings {
    std::uint64_t generation = 0;
    DisplaySettings colourSettings;
    bool colouring = false; // a colour per point; else the current colour
    bool hasDev = false;    // deviations count: the filter and the needles apply
    bool devArray = false;  // the deviations can be read (else 0)
    int filter = 0;
    double upperTolerance = 0; // filter 2 passes |d| > this
    float magnification = 0;
    int stride = 1;
    bool bufferObjects = true;
  };

  // Whether the point filter draws a point of deviation d: filter 0 or 1 draws all, 2 only
  // those with |d| > upperTolerance, any other value none.
  static bool passes(int filter, double upperTolerance, float d) {
    if (filter == 0 || filter == 1)
      return true;
    if (filter == 2)
      return std::fabs(d) > upperTolerance;
    return false;
  }

  // Queues the work that brings the arrays to these settings; keeps what is still valid.
  void prepare(const SessionModel &model, const Settings &s);
  UploadQueue &queue() { return queue_; }
  const UploadQueue &queue() const { return queue_; }
  bool ready() const { return prepared_ && queue_.done(); }

  // Needles first, then points (each needle ends where its point is drawn); the stride
  // must be the one prepared for a filtered display. Only needles longer than minNeedle
  // (model units) are drawn; 0 draws all.
  void draw(const SessionModel &model, int stride, double minNeedle);
  std::size_t pointsDrawn(int stride) const;
  // Needles the last draw drew.
  std::size_t needlesDrawn() const { return needlesDrawn_; }

  // Whether a needle from a drawn point to its anchor is drawn with the given least length.
  static bool needleShown(const Vec3f &drawn, const Vec3f &anchor, double minNeedle) {
    const double dx = double(drawn.x) - anchor.x, dy = double(drawn.y) - anchor.y,
                 dz = double(drawn.z) - anchor.z;
    return minNeedle <= 0 || dx * dx + dy * dy + dz * dz > minNeedle * minNeedle;
  }

  void release();
  std::size_t bytes() const;
  // How often a setting change made the arrays be rebuilt.
  int builds() const { return builds_; }

  std::size_t chunk = std::size_t(1) << 18;

private:
  enum class Layout { Model, Computed, Gathered };
  // Everything the stored arrays depend on, with the fields that do not matter for the
  // chosen layout zeroed, so that comparing keys tells what must be rebuilt. Once prepared
  // (target_) it also says which points the blocks hold and how they are coloured.
  struct Key {
    std::uint64_t generation = 0;
    Layout layout = Layout::Model;
    std::int32_t count = 0;
    float magnification = 0;
    int stride = 0, filter = 0;
    double upper = 0;
    bool hasDev = false, devArray = false, needles = false, bufferObjects = true;
    friend bool operator==(const Key &, const Key &) = default;
  };
  struct ColourKey {
    Key key;
    DisplaySettings colours;
    bool colouring = false;
    friend bool operator==(const ColourKey &, const ColourKey &) = default;
  };
  Key keyFor(const SessionModel &m, const Settings &s) const;

  // A run of source points with arrays of its own: no single allocation grows with the
  // model, so no frame stalls on the driver clearing a huge buffer.
  struct Block {
    std::size_t from = 0, to = 0; // source indices (every stride-th point when gathered)
    std::size_t points = 0;       // points stored (or made per draw)
    bool streamed = false;        // magnified positions made per draw, not stored
    GLArrayStore vertices, colours;
  };
  // The first stored point of a block drawn with the stride, and how many are drawn.
  struct Run {
    std::size_t local = 0, count = 0;
  };
  Run runOf(const Block &b, int stride) const;
  // The deviation of source point i as the colours and the filter take it (0 without them).
  float deviationAt(const SessionModel &m, std::size_t i) const;
  // The source index of every point a block stores, in order: all of its points, or when
  // gathered every stride-th one that passes the filter.
  template <class F> void forEachStored(const SessionModel &m, const Block &b, F f) const;
  // The source index of every point a block draws with the stride, in drawing order.
  template <class F>
  void forEachDrawn(const SessionModel &m, const Block &b, int stride, F f) const;
  void drawNeedles(const SessionModel &m, int stride, double minNeedle);
  // The pointer argument of a streamed block's magnified positions for this draw.
  const void *streamedVertices(const SessionModel &m, const Block &b, int stride);

  UploadQueue queue_;
  bool prepared_ = false;
  Key target_{};
  ColourKey targetColours_{};

  std::vector<std::unique_ptr<Block>> blocks_;
  Key verticesFor_{};
  ColourKey coloursFor_{};
  bool verticesValid_ = false, coloursValid_ = false;
  std::vector<Vec3f> stagingVertices_;
  std::vector<std::uint8_t> staging_; // colours
  std::vector<Vec3f> frameVertices_;  // a streamed block's positions while it is drawn
  int builds_ = 0;
  // The needles of one frame go through this, a piece at a time.
  GLArrayStore needleStream_;
  std::vector<Vec3f> needleVertices_;
  std::vector<std::uint8_t> needleColours_;
  std::size_t needlesDrawn_ = 0;
};
