#include "app/HeadlessView.h"

#include "scene/GLPointCloud.h"
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"
#include "session/SessionModel.h"
#include "view/LoadStep.h"
#include "view/SceneRecord.h"
#include "view/ViewScene.h"

#include <QGuiApplication>
#include <cstdio>

namespace {
// Qt's notice about a missing runtime folder is noise here: stderr carries only errors.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &text) {
  if (type == QtDebugMsg || type == QtInfoMsg || text.contains(QLatin1String("XDG_RUNTIME_DIR")))
    return;
  std::fprintf(stderr, "velmora-viewer: %s\n", qPrintable(text));
}

} // namespace

void ensureHeadlessGuiApplication() {
  if (QGuiApplication::instance())
    return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(quietMessages);
  static int argc = 1;
  static char name[] = "velmora-viewer";
  static char *argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
}

HeadlessView::HeadlessView() = default;

HeadlessView::~HeadlessView() {
  // The scene's display lists belong to the context: it goes while the context is current.
  if (context_ && context_->isValid())
    context_->makeCurrent();
  scene_.reset();
  context_.reset();
}

bool HeadlessView::open(const std::string &file) {
  auto model = std::make_unique<SessionModel>();
  bool isSessionFile = false;
  if (!readModelFile(file, *model, isSessionFile, error_))
    return false;
  ensureHeadlessGuiApplication();
  context_ = std::make_unique<OffscreenContext>();
  if (!context_->create(1, 1)) {
    error_ = "cannot draw the view: " + context_->error();
    return false;
  }
  view_ = std::make_unique<ViewState>();
  scene_ = std::make_unique<ViewScene>(*view_);
  ViewScene::setUpContextState();
  const LoadStepResult loaded = runLoadStep(*view_, *scene_, std::move(model), isSessionFile);
  if (!loaded.node) {
    error_ = file + ": the model could not be shown";
    return false;
  }
  cloud_ = loaded.node;
  cloud_->finishEveryTriangles = std::size_t(1) << 18;
  isSessionFile_ = isSessionFile;
  return true;
}

void HeadlessView::setDisplay(const CliArgs &args) {
  // An option left out changes nothing of what the load step chose.
  if (cloud_ && context_->makeCurrent())
    applyDisplaySettings(displaySettingsFor(args, displaySettingsOf(*view_, cloud_)), *view_,
                         *scene_);
}

void HeadlessView::setDisplay(const DisplaySettings &settings) {
  if (cloud_ && context_->makeCurrent())
    applyDisplaySettings(settings, *view_, *scene_);
}

void HeadlessView::applyRecord(const Annotations &record, QSize size) {
  if (!cloud_ || !context_->makeCurrent())
    return;
  // The record's camera and comment positions are scaled to the view's size: set it first.
  view_->viewWidth = size.width();
  view_->viewHeight = size.height();
  applyAnnotations(record, *view_, *scene_);
  keepCamera_ = true;
}

std::vector<std::uint8_t> HeadlessView::drawRgba(QSize size, bool overlays) {
  if (!cloud_ || !context_->makeCurrent() || !context_->resize(size.width(), size.height())) {
    error_ = "cannot draw the view: " + (context_ ? context_->error() : std::string("no model"));
    return {};
  }
  view_->viewWidth = size.width();
  view_->viewHeight = size.height();
  if (!keepCamera_)
    view_->zoomToFit();
  view_->overlays = overlays;
  scene_->draw(*view_);
  view_->overlays = true;
  std::vector<std::uint8_t> rgba = context_->readPixels();
  if (rgba.size() != std::size_t(size.width()) * std::size_t(size.height()) * 4) {
    error_ = "cannot read the view's pixels back";
    return {};
  }
  return rgba;
}

QImage HeadlessView::draw(QSize size, bool overlays) {
  const std::vector<std::uint8_t> rgba = drawRgba(size, overlays);
  if (rgba.empty())
    return {};
  QImage image(size, QImage::Format_RGB32);
  const int w = size.width(), h = size.height();
  for (int y = 0; y < h; ++y) {
    const std::uint8_t *src = rgba.data() + std::size_t(h - 1 - y) * std::size_t(w) * 4;
    QRgb *dst = reinterpret_cast<QRgb *>(image.scanLine(y));
    for (int x = 0; x < w; ++x, src += 4)
      dst[x] = qRgb(src[0], src[1], src[2]);
  }
  return image;
}

const SessionModel &HeadlessView::model() const { return *cloud_->model(); }
