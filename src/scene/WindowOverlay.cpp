#include "scene/WindowOverlay.h"

#include <GL/gl.h>

void beginWindowOverlay(int width, int height, double nearZ, double farZ) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width, 0, height, nearZ, farZ);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDepthMask(GL_FALSE);
}

void endWindowOverlay() {
  glDepthMask(GL_TRUE);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glEnable(GL_LIGHTING);
}

void drawSquareOutline(double x, double y, double half) {
  glBegin(GL_LINE_LOOP);
  glVertex2d(x - half, y - half);
  glVertex2d(x + half, y - half);
  glVertex2d(x + half, y + half);
  glVertex2d(x - half, y + half);
  glEnd();
}
