#pragma once
#include "analysis/ColourScale.h"
#include "geometry/Vec3d.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>

class GLBanner3DList;
class GLSceneList;
class SessionModel;
class ViewState;

// Point picking for hover and banners, the printed-value format of labels and panels, and
// the two information panels. GL is touched only by the drawing functions.
class NearestPointIndex;

namespace picking {

// Printed buffers: banner texts 20 characters, panel texts 60.
constexpr std::size_t kBannerBuffer = 20;
constexpr std::size_t kPanelBuffer = 60;
// A click pins a banner only this close to a point (L1, model units).
constexpr double kBannerPickLimit = 0.5;

// The value as "%f" prints it in the C locale (six decimals), whatever the process locale.
std::string printFixed(double value);
// Decimal places printed values can be shown with.
constexpr int kMaxDecimalPlaces = 6;
// Rounds the number in text (a label may come first) to `places` digits behind its first
// '.', half away from zero on the printed digits; with 0 places the point goes too, and a
// value that rounds to zero loses its minus sign. Places count within 0..kMaxDecimalPlaces.
// Nothing changes when the text has no point, when it has no more digits than kept, or when
// the cut lies beyond a buffer of bufferSize characters.
std::string cutAfterDecimals(const std::string &text, int places, std::size_t bufferSize);
// printFixed then cutAfterDecimals: rounded to the decimal places.
std::string formatValue(double value, int places, std::size_t bufferSize = kBannerBuffer);

// Unprojected points whose y lies outside (-1000, 10000) missed the model (the background
// unprojects far away, a failed unprojection gives -1000).
bool isPickable(const Vec3d &world);

struct NearestHit {
  int index = -1;      // -1: the model has no points
  double distance = 0; // L1
};
// Exact L1 nearest model point; the lowest index wins ties. Uses an index built once per
// model and kept until the model changes.
NearestHit nearestPoint(const SessionModel &model, const Vec3d &world);
// The exact nearest-point index of a model, built on first use and shared by hover, banner
// clicks and section colouring, so a large model is indexed once.
const NearestPointIndex &sharedIndex(const SessionModel &model);
// Drops the cached index of a model (call before a model is destroyed or changed).
void forgetModel(const SessionModel *model);

// Hovered point for an unprojected cursor position, -1 for none.
int hoverIndex(const SessionModel *model, const Vec3d &world);
// Point a click pins a banner to, -1 when the click is not within the pick limit.
int bannerIndex(const SessionModel *model, const Vec3d &world);

// World anchor of a new label: about 150 pixels right of and above the point, from the
// screen axes of the model-view matrix (column-major) and the world size of a pixel.
Vec3d labelAnchor(const Vec3d &point, const std::array<double, 16> &modelView,
                  double unitsPerPixel);
// Screen right and up in world coordinates (normalised; a zero vector stays zero).
Vec3d screenRight(const std::array<double, 16> &modelView);
Vec3d screenUp(const std::array<double, 16> &modelView);

// A new banner for model point `index` (text, colour, anchor, look), not yet in a list.
std::unique_ptr<GLBanner3DList> makeBanner(ViewState *view, const SessionModel &model, int index,
                                           const std::array<double, 16> &modelView,
                                           double unitsPerPixel, int decimalPlaces,
                                           const ColourScale &scale);
// The whole click: deselects every banner, then pins one when the unprojected click is
// close enough to a point. Returns the new banner (owned by the list) or null.
GLBanner3DList *createBanner(ViewState *view, GLSceneList &banners, const SessionModel *model,
                             const Vec3d &world, const std::array<double, 16> &modelView,
                             int decimalPlaces, const ColourScale &scale);

// Panel texts: "X:  ", "Y:  ", "Z:  ", "Dev: " with the hovered point's values.
std::array<std::string, 4> hoverPanelTexts(double x, double y, double z, double deviation,
                                           int decimalPlaces);
// Panel texts of a selected banner: its point and its label's first line.
std::array<std::string, 4> bannerPanelTexts(const GLBanner3DList &banner, int decimalPlaces);
// The only selected banner of the list, or null when none or several are selected.
const GLBanner3DList *singleSelectedBanner(const GLSceneList &banners);

// Four texts 20 pixels apart from (x, height - 40) downwards in window pixels, in the given
// colour, with the view's bitmap font. Leaves face culling off.
void drawPanel(ViewState &view, const std::array<std::string, 4> &texts, int x,
               const Colour &colour);

} // namespace picking
