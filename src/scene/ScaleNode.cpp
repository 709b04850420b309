#include "scene/ScaleNode.h"

#include "scene/GLTextList.h"
#include "scene/ViewState.h"
#include "scene/WindowOverlay.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

ScaleNode::ScaleNode(ViewState *view, float x_, float y_, int units_)
    : DrawableNode(view), x(x_), y(y_), units(units_) {}

float ScaleNode::shownLength(float s) {
  const float t = s / 10.0f;
  const float p = std::pow(10.0f, std::floor(std::log10(t)));
  const int k = int(t / p);
  return float(k) * p;
}

std::string ScaleNode::label(float length, int units) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%f", double(length));
  std::string s = buf;
  while (s.size() > 1 && s.back() == '0')
    s.pop_back();
  if (s.size() > 1 && s.back() == '.')
    s.pop_back();
  return s + (units == 1 ? " mm" : " inch");
}

void ScaleNode::draw(ViewState *view, int) {
  if (!visible || !view)
    return;
  glDisable(GL_LIGHTING);
  const WindowRect rect = view->windowRect();
  const int W = rect.width, H = rect.height;
  beginWindowOverlay(W, H);
  applyColour();

  // s: the world length the window's width spans at the depth of the model's centre, so the
  // line is as long as that length drawn there.
  float s = float(double(W) * view->pixelSize());
  if (units == 2)
    s = s / 25.4f;
  // A length the logarithm cannot take (0, negative, not finite) shows no scale.
  if (s > 0 && std::isfinite(s)) {
    const float G = shownLength(s);
    const float len = float(W) * G / s;
    const float x1 = float(W - 10);
    const int x2 = int(x1 - len);
    const int y2 = int(y);
    glBegin(GL_LINES);
    glVertex2f(x1, y);
    glVertex2f(float(x2), float(y2));
    glEnd();
    if (view->textList)
      view->textList->drawText(label(G, units), x1 - 44, y2 + 5, 0, 10);
  }

  endWindowOverlay();
}
