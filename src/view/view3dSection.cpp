#include "view/view3d.h"

#include "view/DLGGenerateLine.h"

void view3d::onGenerateSectionCurve() {
  setCurrent(this);
  auto *dialog = new DLGGenerateLine(window());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  sectionDialog = dialog;
  dialog->show();
  renderFrame();
}

bool view3d::sectionAvailable() { return true; }
