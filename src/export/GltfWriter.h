#pragma once
#include "analysis/ColourScale.h"
#include "analysis/DisplaySettings.h"
#include "io/ExportResult.h"
#include "records/CalloutTable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SessionModel;

// What a shared inspection (glTF binary or web page) carries besides the model and its scale.
struct ShareScene {
  std::string title;                // the file name shown in the page's title line
  std::vector<CalloutRow> callouts; // banners and distances of the record, as the table lists them
  bool points = false;              // points instead of triangles even when the model has them
  std::size_t maxTriangles = 0;     // above this many triangles a reduced mesh; 0: no limit
};

// The scene of a model shown with `shown` (the settings its colours come from): titled with the
// file's name, points when those settings draw points, the banners and distances judged by the
// tolerances the colours take. The command line and the window both build it here, so a file
// exported either way carries the same callouts.
ShareScene shareSceneFor(const SessionModel &model, const DisplaySettings &shown,
                         const std::vector<BannerRecord> &banners,
                         const std::vector<DistanceRecord> &distances);

// The web page's triangle budget when none is given.
constexpr std::size_t kDefaultPageTriangles = 2000000;

// A display colour (as the window shows it, sRGB) as the linear value glTF vertex colours hold:
// a viewer encodes its output back to sRGB, so the colour on screen is the legend's colour.
float linearFromDisplay(double component);

// Writes the model as one binary glTF 2.0 file: positions as stored (mm), unit normals, COLOR_0
// from the scale, the deviation as the attribute _DEVIATION, triangles (POINTS without them or
// with scene.points), the legend and callouts in the root's extras. Fails, writing nothing,
// for a model without points or whose triangles name missing points.
ExportResult formatGlb(const SessionModel &model, const ColourScale &scale, const ShareScene &scene,
                       const ByteSink &sink);

// The whole file in memory (for tests and small models); empty when refused.
std::vector<char> glbBytes(const SessionModel &model, const ColourScale &scale,
                           const ShareScene &scene);

// Writes the glTF binary through a temporary that replaces target only when complete.
ExportResult writeGltfFile(const std::string &target, const SessionModel &model,
                           const ColourScale &scale, const ShareScene &scene);
