#include "scene/GLPointCloud.h"

#include "analysis/ColourScale.h"
#include "scene/ViewState.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::int32_t kThinningThreshold = 100000;

std::uint8_t toByte(double c) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
}

void pushColour(std::vector<std::uint8_t> &out, const Colour &c) {
  out.push_back(toByte(c.r));
  out.push_back(toByte(c.g));
  out.push_back(toByte(c.b));
  out.push_back(255);
}

// P + m (P - S) in doubles, rounded to float: where the points pass shows a magnified point.
Vec3f magnifiedPoint(const Vec3f &p, const Vec3f &s, float m) {
  const double md = m;
  return {float(p.x + md * (double(p.x) - s.x)), float(p.y + md * (double(p.y) - s.y)),
          float(p.z + md * (double(p.z) - s.z))};
}

} // namespace

GLPointCloud::GLPointCloud(ViewState *view, std::unique_ptr<SessionModel> model)
    : GLRvTransformableList(view), model_(std::move(model)) {
  if (!model_)
    model_ = std::make_unique<SessionModel>();
}

GLPointCloud::~GLPointCloud() {
  invalidate();
  releaseArrays();
}

void GLPointCloud::invalidate() {
  if (triangleList != 0)
    glDeleteLists(GLuint(triangleList), 1);
  triangleList = 0;
}

const BoundingBox *GLPointCloud::boundingBox() { return &model_->GetBoundingBox(); }

void GLPointCloud::transformModel(Placement p) {
  model_->TransformModel(p);
  ++modelGeneration_;
  arraysValid_ = false;
  invalidate();
}

int GLPointCloud::strideFor(std::int32_t pointCount, double worldUnitsPerPixel, bool interacting) {
  if (pointCount <= kThinningThreshold)
    return 1;
  if (interacting)
    return 10;
  const double s = 10.0 * worldUnitsPerPixel;
  // Guard the conversion: a huge or non-finite pixel size would overflow the int.
  if (!(s < double(pointCount)))
    return pointCount;
  return std::max(1, int(s));
}

const Vec3f *GLPointCloud::partner() {
  const SessionModel &m = *model_;
  const auto n = std::size_t(std::max<std::int32_t>(m.pointCount, 0));
  if (m.nominalPoints.present() && m.nominalPoints.size() >= n)
    return m.nominalPoints.data();
  // A normal is a direction, not a position: taking it as the anchor would draw every point
  // at about twice its distance from the origin with a needle to the origin. Without
  // nominal points the anchor is where the point lies before its deviation.
  if (m.deviationMode <= 0 || !m.normals.present() || m.normals.size() < n ||
      m.deviations.size() < n || m.points.size() < n)
    return nullptr;
  if (derivedGeneration_ != modelGeneration_ || derivedNominal_.size() != n) {
    derivedNominal_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      derivedNominal_[i] = m.points[i] - m.normals[i] * m.deviations[i];
    derivedGeneration_ = modelGeneration_;
  }
  return derivedNominal_.data();
}

bool GLPointCloud::filterPasses(float d) const {
  if (pointFilter == 0 || pointFilter == 1)
    return true;
  if (pointFilter == 2)
    return std::fabs(d) > upperTolerance;
  return false;
}

void GLPointCloud::draw(ViewState *view, int) {
  if (!visible)
    return;
  if (!view)
    view = view_;
  pushPlacementMatrix(placement_);

  const std::int32_t count = std::min<std::int32_t>(std::max<std::int32_t>(model_->pointCount, 0),
                                                    std::int32_t(model_->points.size()));
  int stride = 1;
  if (view)
    stride = strideFor(count, view->worldUnitsPerPixel(), view->interacting);
  else if (count > kThinningThreshold)
    stride = 10;
  lastStride_ = stride;

  glDisable(GL_LIGHTING);
  applyColour();
  const ColourScale scale(float(upperTolerance), float(lowerTolerance), bandCount, pointFilter,
                          showGradient, extendedColours);
  if (pointFilter == 2)
    displayMode = 1;
  if (!model_->triangleNormals.present())
    vertexNormals = true;

  if (displayMode == 1) {
    // A size of 0 is not a valid point size; the points keep the size they had.
    if (width > 0)
      glPointSize(float(width));
    if (pointPath == PointPath::Immediate)
      drawPointsImmediate(scale, stride);
    else
      drawPointsArrays(scale, stride);
    glPointSize(1);
  } else if (displayMode == 4) {
    if (triangleList != 0)
      glCallList(GLuint(triangleList));
    else
      compileTriangles(scale);
  }

  glMatrixMode(GL_MODELVIEW);
  popPlacementMatrix();
  glEnable(GL_LIGHTING);
}

GLPointCloud::PointsPass GLPointCloud::pointsPass() {
  const SessionModel &m = *model_;
  PointsPass p;
  p.count = std::min<std::int32_t>(std::max(m.pointCount, 0), std::int32_t(m.points.size()));
  p.hasDev = m.deviationMode > 0;
  p.devArray = p.hasDev && m.deviations.size() >= std::size_t(p.count);
  p.colouring = !selected_ && p.hasDev && pointFilter >= 0 && pointFilter <= 2;
  p.partner = partner();
  p.magnification = magnification;
  return p;
}

void GLPointCloud::drawPointsImmediate(const ColourScale &scale, int stride) {
  const SessionModel &m = *model_;
  const PointsPass pass = pointsPass();
  const std::int32_t count = pass.count;
  const bool hasDev = pass.hasDev, colouring = pass.colouring;
  const Vec3f *partnerPts = pass.partner;
  const float mag = pass.magnification;
  std::size_t points = 0, needles = 0;
  for (std::int32_t i = 0; i < count; i += stride) {
    const float d = pass.deviation(m, i);
    if (colouring) {
      const Colour c = scale.colourFor(d);
      glColor3d(c.r, c.g, c.b);
    }
    const bool passes = filterPasses(d);
    Vec3f p = m.points[i];
    if (mag > 0 && partnerPts) {
      const Vec3f s = partnerPts[i];
      const Vec3f moved = magnifiedPoint(p, s, mag);
      if (hasDev && passes) {
        glBegin(GL_LINES);
        glVertex3f(moved.x, moved.y, moved.z);
        glVertex3f(s.x, s.y, s.z);
        glEnd();
        ++needles;
      }
      p = moved;
    }
    if (!hasDev || passes) {
      glBegin(GL_POINTS);
      glVertex3f(p.x, p.y, p.z);
      glEnd();
      ++points;
    }
  }
  lastPointsDrawn_ = points;
  lastNeedlesDrawn_ = needles;
}

GLPointCloud::ArrayKey GLPointCloud::currentKey(int stride) const {
  ArrayKey k;
  k.upper = float(upperTolerance);
  k.lower = float(lowerTolerance);
  k.magnification = magnification;
  k.bands = bandCount;
  k.filter = pointFilter;
  k.stride = stride;
  k.devMode = model_->deviationMode;
  k.gradient = showGradient;
  k.extended = extendedColours;
  k.selected = selected_;
  k.buffers = pointPath == PointPath::Arrays;
  k.pointCount = model_->pointCount;
  k.modelGeneration = modelGeneration_;
  return k;
}

void GLPointCloud::drawPointsArrays(const ColourScale &scale, int stride) {
  const SessionModel &m = *model_;
  const PointsPass pass = pointsPass();
  const std::int32_t count = pass.count;
  const bool hasDev = pass.hasDev, colouring = pass.colouring;
  const Vec3f *partnerPts = pass.partner;
  const float mag = pass.magnification;
  const bool displaced = mag > 0 && partnerPts;

  const ArrayKey key = currentKey(stride);
  if (!arraysValid_ || !(key == arrayKey_)) {
    // Rebuild only when a setting, the stride or the selection changed: colourFor runs
    // once per point per change instead of once per point per frame.
    pointVertices_.clear();
    pointColours_.clear();
    needleVertices_.clear();
    needleColours_.clear();
    // Every visited point is drawn where it lies: read the model in place with a stride
    // (when the byte stride fits the API's int).
    pointsFromModel_ = !displaced && (!hasDev || pointFilter == 0 || pointFilter == 1) &&
                       sizeof(Vec3f) * std::size_t(stride) <= std::size_t(INT_MAX);
    for (std::int32_t i = 0; i < count; i += stride) {
      const float d = pass.deviation(m, i);
      Colour c;
      if (colouring)
        c = scale.colourFor(d);
      const bool passes = filterPasses(d);
      Vec3f p = m.points[i];
      if (displaced) {
        const Vec3f moved = magnifiedPoint(p, partnerPts[i], mag);
        if (hasDev && passes) {
          needleVertices_.push_back(moved);
          needleVertices_.push_back(partnerPts[i]);
          if (colouring) {
            pushColour(needleColours_, c);
            pushColour(needleColours_, c);
          }
        }
        p = moved;
      }
      if (!hasDev || passes) {
        if (!pointsFromModel_)
          pointVertices_.push_back(p);
        if (colouring)
          pushColour(pointColours_, c);
      }
    }
    arrayKey_ = key;
    arraysValid_ = true;
    ++arrayBuilds_;
    uploadArrays(pointsFromModel_ ? std::size_t(count + stride - 1) / std::size_t(stride)
                                  : pointVertices_.size(),
                 stride);
  }
  issuePoints(stride);
  // The current colour is undefined after drawing with a colour array; leave the one the
  // point-by-point path would leave: the colour of the last point visited.
  if (colouring && count > 0) {
    const std::int32_t last = ((count - 1) / stride) * stride;
    const Colour c = scale.colourFor(pass.deviation(m, last));
    glColor3d(c.r, c.g, c.b);
  }
  lastPointsDrawn_ = listPoints_;
  lastNeedlesDrawn_ = listNeedles_;
}

namespace {

// Buffer objects need OpenGL 1.5; every Mesa driver has them, but a plain 1.1 context
// keeps the client arrays.
bool buffersAvailable() {
  const char *v = reinterpret_cast<const char *>(glGetString(GL_VERSION));
  int major = 0, minor = 0;
  if (!v || std::sscanf(v, "%d.%d", &major, &minor) != 2)
    return false;
  return major > 1 || (major == 1 && minor >= 5);
}

template <class T> void upload(unsigned &buffer, const std::vector<T> &data) {
  if (data.empty())
    return;
  if (buffer == 0)
    glGenBuffers(1, &buffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(data.size() * sizeof(T)), data.data(), GL_STATIC_DRAW);
}

// Pointer into the bound buffer, or into client memory when there is none.
const void *arrayPointer(unsigned buffer, const void *client) {
  return buffer != 0 ? nullptr : client;
}

} // namespace

void GLPointCloud::releaseArrays() {
  for (unsigned *b :
       {&modelBuffer_, &pointBuffer_, &pointColourBuffer_, &needleBuffer_, &needleColourBuffer_}) {
    if (*b != 0)
      glDeleteBuffers(1, b);
    *b = 0;
  }
  modelBufferGeneration_ = ~std::uint64_t(0);
}

// The arrays go into buffer objects once per change, so that the driver need not copy the
// client-side vertices and colours again in every frame.
void GLPointCloud::uploadArrays(std::size_t pointsToDraw, int) {
  listPoints_ = pointsToDraw;
  listNeedles_ = needleVertices_.size() / 2;
  if (useBuffers_ < 0)
    useBuffers_ = buffersAvailable() ? 1 : 0;
  buffersInUse_ = useBuffers_ == 1 && pointPath == PointPath::Arrays;
  if (!buffersInUse_)
    return;
  GLint previous = 0;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previous);
  if (pointsFromModel_ && modelBufferGeneration_ != modelGeneration_) {
    const std::size_t n =
        std::min(std::size_t(std::max(model_->pointCount, 0)), model_->points.size());
    if (modelBuffer_ == 0)
      glGenBuffers(1, &modelBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, modelBuffer_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(n * sizeof(Vec3f)), model_->points.data(),
                 GL_STATIC_DRAW);
    modelBufferGeneration_ = modelGeneration_;
  }
  upload(pointBuffer_, pointVertices_);
  upload(pointColourBuffer_, pointColours_);
  upload(needleBuffer_, needleVertices_);
  upload(needleColourBuffer_, needleColours_);
  glBindBuffer(GL_ARRAY_BUFFER, GLuint(previous));
  // The buffers hold their own copy; the staging arrays wait for the next change.
  hasPointColours_ = !pointColours_.empty();
  hasNeedleColours_ = !needleColours_.empty();
  for (auto *v : {&pointVertices_, &needleVertices_})
    std::vector<Vec3f>().swap(*v);
  for (auto *v : {&pointColours_, &needleColours_})
    std::vector<std::uint8_t>().swap(*v);
}

void GLPointCloud::issuePoints(int stride) {
  const bool buffers = buffersInUse_;
  if (!buffers) {
    hasPointColours_ = !pointColours_.empty();
    hasNeedleColours_ = !needleColours_.empty();
  }
  auto bind = [buffers](unsigned b) {
    if (buffers)
      glBindBuffer(GL_ARRAY_BUFFER, b);
  };
  // A colour array when there are colours, else the node colour already current.
  auto colours = [&](bool has, unsigned buffer, const std::uint8_t *data) {
    if (!has) {
      glDisableClientState(GL_COLOR_ARRAY);
      return;
    }
    bind(buffer);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, arrayPointer(buffers ? buffer : 0, data));
  };
  GLint previous = 0;
  if (buffers)
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previous);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  // Needles first, then points: each needle ends where its point is drawn.
  if (listNeedles_ > 0) {
    bind(needleBuffer_);
    glVertexPointer(3, GL_FLOAT, 0,
                    arrayPointer(buffers ? needleBuffer_ : 0, needleVertices_.data()));
    colours(hasNeedleColours_, needleColourBuffer_, needleColours_.data());
    glDrawArrays(GL_LINES, 0, GLsizei(2 * listNeedles_));
  }
  if (listPoints_ > 0) {
    if (pointsFromModel_) {
      bind(modelBuffer_);
      glVertexPointer(3, GL_FLOAT, GLsizei(sizeof(Vec3f) * std::size_t(stride)),
                      arrayPointer(buffers ? modelBuffer_ : 0, model_->points.data()));
    } else {
      bind(pointBuffer_);
      glVertexPointer(3, GL_FLOAT, 0,
                      arrayPointer(buffers ? pointBuffer_ : 0, pointVertices_.data()));
    }
    colours(hasPointColours_, pointColourBuffer_, pointColours_.data());
    glDrawArrays(GL_POINTS, 0, GLsizei(listPoints_));
  }
  glPopClientAttrib();
  if (buffers)
    glBindBuffer(GL_ARRAY_BUFFER, GLuint(previous));
}

void GLPointCloud::compileTriangles(const ColourScale &scale) {
  const SessionModel &m = *model_;
  const std::int32_t count =
      std::min<std::int32_t>(std::max(m.pointCount, 0), std::int32_t(m.points.size()));
  const std::size_t triCount =
      m.triangles.present()
          ? std::min(std::size_t(std::max(m.triangleCount, 0)), m.triangles.size())
          : 0;
  const bool hasDev = m.deviationMode > 0 && m.deviations.size() >= std::size_t(count);
  const bool haveVertexNormals = m.normals.present() && m.normals.size() >= std::size_t(count);
  const Vec3f *partnerPts = partner();
  const float mag = magnification;
  auto inRange = [count](std::int32_t k) { return k >= 0 && k < count; };

  const bool fromArrays = meshPath == MeshPath::Arrays && vertexNormals && haveVertexNormals;
  triangleList = int(glGenLists(1));
  // Compiling and then calling the list draws the same as compile-and-execute, but the driver
  // replays its compact compiled form instead of feeding every stored vertex through again.
  glNewList(GLuint(triangleList), fromArrays ? GL_COMPILE : GL_COMPILE_AND_EXECUTE);
  glEnable(GL_LIGHTING);
  Colour last{red(), green(), blue()};
  if (fromArrays) {
    const std::int64_t k = issueTrianglesArrays(scale, hasDev, partnerPts);
    if (k >= 0) {
      // Normal and colour are undefined after drawing from arrays; leave the ones the
      // corner-by-corner path leaves (the outline strips are lit with that normal).
      const Vec3f &n = m.normals[std::size_t(k)];
      glNormal3f(n.x, n.y, n.z);
      if (hasDev)
        last = scale.colourFor(m.deviations[std::size_t(k)]);
    }
  } else {
    glBegin(GL_TRIANGLES);
    for (std::size_t t = 0; t < triCount; ++t) {
      const TriangleRecord &r = m.triangles[t];
      // Readers refuse bad corner indices; the node still never reads outside its arrays.
      if (!inRange(r.a) || !inRange(r.b) || !inRange(r.c))
        continue;
      if (!vertexNormals) {
        const bool ok = r.normalIndex >= 0 && std::size_t(r.normalIndex) < m.triangleNormals.size();
        const Vec3f n = ok ? m.triangleNormals[std::size_t(r.normalIndex)] : Vec3f{0, 0, 0};
        glNormal3f(n.x, n.y, n.z);
      }
      for (const std::int32_t k : {r.a, r.b, r.c}) {
        if (vertexNormals && haveVertexNormals) {
          const Vec3f &n = m.normals[k];
          glNormal3f(n.x, n.y, n.z);
        }
        if (hasDev) {
          last = scale.colourFor(m.deviations[k]);
          glColor3d(last.r, last.g, last.b);
        }
        const Vec3f &p = m.points[k];
        if (mag > 0 && partnerPts) {
          const Vec3f &s = partnerPts[k];
          const Vec3f v = s + (p - s) * mag;
          glVertex3f(v.x, v.y, v.z);
        } else {
          glVertex3f(p.x, p.y, p.z);
        }
      }
    }
    glEnd();
  }
  glColor3d(last.r, last.g, last.b);
  if (outline) {
    for (std::size_t t = 0; t < triCount; ++t) {
      const TriangleRecord &r = m.triangles[t];
      if (!inRange(r.a) || !inRange(r.b) || !inRange(r.c))
        continue;
      glBegin(GL_LINE_STRIP);
      for (const std::int32_t k : {r.a, r.b, r.c, r.a})
        glVertex3f(m.points[k].x, m.points[k].y, m.points[k].z);
      glEnd();
    }
  }
  glEndList();
  if (fromArrays)
    glCallList(GLuint(triangleList));
}

std::int64_t GLPointCloud::issueTrianglesArrays(const ColourScale &scale, bool colours,
                                                const Vec3f *partnerPts) {
  const SessionModel &m = *model_;
  const std::int32_t count =
      std::min<std::int32_t>(std::max(m.pointCount, 0), std::int32_t(m.points.size()));
  const std::size_t n = std::size_t(count);
  const std::size_t triCount =
      m.triangles.present()
          ? std::min(std::size_t(std::max(m.triangleCount, 0)), m.triangles.size())
          : 0;
  const float mag = magnification;

  // Per point, once: the displaced vertex (same float formula as corner by corner) and the
  // deviation colour, as floats: the value glColor3d hands on.
  std::vector<Vec3f> moved;
  const Vec3f *vertices = m.points.data();
  if (mag > 0 && partnerPts) {
    moved.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      const Vec3f &p = m.points[i], &s = partnerPts[i];
      moved[i] = s + (p - s) * mag;
    }
    vertices = moved.data();
  }
  std::vector<float> rgb;
  if (colours) {
    rgb.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
      const Colour c = scale.colourFor(m.deviations[i]);
      rgb[3 * i] = float(c.r);
      rgb[3 * i + 1] = float(c.g);
      rgb[3 * i + 2] = float(c.b);
    }
  }

  // The list must take the data from client memory, not from whatever buffer is bound.
  GLint previousArray = 0, previousElements = 0;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousArray);
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &previousElements);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, vertices);
  glEnableClientState(GL_NORMAL_ARRAY);
  glNormalPointer(GL_FLOAT, 0, m.normals.data());
  if (colours) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, rgb.data());
  } else {
    glDisableClientState(GL_COLOR_ARRAY);
  }

  std::int64_t lastCorner = -1;
  const std::size_t chunk = std::max<std::size_t>(meshChunkTriangles, 1);
  std::vector<GLuint> indices;
  indices.reserve(3 * std::min(triCount, chunk));
  auto inRange = [count](std::int32_t k) { return k >= 0 && k < count; };
  for (std::size_t first = 0, end = 0; first < triCount; first = end) {
    end = first + std::min(chunk, triCount - first);
    indices.clear();
    for (std::size_t t = first; t < end; ++t) {
      const TriangleRecord &r = m.triangles[t];
      // Readers refuse bad corner indices; the node still never reads outside its arrays.
      if (!inRange(r.a) || !inRange(r.b) || !inRange(r.c))
        continue;
      indices.push_back(GLuint(r.a));
      indices.push_back(GLuint(r.b));
      indices.push_back(GLuint(r.c));
    }
    if (indices.empty())
      continue;
    lastCorner = indices.back();
    glDrawElements(GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data());
  }

  glPopClientAttrib();
  glBindBuffer(GL_ARRAY_BUFFER, GLuint(previousArray));
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(previousElements));
  return lastCorner;
}
