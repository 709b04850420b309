#pragma once
#include "app/Cli.h"

#include <QImage>
#include <QSize>
#include <memory>
#include <string>

struct Annotations;
class GLPointCloud;
class OffscreenContext;
class SessionModel;
class ViewScene;
class ViewState;

// A file's view as it looks right after opening, with the command line's display options,
// drawn without a display: a headless GL context, the view's scene and the load step, as a
// window would run them. Needs no X server.
class HeadlessView {
public:
  HeadlessView();
  ~HeadlessView();
  HeadlessView(const HeadlessView &) = delete;
  HeadlessView &operator=(const HeadlessView &) = delete;

  // Reads the file (only regular files; the reader its name asks for) and sets up the view
  // as a window opens it. False with error() naming the file and the reason.
  bool open(const std::string &file);
  // Applies the display options given over what opening chose, as the settings dialog does
  // (after open).
  void setDisplay(const CliArgs &args);
  // Applies display settings as a restored record sets them (after open).
  void setDisplay(const DisplaySettings &settings);
  // Both.
  bool open(const std::string &file, const CliArgs &args) {
    if (!open(file))
      return false;
    setDisplay(args);
    return true;
  }

  // Applies an annotation record that matches the model (settings, camera, banners,
  // distances, comments, section) for frames of the given size, as a window restores it; the
  // frames then keep the record's camera instead of fitting the model.
  void applyRecord(const Annotations &record, QSize size);

  // The frame at exactly size pixels, the camera fitted to the model for that size (unless a
  // record set it); rows top-down. A null image with error() set when it cannot be drawn.
  // Without overlays: no legend, scale bar or axes (a report paints them at print size).
  QImage draw(QSize size, bool overlays = true);
  // The same frame as RGBA bytes, rows bottom-up as GL reads them (empty on failure).
  std::vector<std::uint8_t> drawRgba(QSize size, bool overlays = true);

  // The model as loaded (owned by the view's point cloud).
  const SessionModel &model() const;
  // Whether the file was read as a session file (a point text file has no deviations).
  bool isSessionFile() const { return isSessionFile_; }
  const ViewState &view() const { return *view_; }
  const std::string &error() const { return error_; }

private:
  std::string error_;
  std::unique_ptr<OffscreenContext> context_;
  std::unique_ptr<ViewState> view_;
  std::unique_ptr<ViewScene> scene_;
  GLPointCloud *cloud_ = nullptr;
  bool isSessionFile_ = false;
  bool keepCamera_ = false;
};

// Makes sure a QGuiApplication exists (Qt rasterises glyphs and writes PDF pages through it)
// on the offscreen platform, with Qt's notices kept off standard error.
void ensureHeadlessGuiApplication();
