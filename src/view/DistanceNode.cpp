#include "view/DistanceNode.h"

#include "scene/ViewState.h"
#include "scene/WindowOverlay.h"
#include "session/SessionModel.h"
#include "view/GLMatrices.h"
#include "view/Picking.h"

#include <GL/gl.h>
#include <algorithm>

DistanceNode::DistanceNode(ViewState *view, const Vec3d &a, const Vec3d &b, const Vec3d &anchor,
                           const std::vector<std::string> &lines)
    : BannerNode(view, (a + b) * 0.5, anchor, lines.empty() ? std::string() : lines[0]), first(a),
      second(b) {
  for (std::size_t i = 1; i < lines.size(); ++i)
    addLine(lines[i]);
  highlight = true;
  separator = false;
  // A tab as tall as six lines would be a wedge; the leader meets the box's edge.
  tab = false;
  setColour(kColour[0], kColour[1], kColour[2]);
  name = "Distance";
}

int DistanceNode::labelChars() const {
  std::size_t longest = shownLine(0).size();
  for (std::size_t i = 1; i < lines_.size(); ++i)
    longest = std::max(longest, lines_[i].size());
  return static_cast<int>(longest) + 1;
}

std::vector<std::string> DistanceNode::labelLines(const Vec3d &a, const Vec3d &b,
                                                  std::optional<double> devA,
                                                  std::optional<double> devB, int places) {
  const Vec3d d = b - a;
  const double len = length(d);
  const auto value = [places](double v) {
    return picking::formatValue(v, places, picking::kPanelBuffer);
  };
  const auto deviation = [&](std::optional<double> v) { return v ? value(*v) : std::string("-"); };
  return {"dX: " + value(d.x),  "dY: " + value(d.y),         "dZ: " + value(d.z),
          "|d|: " + value(len), "Dev 1: " + deviation(devA), "Dev 2: " + deviation(devB)};
}

void DistanceNode::draw(ViewState *view, int pass) {
  if (!visible || !drawsInto(view))
    return;
  // The measured line with a small square on each end, over everything like the label.
  const GLMatrices m = currentMatrices();
  double ax = 0, ay = 0, bx = 0, by = 0;
  if (projectToWindow(first, m, ax, ay) && projectToWindow(second, m, bx, by)) {
    const WindowRect r = view ? view->windowRect() : WindowRect{0, 0, m.viewport[2], m.viewport[3]};
    glDisable(GL_LIGHTING);
    saveClipPlanes(view);
    beginWindowOverlay(r.width, r.height);
    if (isSelected())
      glColor3d(1, 0, 1);
    else
      glColor3d(red(), green(), blue());
    glLineWidth(2);
    glBegin(GL_LINES);
    glVertex2d(ax, ay);
    glVertex2d(bx, by);
    glEnd();
    glLineWidth(1);
    drawSquareOutline(ax, ay, 3);
    drawSquareOutline(bx, by, 3);
    endWindowOverlay();
    restoreClipPlanes(view);
  }
  BannerNode::draw(view, pass);
}

std::unique_ptr<DistanceNode> makeDistance(ViewState *view, const SessionModel &model, int first,
                                           int second, const std::array<double, 16> &modelView,
                                           double unitsPerPixel, int decimalPlaces) {
  if (!picking::isModelPoint(model, first) || !picking::isModelPoint(model, second))
    return nullptr;
  const auto at = [&](int i) {
    const Vec3f &p = model.points[std::size_t(i)];
    return Vec3d(p.x, p.y, p.z);
  };
  const Vec3d a = at(first), b = at(second);
  auto node = std::make_unique<DistanceNode>(
      view, a, b, picking::labelAnchor((a + b) * 0.5, modelView, unitsPerPixel),
      DistanceNode::labelLines(a, b, picking::deviationOf(model, first),
                               picking::deviationOf(model, second), decimalPlaces));
  node->firstIndex = first;
  node->secondIndex = second;
  return node;
}
