#pragma once
#include "geometry/Placement.h"
#include "geometry/Vec3d.h"
#include "session/SessionModel.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class ViewState;

// Base of everything drawable: owned display lists with their pick names, a selected flag
// and the link of the intrusive scene list.
class SceneNode {
public:
  SceneNode() = default;
  virtual ~SceneNode();
  virtual void setSelected(bool s) { selected_ = s; }
  virtual void draw(ViewState *view, int pass);

  bool isSelected() const { return selected_; }

  // Display lists owned by the node; the destructor deletes them.
  std::uint32_t listCount = 0;
  std::vector<int> listIds;
  std::uint32_t firstList = 0; // 0: the node owns no lists
  std::vector<int> pickNames;
  bool separateLists = true;

  SceneNode(const SceneNode &) = delete;
  SceneNode &operator=(const SceneNode &) = delete;

protected:
  bool selected_ = false;

private:
  friend class NodeList;
  SceneNode *next_ = nullptr;
};

// A node with the full interface: owning view, base colour, visibility, width and a spare
// factor. The colour is stored red, blue, green and handed to OpenGL as red, green, blue.
class DrawableNode : public SceneNode {
public:
  explicit DrawableNode(ViewState *view) : view_(view) {}
  ~DrawableNode() override = default;

  virtual bool hitTest(int /*x*/, int /*y*/) { return false; }
  virtual bool hitTest2(int, int) { return false; }
  virtual bool moveBy(Vec3d /*offset*/) { return false; }
  virtual bool moveTo(Vec3d /*position*/) { return false; }
  virtual const BoundingBox *boundingBox() { return nullptr; }
  virtual void setFactor(double f) { factor_ = f; }
  virtual double factor() { return factor_; }
  virtual void transform(Placement) {}
  virtual bool isTransparent() { return false; }
  virtual void setOption(int) {}
  virtual int option() { return 1; }
  virtual void setPlacement(Placement) {}

  // A hidden node draws nothing, whatever lists it holds.
  void draw(ViewState *view, int pass) override {
    if (visible)
      SceneNode::draw(view, pass);
  }

  ViewState *view() const { return view_; }

  // Colour in displayed terms; stored red, blue, green.
  void setColour(double r, double g, double b) { colour_ = {r, b, g}; }
  double red() const { return colour_[0]; }
  double green() const { return colour_[2]; }
  double blue() const { return colour_[1]; }
  // Stored order, for callers that need the raw storage.
  const std::array<double, 3> &storedColour() const { return colour_; }
  void setStoredColour(const std::array<double, 3> &c) { colour_ = c; }
  // glColor3d(red, green, blue).
  void applyColour() const;

  bool visible = true;
  int width = 1;
  std::string firstText;
  std::string secondText;
  std::string name;

  // Clip planes 1 and 2 off around drawing that must not be clipped (text, overlays).
  void saveClipPlanes(ViewState *view);
  void restoreClipPlanes(ViewState *view);

protected:
  // Whether this node draws into the given view (nodes with no view draw everywhere).
  bool drawsInto(ViewState *view) const { return view_ == nullptr || view_ == view; }

  ViewState *view_;
  std::array<double, 3> colour_{0, 0, 0};
  double factor_ = 1.0;
};

// Common base of placeable bodies: outline flag and a rigid placement with a scale factor.
class BodyNode : public DrawableNode {
public:
  explicit BodyNode(ViewState *view) : DrawableNode(view) {}
  void setPlacement(Placement p) override { placement_ = p; }

  bool outline = false;
  double scaleFactor = 1.0;

protected:
  // glPushMatrix and multiply by the placement; pair with popPlacementMatrix.
  void pushPlacementMatrix(const Placement &p) const;
  static void popPlacementMatrix();

  Placement placement_;
};

// A body whose placement can be read back.
class TransformableNode : public BodyNode {
public:
  explicit TransformableNode(ViewState *view) : BodyNode(view) {}
  virtual Placement placement() { return placement_; }
};
