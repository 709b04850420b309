#pragma once
// A shown 900 x 600 ModelView with the small square session loaded through the load step.
#include "gui/TestFiles.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/LoadStep.h"
#include "view/ModelView.h"
#include "view/ViewScene.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// Window position (x right, y down) and depth of a world point in the view's last frame.
inline QPointF windowPositionOf(ModelView &view, const Vec3d &p, double *depth = nullptr) {
  view.makeCurrent();
  GLdouble mv[16], pr[16];
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  view.doneCurrent();
  GLdouble wx = 0, wy = 0, wz = 0;
  gluProject(p.x, p.y, p.z, mv, pr, vp, &wx, &wy, &wz);
  if (depth)
    *depth = wz;
  return {wx, vp[3] - wy};
}

class ViewFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    view = std::make_unique<ModelView>();
    view->resize(900, 600);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }

  void TearDown() override { view.reset(); }

  // Writes the square session (or text when given) and runs the load step on it.
  GLPointCloud *load(bool withNominal = false) {
    const std::string path = (dir.path() + "/square.ses").toStdString();
    writeSquareSession(path, withNominal);
    return loadPath(path);
  }

  GLPointCloud *loadPath(const std::string &path) {
    auto model = std::make_unique<SessionModel>();
    bool isSession = false;
    std::string error;
    EXPECT_TRUE(readModelFile(path, *model, isSession, error)) << error;
    view->makeCurrent();
    const LoadStepResult r = runLoadStep(*view, view->scene(), std::move(model), isSession);
    view->doneCurrent();
    view->hasNominalPoints = r.hasNominalPoints;
    return r.node;
  }

  // Paints now, so that the frame's folding of rotations and lazy compiles happen.
  void paint() {
    view->repaint();
    QCoreApplication::processEvents();
  }

  QPointF pixelOf(const Vec3d &p, double *depth = nullptr) {
    return windowPositionOf(*view, p, depth);
  }

  QTemporaryDir dir;
  std::unique_ptr<ModelView> view;
};
