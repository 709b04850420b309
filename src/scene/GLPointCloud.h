#pragma once
#include "scene/GLList.h"

#include <cstdint>
#include <memory>
#include <vector>

class ColourScale;

// The measured surface: the owned SessionModel drawn as coloured points (with optional
// deviation needles) or as a lit triangle mesh compiled once into a display list.
class GLPointCloud : public GLRvTransformableList {
public:
  // Takes ownership of the model.
  GLPointCloud(ViewState *view, std::unique_ptr<SessionModel> model);
  ~GLPointCloud() override;

  void draw(ViewState *view, int pass) override;               // slot 5
  const BoundingBox *boundingBox() override;                   // slot 11
  void transform(Placement p) override { transformModel(p); }  // slot 15
  void setOption(int value) override { optionValue_ = value; } // slot 20
  int option() override { return optionValue_; }               // slot 21
  // slot 29: moves the model's points; the compiled mesh and cached arrays are dropped so
  // that the next draw shows the moved model.
  virtual void transformModel(Placement p);

  // Drops the compiled mesh; call after changing anything the mesh depends on.
  void invalidate();

  SessionModel *model() const { return model_.get(); }

  double upperTolerance = 0;
  double lowerTolerance = 0;
  int displayMode = 1; // 1 points, 4 triangles
  int pointFilter = 0; // 0 all, 2 only outside the tolerance; also the scale's layout
  float magnification = 0;
  int triangleList = 0; // compiled mesh, 0 = none
  bool vertexNormals = true;
  bool showGradient = false;
  bool extendedColours = false;
  int bandCount = 15;

  // How the points pass is issued. Arrays (the default) draws the same points in the same
  // colours as Immediate (one glBegin/glEnd per point), far faster: vertex and colour arrays
  // built once per setting change and kept in buffer objects; ClientArrays keeps them in
  // client memory (what a context without buffer objects gets). Immediate and ClientArrays
  // stay for comparison in tests and benchmarks.
  enum class PointPath { Arrays, ClientArrays, Immediate };
  PointPath pointPath = PointPath::Arrays;

  // How the mesh is compiled into its display list. Arrays (the default, used whenever
  // per-vertex normals are drawn) hands the driver vertex, normal and colour arrays in
  // chunks of indexed triangles, with one colour per point instead of one per corner;
  // Immediate issues every corner by itself. Both give the same list; the flat-normal mesh
  // always takes Immediate. Immediate stays for comparison in tests and benchmarks.
  enum class MeshPath { Arrays, Immediate };
  MeshPath meshPath = MeshPath::Arrays;
  // Triangles per indexed draw of the Arrays compile: bounds its index buffer (12 MB).
  std::size_t meshChunkTriangles = 1000000;

  // Stride of the last points pass; how many points and needles it drew.
  int lastStride() const { return lastStride_; }
  std::size_t lastPointsDrawn() const { return lastPointsDrawn_; }
  std::size_t lastNeedlesDrawn() const { return lastNeedlesDrawn_; }
  // How often the points arrays were rebuilt (they are kept while no setting changes).
  int pointArrayBuilds() const { return arrayBuilds_; }

  // Thinning of the points pass for models above 100000 points.
  static int strideFor(std::int32_t pointCount, double worldUnitsPerPixel, bool interacting);

private:
  // Anchor of the magnified deviation display: the nominal points when the file carries
  // them; otherwise each point moved back along its normal by its deviation (the nominal
  // position the measurement implies); none without normals or deviations.
  const Vec3f *partner();
  bool filterPasses(float d) const;
  // What a points pass reads of the model and the settings, worked out once per pass.
  struct PointsPass {
    std::int32_t count = 0; // points that have all their arrays
    bool hasDev = false;    // deviation colouring and filtering apply
    bool devArray = false;  // the deviations can be read
    bool colouring = false; // colours per point (else the node colour)
    const Vec3f *partner = nullptr;
    float magnification = 0;
    float deviation(const SessionModel &m, std::int32_t i) const {
      return devArray ? m.deviations[std::size_t(i)] : 0.0f;
    }
  };
  PointsPass pointsPass();
  void drawPointsImmediate(const ColourScale &scale, int stride);
  void drawPointsArrays(const ColourScale &scale, int stride);
  void compileTriangles(const ColourScale &scale);
  // Issues the mesh's triangles from arrays (inside the list being compiled); returns the
  // index of the last corner drawn, -1 when no triangle was drawn.
  std::int64_t issueTrianglesArrays(const ColourScale &scale, bool colours,
                                    const Vec3f *partnerPts);

  // Everything the cached points arrays depend on.
  struct ArrayKey {
    float upper = 0, lower = 0, magnification = 0;
    int bands = 0, filter = 0, stride = 0, devMode = 0;
    bool gradient = false, extended = false, selected = false, buffers = false;
    std::int32_t pointCount = 0;
    std::uint64_t modelGeneration = 0;
    friend bool operator==(const ArrayKey &, const ArrayKey &) = default;
  };
  ArrayKey currentKey(int stride) const;
  void uploadArrays(std::size_t pointsToDraw, int stride);
  void releaseArrays();

  std::unique_ptr<SessionModel> model_;
  int optionValue_ = 1;
  int lastStride_ = 1;
  std::size_t lastPointsDrawn_ = 0, lastNeedlesDrawn_ = 0;

  bool arraysValid_ = false;
  ArrayKey arrayKey_;
  int arrayBuilds_ = 0;
  std::uint64_t modelGeneration_ = 0;
  std::vector<Vec3f> derivedNominal_; // anchors derived from normals and deviations
  std::uint64_t derivedGeneration_ = ~std::uint64_t(0);
  bool pointsFromModel_ = false;           // vertices read straight from the model with a stride
  std::vector<Vec3f> pointVertices_;       // otherwise the gathered or displaced points
  std::vector<std::uint8_t> pointColours_; // RGBA per drawn point; empty: node colour
  std::vector<Vec3f> needleVertices_;      // two per needle
  std::vector<std::uint8_t> needleColours_;
  void issuePoints(int stride);
  // Buffer objects holding the arrays (0: none); the model's points are uploaded once per
  // model generation and read with the stride.
  int useBuffers_ = -1; // whether the context has buffer objects; -1 not yet known
  bool buffersInUse_ = false;
  unsigned modelBuffer_ = 0, pointBuffer_ = 0, pointColourBuffer_ = 0;
  unsigned needleBuffer_ = 0, needleColourBuffer_ = 0;
  std::uint64_t modelBufferGeneration_ = ~std::uint64_t(0);
  bool hasPointColours_ = false, hasNeedleColours_ = false;
  std::size_t listPoints_ = 0, listNeedles_ = 0;
};
