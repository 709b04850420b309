#include "scene/SceneNode.h"

#include "scene/ViewState.h"

#include <GL/gl.h>

SceneNode::~SceneNode() {
  if (firstList == 0)
    return;
  if (!separateLists) {
    glDeleteLists(firstList, static_cast<GLsizei>(listCount));
  } else {
    for (std::uint32_t i = 0; i < listCount && i < listIds.size(); ++i)
      glDeleteLists(static_cast<GLuint>(listIds[i]), 1);
  }
}

void SceneNode::draw(ViewState *, int) {
  for (std::uint32_t i = 0; i < listCount && i < listIds.size() && i < pickNames.size(); ++i) {
    glPushName(static_cast<GLuint>(pickNames[i]));
    glCallList(static_cast<GLuint>(listIds[i]));
    glPopName();
  }
}

void DrawableNode::applyColour() const { glColor3d(red(), green(), blue()); }

void DrawableNode::saveClipPlanes(ViewState *view) {
  if (view)
    view->saveClipPlanes();
}

void DrawableNode::restoreClipPlanes(ViewState *view) {
  if (view)
    view->restoreClipPlanes();
}

void BodyNode::pushPlacementMatrix(const Placement &p) const {
  const auto m = p.glMatrix(scaleFactor);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixd(m.data());
}

void BodyNode::popPlacementMatrix() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}
