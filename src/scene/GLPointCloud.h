#pragma once
#include "analysis/DisplaySettings.h"
#include "scene/DecimatedMesh.h"
#include "scene/DeviationColours.h"
#include "scene/MeshBuffers.h"
#include "scene/PointBuffers.h"
#include "scene/SceneNode.h"

#include <cstdint>
#include <memory>
#include <vector>

class ColourScale;
struct DeviationAnchors;

// The measured surface: the owned SessionModel drawn as coloured points (with optional
// deviation needles) or as a lit triangle mesh. Both live in buffer objects, which a live
// window fills a slice at a time between frames; while the user drags a large model a
// decimated version is drawn (thinned points, or a clustered coarse mesh).
class GLPointCloud : public TransformableNode {
public:
  // Takes ownership of the model.
  GLPointCloud(ViewState *view, std::unique_ptr<SessionModel> model);
  ~GLPointCloud() override;

  void draw(ViewState *view, int pass) override;
  const BoundingBox *boundingBox() override;
  void transform(Placement p) override { transformModel(p); }
  void setOption(int value) override { optionValue_ = value; }
  int option() override { return optionValue_; }
  // Moves the model's points; everything drawn from them is rebuilt on the next draw.
  virtual void transformModel(Placement p);

  // Marks the mesh for an update (display list dropped, changed arrays uploaded again on the
  // next draw); call after changing anything the mesh depends on.
  void invalidate();

  SessionModel *model() const { return model_.get(); }

  // What the model is drawn with: the view's settings as last applied (a points file keeps
  // DisplayMode::Points whatever the view has). Until then: points, no tolerance band.
  DisplaySettings display = unappliedDisplay();
  int triangleList = 0; // compiled mesh of the display-list paths, 0 = none
  bool vertexNormals = true;

  // How the points pass is issued. Arrays (the default) keeps vertex and colour arrays in
  // buffer objects (client memory without them); ClientArrays keeps them in client memory;
  // Immediate issues one glBegin/glEnd per point. All draw the same pixels.
  enum class PointPath { Arrays, ClientArrays, Immediate };
  PointPath pointPath = PointPath::Arrays;

  // How the mesh is drawn. Buffers (the default) draws from buffer objects; a context
  // without them, or an outlined mesh, takes Arrays: a display list compiled from vertex
  // arrays. Immediate compiles the list corner by corner. All draw the same pixels.
  enum class MeshPath { Buffers, Arrays, Immediate };
  MeshPath meshPath = MeshPath::Buffers;
  // Elements (points, triangles) per upload chunk, and triangles per indexed draw.
  std::size_t uploadChunk = std::size_t(1) << 16;
  // Uploads smaller than this many elements always finish within one frame.
  std::size_t progressiveMinElements = std::size_t(1) << 20;
  // Pictures drawn offscreen (snapshots, the 3D PDF's poster) wait for the driver after about
  // this many triangles: a software rasterizer then holds less binned work at a time (the 3D
  // PDF of a 10M-triangle mesh peaked about 25 MiB lower, no slower). 0 (a window) keeps the
  // driver's whole overlap between binning and drawing.
  std::size_t finishEveryTriangles = 0;
  // False acts as a context without buffer objects (the fallbacks, for tests).
  bool bufferObjectsAllowed = true;
  // Where the arrays of the Arrays and Buffers paths live in a context with buffer objects.
  // Auto: in buffer objects when a device driver holds them outside the process, else (a
  // software rasterizer, which would hold them in process memory) in client memory, the
  // model's own points and normals drawn in place; BufferObjects whatever the driver. All
  // draw the same pixels.
  enum class ArrayHome { Auto, BufferObjects };
  ArrayHome arrayHome = ArrayHome::Auto;

  // Stride of the last points pass; how many points and needles it drew.
  int lastStride() const { return lastStride_; }
  std::size_t lastPointsDrawn() const { return lastPointsDrawn_; }
  std::size_t lastNeedlesDrawn() const { return lastNeedlesDrawn_; }
  // How often the points arrays were rebuilt (they are kept while no setting changes).
  int pointArrayBuilds() const { return points_.builds(); }
  // How many mesh arrays were uploaded (each array's complete upload counts once).
  int meshUploads() const { return mesh_.uploads(); }

  // Uploads still to do before the model can be drawn in full, and how far they are (0..1).
  // In a live window a large model's uploads wait for continueUploads, which runs a slice of
  // the frame budget per call (context current); frames meanwhile show a thinned stand-in.
  bool uploadPending() const;
  double uploadProgress() const;
  // Returns whether uploads remain.
  bool continueUploads(const ViewState &view);
  // The last draw left work or drew a stand-in: the view should draw another frame soon.
  bool needsAnotherFrame() const { return needsFrame_; }
  // The last draw showed the whole model without uploading or compiling anything: its
  // frame time measures the model.
  bool lastDrawFull() const { return lastDrawFull_; }
  // The last draw showed a decimated model (thinned points or the coarse mesh).
  bool lastDrawDecimated() const { return lastDrawDecimated_; }
  // After a measured full frame in a live window: starts building the coarse mesh when full
  // frames exceed the view's budget.
  void afterFullFrame(const ViewState &view);
  // Waits for a coarse mesh being built (tests and benchmarks).
  void waitForDecimatedMesh() { decimated_.wait(); }
  std::size_t decimatedTriangles() const { return decimated_.triangles(); }
  // Bytes held for drawing: in the driver (buffer objects) or client memory.
  std::size_t drawingBytes() const;

  // Thinning of the points pass for models above 100000 points: every stride-th point, the
  // stride growing with the pixel size; while the user drags and the last full frame took
  // longer than the budget, thinned further in proportion.
  static int strideFor(std::int32_t pointCount, double worldUnitsPerPixel, bool interacting,
                       double lastFullFrameMs = 0, double frameBudgetMs = 50);
  // The shortest deviation needle drawn: one pixel where the model comes nearest the eye
  // (shorter ones hide under their point); 0, all of them, without a view.
  double shortestShownNeedle(const ViewState *view);

private:
  static DisplaySettings unappliedDisplay();
  // The part of the settings the colour arrays depend on.
  DisplaySettings colourSettings() const;
  // What a points pass reads of the model and the settings, worked out once per pass.
  struct PointsPass {
    std::int32_t count = 0; // points that have all their arrays
    bool hasDev = false;    // deviation colouring and filtering apply
    bool devArray = false;  // the deviations can be read
    bool colouring = false; // colours per point (else the node colour)
    float deviation(const SessionModel &m, std::int32_t i) const {
      return devArray ? m.deviations[std::size_t(i)] : 0.0f;
    }
  };
  PointsPass pointsPass() const;
  bool buffersUsable();
  // Whether the arrays go into buffer objects (see arrayHome).
  bool storeInBufferObjects();
  // Runs the queue unless a live window spreads it; false when the model cannot be drawn in
  // full this frame.
  bool runUploads(UploadQueue &queue, bool live);
  void drawPoints(const ColourScale &scale, int stride, bool live);
  void drawPointsImmediate(const ColourScale &scale, int stride);
  void drawTriangles(const ColourScale &scale, ViewState *view, bool decimate, bool live);
  void leaveMeshState(const ColourScale &scale, std::int64_t lastTriangle);
  void drawPreview(const ColourScale &scale);
  DecimatedMesh::Key decimatedKey() const;
  void compileTriangles(const ColourScale &scale);
  // Issues the mesh's triangles from arrays (inside the list being compiled); returns the
  // index of the last corner drawn, -1 when no triangle was drawn.
  std::int64_t issueTrianglesArrays(const ColourScale &scale, bool colours,
                                    const DeviationAnchors &anchors);

  std::unique_ptr<SessionModel> model_;
  int optionValue_ = 1;
  int lastStride_ = 1;
  double minNeedle_ = 0;
  std::size_t lastPointsDrawn_ = 0, lastNeedlesDrawn_ = 0;
  std::uint64_t modelGeneration_ = 0;
  int useBuffers_ = -1; // whether the context has buffer objects; -1 not yet known
  bool softwareDriver_ = false;

  MeshBuffers mesh_;
  bool meshDirty_ = true;
  PointBuffers points_;
  DecimatedMesh decimated_;

  // A few hundred thousand points shown while the full arrays upload.
  struct PreviewKey {
    std::uint64_t generation = 0;
    DisplaySettings colours;
    int stride = 0, filter = 0;
    double upper = 0;
    bool colouring = false, hasDev = false;
    friend bool operator==(const PreviewKey &, const PreviewKey &) = default;
  };
  PreviewKey previewKey_{};
  bool previewValid_ = false;
  std::vector<Vec3f> previewVertices_;
  std::vector<std::uint8_t> previewColours_;

  bool needsFrame_ = false, lastDrawFull_ = false, lastDrawDecimated_ = false;
  bool workThisFrame_ = false;
};
