#pragma once
#include "view/Picking.h"

#include <optional>
#include <string>

class BannerNode;
class SceneNode;
class ViewScene;
class ViewState;
class ModelView;

// Picking and panel drawing the view calls; implemented with the banner and comment nodes.

// Index of the model point under the cursor (device pixels, y down), or the one shown within
// a few pixels of it; -1 for none.
int nearestPointUnderCursor(ModelView &view, ViewScene &scene, int x, int y);
// Pins a banner to the model point under a left click (device pixels, y down), if one is
// close enough in the model or on screen; returns it (owned by the banner list) or null.
// why (when given) tells a click that pins nothing why, for the status bar.
BannerNode *createBannerAtClick(ModelView &view, ViewScene &scene, int x, int y,
                                std::string *why = nullptr);
// The same for a click already sampled (its matrices and depth window); a click that only
// the unfinished nearest-point index can place is handed to the view's PointLookup (null).
BannerNode *placeBannerAt(ModelView &view, ViewScene &scene, const picking::FrameSample &sample,
                          std::string *why = nullptr);
// Whether a comment node is hit at window pixel (x, y), honouring its own angle.
bool hitComment(SceneNode *comment, int x, int y, ViewState &view);
// Panel with the first banner of the banner list.
void drawSingleBannerPanel(ViewState &view, ViewScene &scene);
// Panel with the hovered point.
void drawHoverPanel(ViewState &view, ViewScene &scene, double x, double y, double z,
                    std::optional<double> deviation, int index);
