#include "scene/GLList.h"

#include "scene/ViewState.h"

#include <GL/gl.h>

GLList::~GLList() {
  if (firstList == 0)
    return;
  if (!separateLists) {
    glDeleteLists(firstList, static_cast<GLsizei>(listCount));
  } else {
    for (std::uint32_t i = 0; i < listCount && i < listIds.size(); ++i)
      glDeleteLists(static_cast<GLuint>(listIds[i]), 1);
  }
}

void GLList::draw(ViewState *, int) {
  for (std::uint32_t i = 0; i < listCount && i < listIds.size() && i < pickNames.size(); ++i) {
    glPushName(static_cast<GLuint>(pickNames[i]));
    glCallList(static_cast<GLuint>(listIds[i]));
    glPopName();
  }
}

void GLRvList::applyColour() const { glColor3d(red(), green(), blue()); }

void GLRvList::saveClipPlanes(ViewState *view) {
  if (view)
    view->saveClipPlanes();
}

void GLRvList::restoreClipPlanes(ViewState *view) {
  if (view)
    view->restoreClipPlanes();
}

void GLRvBodyList::pushPlacementMatrix(const Placement &p) const {
  const auto m = p.glMatrix(scaleFactor);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixd(m.data());
}

void GLRvBodyList::popPlacementMatrix() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}
