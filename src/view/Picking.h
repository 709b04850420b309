#pragma once
#include "analysis/ColourScale.h"
#include "geometry/Vec3d.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BannerNode;
class NodeList;
class SessionModel;
class ViewState;

// Point picking for hover and banners, the printed-value format of labels and panels, and
// the two information panels. GL is touched only by the drawing functions.
class BackgroundPointIndex;
class NearestPointIndex;

namespace picking {

// Printed buffers: banner texts 20 characters, panel texts 60.
constexpr std::size_t kBannerBuffer = 20;
constexpr std::size_t kPanelBuffer = 60;
// A click pins a banner this close to a point (L1, model units)...
constexpr double kBannerPickLimit = 0.5;
// ... or when the point shows within this many device pixels of the click; hover snaps to
// points this close on screen too.
constexpr int kSnapPixels = 8;

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

struct NearestHit {
  int index = -1;      // -1: the model has no points
  double distance = 0; // L1
};
// Models up to this many points are indexed at once on the calling thread (a few
// milliseconds); larger ones on a worker thread.
constexpr std::size_t kInlineIndexLimit = 100000;
// While a model's index is being built, hover answers by scanning the points only up to this
// many points (a millisecond or two per mouse move); larger models show no hover until then.
constexpr std::size_t kScanHoverLimit = 1000000;

// The nearest-point index of a model, held by the model and shared by hover, banner clicks,
// section colouring and the callouts so that a large model is indexed once; started on first
// use and kept until the model is forgotten or released. Never waits: ask it ready(), progress() or
// wait().
BackgroundPointIndex &sharedLookup(const SessionModel &model);
// The shared index, waiting for its build when needed.
const NearestPointIndex &sharedIndex(const SessionModel &model);
// The shared index when it is ready, else null (its build is started). Never waits.
const NearestPointIndex *readyIndex(const SessionModel &model);
// Exact L1 nearest model point; the lowest index wins ties. Waits for the shared index.
NearestHit nearestPoint(const SessionModel &model, const Vec3d &world);
// Drops the shared index of a model, stopping a build under way. Call it before a model is
// destroyed or changed: the index reads the model's points.
void forgetModel(const SessionModel *model);

// Hovered point for a cursor whose pixel shows the model at `world`: the nearest point, no
// limit; -1 only without points.
int hoverIndex(const SessionModel *model, const Vec3d &world);
// Point a click on the model at `world` pins a banner to, -1 when none is within the pick
// limit.
int bannerIndex(const SessionModel *model, const Vec3d &world);

// What picking reads of a drawn frame: its matrices, the depth values of a window of pixels
// around the cursor, and the cursor, all in GL window coordinates (device pixels, y up).
struct FrameSample {
  std::array<double, 16> modelView{}, projection{}; // column-major
  std::array<int, 4> viewport{};
  int x0 = 0, y0 = 0, width = 0, height = 0; // the depth window
  std::vector<float> depth;                  // row by row from (x0, y0); 1 = nothing drawn
  double cursorX = 0, cursorY = 0;           // the centre of the cursor's pixel
};
// World point shown at the cursor's pixel; none when the pixel shows only the background.
std::optional<Vec3d> worldAtCursor(const FrameSample &sample);
// The model point whose screen position lies closest to the cursor, within kSnapPixels:
// each drawn pixel of the window is unprojected and its nearest model point (exact, L1)
// projected back. Lowest index on equal distances; -1 for none. Waits for the shared index.
int snapIndex(const SessionModel &model, const FrameSample &sample);
// Hover and click share one rule, so a click where the hover panel shows a point pins it:
// the nearest point to what the cursor's pixel shows when it lies within kBannerPickLimit
// of it or within kSnapPixels of the cursor on screen, else the on-screen snap (within
// kSnapPixels). Neither waits: until the model's index is ready the pixel's point comes
// from a scan and there is no snap.
// Hover: -1 for none, also while only the index could tell or the model is larger than
// kScanHoverLimit points without its index.
int hoverPick(const SessionModel *model, const FrameSample &sample);
// Click: none (nullopt) when only the unfinished index can tell; ask again with the same
// sample once it is ready.
std::optional<int> bannerPick(const SessionModel *model, const FrameSample &sample);

// Whether `index` names a point of the model: within both its point count and its points.
bool isModelPoint(const SessionModel &model, int index);

// The deviation of point `index` when the file has deviations (a point text file has none).
std::optional<double> deviationOf(const SessionModel &model, int index);

// World anchor of a new label: about 150 pixels right of and above the point, from the
// screen axes of the model-view matrix (column-major) and the world size of a pixel.
Vec3d labelAnchor(const Vec3d &point, const std::array<double, 16> &modelView,
                  double unitsPerPixel);
// Screen right and up in world coordinates (normalised; a zero vector stays zero).
Vec3d screenRight(const std::array<double, 16> &modelView);
Vec3d screenUp(const std::array<double, 16> &modelView);
// Labels pinned together (the worst-point callouts) would pile up where their points lie
// close. The screen is cut into cells one label high and wide (plus a margin); from the top
// down, each label snaps to its cell, or to the first free cell below it in its column.
// Finishes in at most n steps per label and no two labels overlap. pixelSize: the world size
// of a screen pixel at the centre of the view.
void spreadLabels(const std::vector<BannerNode *> &banners, const std::array<double, 16> &modelView,
                  double pixelSize);
// The same on the window's pixels through the frame's matrices, so labels at different
// depths of a perspective view stay apart too.
void spreadLabelsOnScreen(const std::vector<BannerNode *> &banners,
                          const std::array<double, 16> &modelView,
                          const std::array<double, 16> &projection,
                          const std::array<int, 4> &viewport);

// A new banner for model point `index` (text, colour, anchor, look), not yet in a list.
std::unique_ptr<BannerNode> makeBanner(ViewState *view, const SessionModel &model, int index,
                                       const std::array<double, 16> &modelView,
                                       double unitsPerPixel, int decimalPlaces,
                                       const ColourScale &scale);
// The whole click: deselects every banner, then pins one to point `index` (the picked
// point, -1 for none). Returns the new banner (owned by the list) or null.
BannerNode *createBanner(ViewState *view, NodeList &banners, const SessionModel *model, int index,
                         const std::array<double, 16> &modelView, int decimalPlaces,
                         const ColourScale &scale);

// Panel texts: "X:  ", "Y:  ", "Z:  ", "Dev: " with the hovered point's values; "Dev: -"
// without a deviation.
std::array<std::string, 4> hoverPanelTexts(double x, double y, double z,
                                           std::optional<double> deviation, int decimalPlaces);
// Panel texts of a selected banner: its point and its label's first line.
std::array<std::string, 4> bannerPanelTexts(const BannerNode &banner, int decimalPlaces);
// The only selected banner of the list, or null when none or several are selected.
const BannerNode *singleSelectedBanner(const NodeList &banners);

// Four texts 20 pixels apart from (x, height - 40) downwards in window pixels, in the given
// colour, with the view's bitmap font. Leaves face culling off.
void drawPanel(ViewState &view, const std::array<std::string, 4> &texts, int x,
               const Colour &colour);

} // namespace picking
