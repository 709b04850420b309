#include "view/PointLookup.h"

#include "view/BannerNode.h"

#include "analysis/BackgroundPointIndex.h"
#include "scene/GLPointCloud.h"
#include "view/ModelView.h"
#include "view/ViewHooks.h"
#include "view/ViewScene.h"

#include <cmath>
#include <string>

namespace {
// Often enough for the progress to move, rarely enough to cost nothing.
constexpr int kPollMs = 100;
} // namespace

PointLookup::PointLookup(ModelView &view) : QObject(&view), view_(view) {
  timer_.setInterval(kPollMs);
  connect(&timer_, &QTimer::timeout, this, &PointLookup::poll);
}

void PointLookup::watch() {
  const SessionModel *model = view_.scene().shownModel();
  if (model != model_) {
    // Another model: a click taken on the previous one means nothing here.
    model_ = model;
    pendingClick_.reset();
  } else if (timer_.isActive() || !model) {
    return;
  }
  if (!wanted_ || !model || model->pointCount <= 0 || picking::readyIndex(*model))
    return;
  timer_.start();
  poll();
}

void PointLookup::deferClick(const picking::FrameSample &sample) {
  pendingClick_ = sample;
  wanted_ = true;
  watch();
}

void PointLookup::poll() {
  const SessionModel *model = view_.scene().shownModel();
  if (model != model_ || !model) {
    timer_.stop();
    watch();
    return;
  }
  BackgroundPointIndex &lookup = picking::sharedLookup(*model);
  ViewScene &scene = view_.scene();
  if (!lookup.ready()) {
    const int percent = int(std::floor(100.0 * lookup.progress()));
    if (percent != shownPercent_ && scene.showStatus) {
      const std::string text = "Preparing point lookup... " + std::to_string(percent) + " %";
      scene.showStatus(text.c_str());
      shownPercent_ = percent;
    }
    return;
  }
  timer_.stop();
  if (shownPercent_ >= 0 && scene.showStatus)
    scene.showStatus("Ready");
  shownPercent_ = -1;
  if (pendingClick_) {
    const picking::FrameSample sample = *pendingClick_;
    pendingClick_.reset();
    view_.makeCurrent();
    BannerNode *banner = placeBannerAt(view_, scene, sample);
    view_.doneCurrent();
    if (banner)
      view_.recordAdded({banner}, QStringLiteral("add banner"));
    emit view_.selectionChanged();
  }
  view_.update();
}
