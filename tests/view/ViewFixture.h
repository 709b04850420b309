#pragma once
// A shown 900 x 600 view3d with the small square session loaded through the load step.
#include "gui/TestFiles.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/LoadStep.h"
#include "view/ViewRotation.h"
#include "view/ViewScene.h"
#include "view/view3d.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

class ViewFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ViewRotation::global().reset();
    view = std::make_unique<view3d>();
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

  QTemporaryDir dir;
  std::unique_ptr<view3d> view;
};
