#pragma once
#include "view/BannerNode.h"

#include <optional>
#include <string>
#include <vector>

class SessionModel;

// A measured distance between two model points: a line joins the points and a label box,
// hung from the midpoint like a banner's, shows dX, dY, dZ, |d| and both deviations. It is
// selected, dragged (the box) and deleted like a banner.
class DistanceNode : public BannerNode {
public:
  // The label hangs at labelAnchor; its lines are labelLines(...) of the two points.
  DistanceNode(ViewState *view, const Vec3d &first, const Vec3d &second, const Vec3d &labelAnchor,
               const std::vector<std::string> &lines);
  ~DistanceNode() override = default;

  void draw(ViewState *view, int pass) override;
  // Every line sizes the box, not only the first two.
  int labelChars() const override;

  // "dX: ", "dY: ", "dZ: ", "|d|: " of second - first (double precision) and "Dev 1: ",
  // "Dev 2: " of the two points ("-" without a deviation), at the decimal places.
  static std::vector<std::string> labelLines(const Vec3d &first, const Vec3d &second,
                                             std::optional<double> firstDeviation,
                                             std::optional<double> secondDeviation,
                                             int decimalPlaces);
  // The frame colour of a distance (the banners' is their deviation's colour).
  static constexpr double kColour[3] = {0.1, 0.1, 0.1};

  Vec3d first, second;
  int firstIndex = -1, secondIndex = -1; // model point indices; -1 when not from a model
};

// A distance between model points first and second, its box about 150 pixels right of and
// above their midpoint (as a new banner's), text at the decimal places; null when an index
// is outside the model.
std::unique_ptr<DistanceNode> makeDistance(ViewState *view, const SessionModel &model, int first,
                                           int second, const std::array<double, 16> &modelView,
                                           double unitsPerPixel, int decimalPlaces);
