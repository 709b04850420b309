#include "scene/LegendNode.h"

#include "analysis/ColourScale.h"
#include "scene/GLTextList.h"
#include "scene/ViewState.h"
#include "scene/WindowOverlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

namespace {

void colour4(const Colour &c) { glColor4f(float(c.r), float(c.g), float(c.b), 1.0f); }

void quad(int x0, int y0, int x1, int y1) {
  glBegin(GL_POLYGON);
  glVertex2i(x0, y0);
  glVertex2i(x1, y0);
  glVertex2i(x1, y1);
  glVertex2i(x0, y1);
  glEnd();
}

} // namespace

LegendNode::LegendNode(ViewState *view, float upper_, float lower_, int barCount_, int layout_,
                       bool gradient_)
    : DrawableNode(view), barCount(barCount_), upper(upper_), lower(lower_), layout(layout_),
      gradient(gradient_) {}

ColourScale LegendNode::scale(bool withGradient) const {
  DisplaySettings d;
  d.upperTolerance = upper;
  d.lowerTolerance = lower;
  d.colourBars = barCount;
  d.gradient = withGradient;
  d.extendedColours = extended;
  if (!ColourScale::isOutsideLayout(layout))
    return legendScale(d);
  d.pointFilter = PointFilter::OutsideOnly;
  return modelScale(d);
}

int LegendNode::effectiveBarCount() const {
  const ColourScale plain = scale(false);
  return ColourScale::isOutsideLayout(layout) ? plain.bandCount() : plain.bandCount() - 2;
}

void LegendNode::drawLegend(ViewState *view, int) {
  if (!visible || !view || !drawsInto(view))
    return;
  glDisable(GL_LIGHTING);
  saveClipPlanes(view);

  const WindowRect rect = view->windowRect();
  const int W = rect.width, H = rect.height;
  beginWindowOverlay(W, H);

  const ColourScale scale = this->scale(gradient);
  // The scale clamps the count (at least one band, at most its maximum); bars follow it so
  // that the bar height never divides by zero and bar i always has its band.
  const bool outside = ColourScale::isOutsideLayout(layout);
  const int n = effectiveBarCount();
  const int firstBand = outside ? 0 : 1;

  const int left = W - 30, right = W - 20;
  const int y0 = extended ? 50 : 30;
  const int h = extended ? (H - 80) / n : (H - 50) / n;

  glShadeModel(GL_SMOOTH);
  glDisable(GL_CULL_FACE);

  if (extended) {
    colour4(gradient ? scale.colourFor(lower - 1) : scale.bandColour(0));
    quad(left, 30, right, 50);
    const int yTop = 50 + n * h;
    // The above-range box always shows the extended "above" colour.
    colour4(Colour{0.6, 0, 0.3});
    quad(left, yTop + 1, right, yTop + 20);
  }

  float v = lower;
  const float s = (upper - lower) / float(n);
  for (int i = 0; i < n; ++i) {
    const int y = y0 + i * h;
    colour4(gradient ? scale.colourFor(v) : scale.bandColour(i + firstBand));
    glBegin(GL_POLYGON);
    glVertex2i(left, y + 1);
    glVertex2i(right, y + 1);
    v = v + s;
    if (gradient)
      colour4(scale.colourFor(v));
    glVertex2i(right, y + h);
    glVertex2i(left, y + h);
    glEnd();
  }

  applyColour();
  if (view->textList) {
    for (int i = 0; i <= n; ++i) {
      float value = float(i) * s + lower;
      if (units == 2)
        value = float(value / 25.4);
      char text[64];
      std::snprintf(text, sizeof text, "%4.3f", double(value));
      int y = y0 + i * h - 5;
      if (i == 0)
        y = y0;
      else if (i == n)
        y = y0 + n * h - 10;
      view->textList->drawText(text, W - 70, y, 0, 10);
    }
  }

  if (view->textList && !entryShares.empty())
    drawShares(view, W, n, y0, h, static_cast<int>(scale.entries().size()));

  glDepthFunc(GL_LEQUAL);
  endWindowOverlay();
  restoreClipPlanes(view);
}

std::string LegendNode::percentText(double fraction) {
  char text[32];
  if (fraction > 0 && fraction < 0.0005)
    return "<0.1%";
  if (fraction > 0.9995 && fraction < 1)
    return ">99.9%";
  std::snprintf(text, sizeof text, "%.1f%%", fraction * 100.0);
  return text;
}

void LegendNode::drawShares(ViewState *view, int W, int n, int y0, int h, int entries) const {
  const bool outside = ColourScale::isOutsideLayout(layout);
  if (static_cast<int>(entryShares.size()) != entries)
    return;
  // A column left of the labels; each text centred on its bar (glyphs are about 10 pixels
  // high). Bars too low for a line of text get none.
  const int x = W - 120;
  const auto write = [&](int entry, int y) {
    view->textList->drawText(percentText(entryShares[static_cast<std::size_t>(entry)]), x, y, 0,
                             10);
  };
  const int firstBand = outside ? 0 : 1;
  if (h >= 12)
    for (int i = 0; i < n; ++i)
      write(i + firstBand, y0 + i * h + (h - 10) / 2 + 1);
  if (outside)
    return;
  // Below and above the band: beside their boxes, or without boxes just beyond the bars.
  const int yTop = y0 + n * h;
  const int yBelow = extended ? 35 : y0 - 18, yAbove = extended ? yTop + 6 : yTop + 5;
  write(0, yBelow);
  write(entries - 1, yAbove);
  // Which side each of the two is: the tolerance it lies beyond, left of the share.
  const int places = view->display.decimalPlaces;
  view->textList->drawText(boundText(false, lower, places), x - 75, yBelow, 0, 10);
  view->textList->drawText(boundText(true, upper, places), x - 75, yAbove, 0, 10);
}

std::string LegendNode::boundText(bool above, double tolerance, int places) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %+.*f", above ? ">" : "<",
                std::clamp(places, 0, DisplayLimits::kMaxDecimalPlaces), tolerance);
  return text;
}
