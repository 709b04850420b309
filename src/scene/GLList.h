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
// and the link of the intrusive scene list. Virtual operations keep a fixed order; the
// unnamed ones are part of the interface and keep their defaults.
class GLList {
public:
  GLList() = default;
  virtual ~GLList();                                  // slot 0
  virtual void reserved1(ViewState *, int) {}         // slot 1
  virtual void reserved2() {}                         // slot 2
  virtual void reserved3() {}                         // slot 3
  virtual void setSelected(bool s) { selected_ = s; } // slot 4
  virtual void draw(ViewState *view, int pass);       // slot 5

  bool isSelected() const { return selected_; }

  // Display lists owned by the node; the destructor deletes them.
  std::uint32_t listCount = 0;
  std::vector<int> listIds;
  std::uint32_t firstList = 0; // 0: the node owns no lists
  std::vector<int> pickNames;
  bool separateLists = true;

  GLList(const GLList &) = delete;
  GLList &operator=(const GLList &) = delete;

protected:
  bool selected_ = false;

private:
  friend class GLSceneList;
  GLList *next_ = nullptr;
};

// A node with the full interface: owning view, base colour, visibility, width and a spare
// factor. The colour is stored red, blue, green and handed to OpenGL as red, green, blue.
class GLRvList : public GLList {
public:
  explicit GLRvList(ViewState *view) : view_(view) {}
  ~GLRvList() override = default;

  virtual bool hitTest(int /*x*/, int /*y*/) { return false; } // slot 6
  virtual bool hitTest2(int, int) { return false; }            // slot 7
  virtual bool reserved8(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
    return false;
  }                                                            // slot 8
  virtual bool moveBy(Vec3d /*offset*/) { return false; }      // slot 9
  virtual bool moveTo(Vec3d /*position*/) { return false; }    // slot 10
  virtual const BoundingBox *boundingBox() { return nullptr; } // slot 11
  virtual void *reserved12() { return nullptr; }               // slot 12
  virtual void setFactor(double f) { factor_ = f; }            // slot 13
  virtual double factor() { return factor_; }                  // slot 14
  virtual void transform(Placement) {}                         // slot 15
  virtual void reserved16(ViewState *, int) {}                 // slot 16
  virtual bool isTransparent() { return false; }               // slot 17
  virtual bool reserved18() { return false; }                  // slot 18
  virtual void reserved19(std::uint32_t) {}                    // slot 19
  virtual void setOption(int) {}                               // slot 20
  virtual int option() { return 1; }                           // slot 21
  virtual void setPlacement(Placement) {}                      // slot 22
  virtual void reserved23(std::uint32_t) {}                    // slot 23
  virtual void *reserved24() { return nullptr; }               // slot 24
  virtual bool reserved25() { return false; }                  // slot 25
  virtual bool reserved26() { return false; }                  // slot 26
  virtual bool reserved27() { return false; }                  // slot 27

  // A hidden node draws nothing, whatever lists it holds.
  void draw(ViewState *view, int pass) override {
    if (visible)
      GLList::draw(view, pass);
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
class GLRvBodyList : public GLRvList {
public:
  explicit GLRvBodyList(ViewState *view) : GLRvList(view) {}
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
class GLRvTransformableList : public GLRvBodyList {
public:
  explicit GLRvTransformableList(ViewState *view) : GLRvBodyList(view) {}
  virtual Placement placement() { return placement_; } // slot 28
};
