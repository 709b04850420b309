#include "scene/GLPointCloud.h"

#include "analysis/ColourScale.h"
#include "analysis/DeviationAnchors.h"
#include "scene/GLArrayStore.h"
#include "scene/ViewState.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>

namespace {

// A mesh corner's deviation colour as every mesh path draws it: in bytes.
void deviationColour(const ColourScale &scale, float deviation) {
  float c[3];
  colourInto(c, scale, deviation);
  glColor3fv(c);
}

constexpr std::int32_t kThinningThreshold = 100000;
// Points of the stand-in shown while the full arrays upload.
constexpr std::int32_t kPreviewPoints = 100000;
// Share of the frame budget an upload slice may take between frames.
constexpr double kUploadShare = 0.6;
// Share of the frame budget a decimated model is sized for.
constexpr double kDecimatedShare = 0.5;

} // namespace

GLPointCloud::GLPointCloud(ViewState *view, std::unique_ptr<SessionModel> model)
    : TransformableNode(view), model_(std::move(model)) {
  if (!model_)
    model_ = std::make_unique<SessionModel>();
}

GLPointCloud::~GLPointCloud() {
  // The worker reads the model: stop it before the model goes.
  decimated_.cancel();
  invalidate();
  mesh_.release();
  points_.release();
}

void GLPointCloud::invalidate() {
  if (triangleList != 0)
    glDeleteLists(GLuint(triangleList), 1);
  triangleList = 0;
  meshDirty_ = true;
}

const BoundingBox *GLPointCloud::boundingBox() { return &model_->GetBoundingBox(); }

void GLPointCloud::transformModel(Placement p) {
  decimated_.cancel();
  model_->TransformModel(p);
  ++modelGeneration_;
  previewValid_ = false;
  invalidate();
}

int GLPointCloud::strideFor(std::int32_t pointCount, double worldUnitsPerPixel, bool interacting,
                            double lastFullFrameMs, double frameBudgetMs) {
  if (pointCount <= kThinningThreshold)
    return 1;
  const double s = 10.0 * worldUnitsPerPixel;
  // Guard the conversions: a huge or non-finite pixel size or time would overflow the int.
  if (!(s < double(pointCount)))
    return pointCount;
  int stride = std::max(1, int(s));
  if (interacting && frameBudgetMs > 0 && lastFullFrameMs > frameBudgetMs) {
    // Frame time grows with the points drawn: thin so that they take half the budget,
    // leaving the rest of the frame its share.
    const double t =
        std::ceil(double(stride) * lastFullFrameMs / (kDecimatedShare * frameBudgetMs));
    stride = t < double(pointCount) ? std::max(stride + 1, int(t)) : int(pointCount);
  }
  return stride;
}

double GLPointCloud::shortestShownNeedle(const ViewState *view) {
  if (!view || !(view->distance > 0))
    return 0;
  // A pixel is smallest in world units at the nearest the model comes to the eye: the
  // camera stands `distance` in front of the box centre.
  const BoundingBox &b = model_->GetBoundingBox();
  const Vec3d lo = b.min(), hi = b.max();
  const double dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
  const double nearest = view->distance - 0.5 * std::sqrt(dx * dx + dy * dy + dz * dz);
  if (!(nearest > 0))
    return 0;
  const double length = view->pixelSize() * nearest / view->distance;
  return std::isfinite(length) ? length : 0;
}

DisplaySettings GLPointCloud::unappliedDisplay() {
  DisplaySettings d;
  d.upperTolerance = d.lowerTolerance = 0;
  d.displayMode = DisplayMode::Points;
  d.pointSize = PointSize::S;
  d.magnification = 0;
  return d;
}

DisplaySettings GLPointCloud::colourSettings() const { return colourPart(display); }

GLPointCloud::PointsPass GLPointCloud::pointsPass() const {
  const SessionModel &m = *model_;
  PointsPass p;
  p.count = std::int32_t(drawablePoints(m));
  p.hasDev = m.deviationMode > 0;
  p.devArray = p.hasDev && m.deviations.size() >= std::size_t(p.count);
  p.colouring =
      !selected_ && p.hasDev &&
      (display.pointFilter == PointFilter::All || display.pointFilter == PointFilter::OutsideOnly);
  return p;
}

bool GLPointCloud::buffersUsable() {
  if (useBuffers_ < 0) {
    const DrawingDriver driver = currentDrawingDriver();
    useBuffers_ = driver.bufferObjects ? 1 : 0;
    softwareDriver_ = driver.software;
  }
  return useBuffers_ == 1 && bufferObjectsAllowed;
}

bool GLPointCloud::storeInBufferObjects() {
  return buffersUsable() && (arrayHome == ArrayHome::BufferObjects ||
                             (arrayHome == ArrayHome::Auto && !softwareDriver_));
}

bool GLPointCloud::uploadPending() const {
  if (display.displayMode == DisplayMode::Triangles)
    return !mesh_.queue().done();
  return !points_.queue().done();
}

double GLPointCloud::uploadProgress() const {
  return display.displayMode == DisplayMode::Triangles ? mesh_.queue().progress()
                                                       : points_.queue().progress();
}

std::size_t GLPointCloud::drawingBytes() const {
  return mesh_.bytes() + points_.bytes() + decimated_.bytes() +
         previewVertices_.capacity() * sizeof(Vec3f) + previewColours_.capacity();
}

bool GLPointCloud::runUploads(UploadQueue &queue, bool live) {
  if (queue.done())
    return true;
  // A large upload in a live window goes slice by slice between frames (continueUploads);
  // small ones are shown in full at once: a stand-in would only flicker.
  if (live && queue.total() >= progressiveMinElements)
    return false;
  const BufferBindingGuard bindings;
  workThisFrame_ = queue.run(0);
  return queue.done();
}

bool GLPointCloud::continueUploads(const ViewState &view) {
  UploadQueue &queue =
      display.displayMode == DisplayMode::Triangles ? mesh_.queue() : points_.queue();
  if (queue.done())
    return false;
  const BufferBindingGuard bindings;
  // The tail of a large upload goes in one piece.
  queue.run(queue.remaining() >= progressiveMinElements ? view.frameBudgetMs * kUploadShare : 0);
  return !queue.done();
}

void GLPointCloud::draw(ViewState *view, int) {
  if (!visible)
    return;
  if (!view)
    view = view_;
  pushPlacementMatrix(placement_);

  const auto count = std::int32_t(drawablePoints(*model_));
  const bool interacting = view && view->interacting;
  const bool decimate = interacting && view->overBudget();
  const bool live = view && view->liveWindow;
  int stride = 1;
  if (view)
    stride = strideFor(count, view->worldUnitsPerPixel(), interacting, view->lastFullFrameMs,
                       view->frameBudgetMs);
  else if (count > kThinningThreshold)
    stride = 10;
  lastStride_ = stride;
  workThisFrame_ = false;
  lastDrawFull_ = true;
  lastDrawDecimated_ = false;

  glDisable(GL_LIGHTING);
  applyColour();
  const ColourScale scale = modelScale(colourSettings());
  if (display.pointFilter == PointFilter::OutsideOnly)
    display.displayMode = DisplayMode::Points;
  if (!model_->triangleNormals.present())
    vertexNormals = true;

  if (display.displayMode == DisplayMode::Points) {
    // A size of 0 is not a valid point size; the points keep the size they had.
    if (display.pointSize != PointSize::Triangles)
      glPointSize(float(code(display.pointSize)));
    minNeedle_ = shortestShownNeedle(view);
    drawPoints(scale, stride, live);
    glPointSize(1);
    lastDrawDecimated_ = lastDrawFull_ && decimate && stride > 1;
  } else if (display.displayMode == DisplayMode::Triangles) {
    drawTriangles(scale, view, decimate, live);
  }

  glMatrixMode(GL_MODELVIEW);
  popPlacementMatrix();
  glEnable(GL_LIGHTING);
  if (lastDrawDecimated_)
    lastDrawFull_ = false;
  if (workThisFrame_)
    lastDrawFull_ = false;
  needsFrame_ = workThisFrame_ || uploadPending();
}

void GLPointCloud::drawPoints(const ColourScale &scale, int stride, bool live) {
  // The mesh's arrays are of no use while points are shown.
  mesh_.release();
  meshDirty_ = true;
  if (pointPath == PointPath::Immediate) {
    points_.release();
    drawPointsImmediate(scale, stride);
    return;
  }
  const SessionModel &m = *model_;
  const PointsPass pass = pointsPass();
  PointBuffers::Settings s;
  s.generation = modelGeneration_;
  s.colourSettings = colourSettings();
  s.colouring = pass.colouring;
  s.hasDev = pass.hasDev;
  s.devArray = pass.devArray;
  s.filter = code(display.pointFilter);
  s.upperTolerance = display.upperTolerance;
  s.magnification = display.magnification;
  s.stride = stride;
  s.bufferObjects = pointPath == PointPath::Arrays && storeInBufferObjects();
  points_.chunk = std::max<std::size_t>(uploadChunk, 1);
  points_.prepare(m, s);
  if (!runUploads(points_.queue(), live)) {
    drawPreview(scale);
    lastDrawFull_ = false;
    return;
  }
  points_.draw(m, stride, minNeedle_);
  lastPointsDrawn_ = points_.pointsDrawn(stride);
  lastNeedlesDrawn_ = points_.needlesDrawn();
  // The current colour is undefined after drawing with a colour array; leave the one the
  // point-by-point path would leave: the colour of the last point visited.
  if (pass.colouring && pass.count > 0) {
    const std::int32_t last = ((pass.count - 1) / stride) * stride;
    const Colour c = scale.colourFor(pass.deviation(m, last));
    glColor3d(c.r, c.g, c.b);
  }
}

void GLPointCloud::drawPointsImmediate(const ColourScale &scale, int stride) {
  const SessionModel &m = *model_;
  const PointsPass pass = pointsPass();
  const DeviationAnchors anchors = DeviationAnchors::of(m);
  const bool displaced = display.magnification > 0 && anchors.present();
  std::size_t points = 0, needles = 0;
  // Needles first, then the points, as the arrays draw them: no needle covers a point.
  for (int round = displaced && pass.hasDev ? 0 : 1; round < 2; ++round) {
    for (std::int32_t i = 0; i < pass.count; i += stride) {
      const float d = pass.deviation(m, i);
      const bool passes =
          PointBuffers::passes(code(display.pointFilter), display.upperTolerance, d);
      if (round == 0 ? !passes : (pass.hasDev && !passes))
        continue;
      if (pass.colouring) {
        const Colour c = scale.colourFor(d);
        glColor3d(c.r, c.g, c.b);
      }
      Vec3f p = m.points[i];
      if (displaced) {
        const Vec3f s = anchors.at(std::size_t(i));
        p = DeviationAnchors::magnifiedPoint(p, s, display.magnification);
        if (round == 0 && !PointBuffers::needleShown(p, s, minNeedle_))
          continue;
        if (round == 0) {
          glBegin(GL_LINES);
          glVertex3f(p.x, p.y, p.z);
          glVertex3f(s.x, s.y, s.z);
          glEnd();
          ++needles;
          continue;
        }
      }
      glBegin(GL_POINTS);
      glVertex3f(p.x, p.y, p.z);
      glEnd();
      ++points;
    }
  }
  // The colour of the last point visited stays current, as before the split.
  if (pass.colouring && pass.count > 0) {
    const Colour c = scale.colourFor(pass.deviation(m, ((pass.count - 1) / stride) * stride));
    glColor3d(c.r, c.g, c.b);
  }
  lastPointsDrawn_ = points;
  lastNeedlesDrawn_ = needles;
}

void GLPointCloud::drawPreview(const ColourScale &scale) {
  const SessionModel &m = *model_;
  const PointsPass pass = pointsPass();
  PreviewKey key;
  key.generation = modelGeneration_;
  key.colours = colourSettings();
  key.stride = std::max(1, int((std::int64_t(pass.count) + kPreviewPoints - 1) / kPreviewPoints));
  key.filter = code(display.pointFilter);
  key.upper = display.upperTolerance;
  key.colouring = pass.colouring;
  key.hasDev = pass.hasDev;
  if (!previewValid_ || !(key == previewKey_)) {
    previewVertices_.clear();
    previewColours_.clear();
    for (std::int32_t i = 0; i < pass.count; i += key.stride) {
      const float d = pass.deviation(m, i);
      if (pass.hasDev &&
          !PointBuffers::passes(code(display.pointFilter), display.upperTolerance, d))
        continue;
      previewVertices_.push_back(m.points[std::size_t(i)]);
      if (pass.colouring) {
        const Colour c = scale.colourFor(d);
        previewColours_.insert(previewColours_.end(),
                               {colourByte(c.r), colourByte(c.g), colourByte(c.b), 255});
      }
    }
    previewKey_ = key;
    previewValid_ = true;
  }
  if (previewVertices_.empty())
    return;
  BufferBindingGuard bindings;
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, previewVertices_.data());
  if (!previewColours_.empty()) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, previewColours_.data());
  } else {
    glDisableClientState(GL_COLOR_ARRAY);
  }
  glDrawArrays(GL_POINTS, 0, GLsizei(previewVertices_.size()));
  glPopClientAttrib();
  applyColour();
}

DecimatedMesh::Key GLPointCloud::decimatedKey() const {
  DecimatedMesh::Key k;
  k.generation = modelGeneration_;
  k.magnification =
      DeviationAnchors::of(*model_).movesMesh(display.magnification) ? display.magnification : 0;
  return k;
}

void GLPointCloud::afterFullFrame(const ViewState &view) {
  const std::size_t triangles = drawableTriangles(*model_);
  if (!view.liveWindow || display.displayMode != DisplayMode::Triangles || triangles == 0 ||
      !view.overBudget())
    return;
  // Frame time grows with the triangles drawn; aim at half the budget to leave room for the
  // rest of the frame.
  const double share = kDecimatedShare * view.frameBudgetMs / view.lastFullFrameMs;
  const auto target = std::size_t(std::max(1000.0, double(triangles) * share));
  if (target >= triangles)
    return;
  decimated_.request(*model_, decimatedKey(), target);
}

void GLPointCloud::leaveMeshState(const ColourScale &scale, std::int64_t lastTriangle) {
  // Normal and colour are undefined after drawing from arrays; leave the ones the
  // corner-by-corner path leaves.
  const SessionModel &m = *model_;
  if (lastTriangle >= 0) {
    const Triangle &r = m.triangles[std::size_t(lastTriangle)];
    const std::size_t k = std::size_t(r.c);
    if (vertexNormals) {
      if (m.normals.size() > k)
        glNormal3f(m.normals[k].x, m.normals[k].y, m.normals[k].z);
    } else {
      const Vec3f n = m.flatNormalOf(std::size_t(lastTriangle));
      glNormal3f(n.x, n.y, n.z);
    }
    if (m.deviationMode > 0 && m.deviations.size() > k) {
      deviationColour(scale, m.deviations[k]);
      return;
    }
  }
  glColor3d(red(), green(), blue());
}

void GLPointCloud::drawTriangles(const ColourScale &scale, ViewState *view, bool decimate,
                                 bool live) {
  points_.release();
  const SessionModel &m = *model_;
  const bool buffers = meshPath == MeshPath::Buffers && !outline && buffersUsable();
  if (!buffers) {
    mesh_.release();
    meshDirty_ = true;
    if (triangleList != 0) {
      glCallList(GLuint(triangleList));
    } else {
      compileTriangles(scale);
      workThisFrame_ = true;
    }
    return;
  }
  if (meshDirty_) {
    MeshBuffers::Settings s;
    s.generation = modelGeneration_;
    s.colours = m.deviationMode > 0 && m.deviations.size() >= drawablePoints(m);
    s.colourSettings = colourSettings();
    s.magnification = display.magnification;
    s.flatNormals = !vertexNormals;
    s.bufferObjects = storeInBufferObjects();
    mesh_.chunk = std::max<std::size_t>(uploadChunk, 1);
    mesh_.prepare(m, s);
    meshDirty_ = false;
  }
  mesh_.finishEvery = finishEveryTriangles;
  const bool full = runUploads(mesh_.queue(), live) && mesh_.ready();
  if (decimate) {
    const DecimatedMesh::Key key = decimatedKey();
    if (!decimated_.readyFor(key) && view)
      afterFullFrame(*view);
    if (decimated_.readyFor(key)) {
      glEnable(GL_LIGHTING);
      decimated_.draw(colourSettings(), m.deviationMode > 0 && m.deviations.present());
      leaveMeshState(scale, mesh_.lastTriangle());
      lastDrawDecimated_ = true;
      return;
    }
    // Until the coarse mesh is there the points stand-in keeps dragging responsive.
    drawPreview(scale);
    lastDrawDecimated_ = true;
    return;
  }
  if (!full) {
    drawPreview(scale);
    lastDrawFull_ = false;
    return;
  }
  glEnable(GL_LIGHTING);
  mesh_.draw(m);
  leaveMeshState(scale, mesh_.lastTriangle());
}

void GLPointCloud::compileTriangles(const ColourScale &scale) {
  const SessionModel &m = *model_;
  const std::size_t pointCount = drawablePoints(m);
  const std::size_t triCount = drawableTriangles(m);
  const bool hasDev = m.deviationMode > 0 && m.deviations.size() >= pointCount;
  const bool haveVertexNormals = m.normals.present() && m.normals.size() >= pointCount;
  const DeviationAnchors anchors = DeviationAnchors::of(m);
  const bool displaced = anchors.movesMesh(display.magnification);
  const float mag = display.magnification;

  const bool fromArrays = meshPath != MeshPath::Immediate && vertexNormals && haveVertexNormals;
  triangleList = int(glGenLists(1));
  // Compiling and then calling the list draws the same as compile-and-execute, but the driver
  // replays its compact compiled form instead of feeding every stored vertex through again.
  glNewList(GLuint(triangleList), fromArrays ? GL_COMPILE : GL_COMPILE_AND_EXECUTE);
  glEnable(GL_LIGHTING);
  std::int64_t lastCorner = -1; // whose colour stays current
  if (fromArrays) {
    const std::int64_t k = issueTrianglesArrays(scale, hasDev, anchors);
    if (k >= 0) {
      // Normal and colour are undefined after drawing from arrays; leave the ones the
      // corner-by-corner path leaves (the outline strips are lit with that normal).
      const Vec3f &n = m.normals[std::size_t(k)];
      glNormal3f(n.x, n.y, n.z);
      lastCorner = k;
    }
  } else {
    glBegin(GL_TRIANGLES);
    for (std::size_t t = 0; t < triCount; ++t) {
      const Triangle &r = m.triangles[t];
      // Readers refuse bad corner indices; the node still never reads outside its arrays.
      if (!cornersWithin(r, pointCount))
        continue;
      if (!vertexNormals) {
        const Vec3f n = m.flatNormalOf(t);
        glNormal3f(n.x, n.y, n.z);
      }
      for (const std::int32_t k : {r.a, r.b, r.c}) {
        if (vertexNormals && haveVertexNormals) {
          const Vec3f &n = m.normals[k];
          glNormal3f(n.x, n.y, n.z);
        }
        if (hasDev) {
          deviationColour(scale, m.deviations[k]);
          lastCorner = k;
        }
        const Vec3f v =
            displaced ? anchors.meshVertex(m.points[k], std::size_t(k), mag) : m.points[k];
        glVertex3f(v.x, v.y, v.z);
      }
    }
    glEnd();
  }
  if (hasDev && lastCorner >= 0)
    deviationColour(scale, m.deviations[std::size_t(lastCorner)]);
  else
    glColor3d(red(), green(), blue());
  if (outline) {
    for (std::size_t t = 0; t < triCount; ++t) {
      const Triangle &r = m.triangles[t];
      if (!cornersWithin(r, pointCount))
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
                                                const DeviationAnchors &anchors) {
  const SessionModel &m = *model_;
  const std::size_t n = drawablePoints(m);
  const std::size_t triCount = drawableTriangles(m);
  const float mag = display.magnification;

  // Per point, once: the displaced vertex (same float formula as corner by corner) and the
  // deviation colour as the floats corner by corner issues. The list keeps its own copy,
  // so these go when the compile ends.
  std::vector<Vec3f> moved;
  const Vec3f *vertices = m.points.data();
  if (anchors.movesMesh(mag)) {
    moved.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      moved[i] = anchors.meshVertex(m.points[i], i, mag);
    vertices = moved.data();
  }
  std::vector<float> rgb;
  if (colours) {
    rgb.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i)
      colourInto(&rgb[3 * i], scale, m.deviations[i]);
  }

  // The list must take the data from client memory, not from whatever buffer is bound.
  const BufferBindingGuard bindings;
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
  const std::size_t chunk = std::max<std::size_t>(uploadChunk, 1);
  std::vector<GLuint> indices;
  indices.reserve(3 * std::min(triCount, chunk));
  for (std::size_t first = 0, end = 0; first < triCount; first = end) {
    end = first + std::min(chunk, triCount - first);
    indices.clear();
    for (std::size_t t = first; t < end; ++t) {
      const Triangle &r = m.triangles[t];
      // Readers refuse bad corner indices; the node still never reads outside its arrays.
      if (!cornersWithin(r, n))
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
  return lastCorner;
}
