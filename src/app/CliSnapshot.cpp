#include "app/Cli.h"

#include "export/AtomicFile.h"
#include "export/BitmapFile.h"
#include "records/AnnotationsFile.h"
#include "scene/GLPointCloud.h"
#include "scene/OffscreenContext.h"
#include "scene/ViewState.h"
#include "session/SessionModel.h"
#include "view/LoadStep.h"
#include "view/ProgramSettings.h"
#include "view/SceneRecord.h"
#include "view/ViewScene.h"

#include <QGuiApplication>
#include <cctype>
#include <cstdio>
#include <memory>

namespace {
// Qt's notice about a missing runtime folder is noise here: stderr carries only errors.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &text) {
  if (type == QtDebugMsg || type == QtInfoMsg || text.contains(QLatin1String("XDG_RUNTIME_DIR")))
    return;
  std::fprintf(stderr, "velmora-viewer: %s\n", qPrintable(text));
}

// Whether the file name (not a bare ".bmp") ends in .bmp in any case.
bool hasBitmapSuffix(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() <= 4)
    return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char &c : suffix)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == ".bmp";
}

int fail(const std::string &message) {
  std::fprintf(stderr, "velmora-viewer: %s\n", message.c_str());
  return 1;
}

// The display options, set as the settings dialog sets them.
void applyDisplayOptions(const DisplayOptions &d, ViewState &view, ViewScene &scene,
                         GLPointCloud &cloud) {
  // Start from what the load step chose, so that an option left out changes nothing.
  view.displayMode = cloud.displayMode;
  view.pointSize = cloud.width;
  view.upperTolerance = d.upper;
  view.lowerTolerance = d.lower;
  view.colourBars = d.bars;
  cloud.bandCount = d.bars;
  cloud.showGradient = d.gradient;
  cloud.extendedColours = d.extended;
  if (d.outsideOnly)
    view.pointFilter = d.pointFilter();
  if (d.points) {
    view.displayMode = 1;
    view.pointSize = 1;
    ProgramSettings::pointSizeClass = 1;
  }
  scene.applySettings(view);
  cloud.invalidate();
}
} // namespace

int runSnapshot(const CliArgs &args) {
  // What can be refused without reading the input is refused first.
  if (!hasBitmapSuffix(args.output))
    return fail(args.output + ": a snapshot is a bitmap; the file name must end in .bmp");
  for (const std::string &input : {args.file, args.annotations})
    if (const std::string problem =
            input.empty() ? std::string() : targetIsInputProblem(args.output, input);
        !problem.empty())
      return fail(problem);
  auto model = std::make_unique<SessionModel>();
  bool isSessionFile = false;
  std::string error;
  if (!readModelFile(args.file, *model, isSessionFile, error))
    return fail(error);

  // Qt rasterises the glyphs of the font lists; no window system is needed for that.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(quietMessages);
  static int argc = 1;
  static char name[] = "velmora-viewer";
  static char *argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);

  OffscreenContext context;
  if (!context.create(args.width, args.height))
    return fail("cannot draw the snapshot: " + context.error());

  ViewState view;
  view.viewWidth = args.width;
  view.viewHeight = args.height;
  std::vector<std::uint8_t> rgba;
  {
    // The scene's display lists belong to this context: it stays current until the scene
    // is gone.
    ViewScene scene(view);
    ViewScene::setUpContextState();
    const LoadStepResult loaded = runLoadStep(view, scene, std::move(model), isSessionFile);
    if (!loaded.node)
      return fail(args.file + ": the model could not be shown");
    if (args.annotations.empty()) {
      applyDisplayOptions(args.display, view, scene, *loaded.node);
      view.zoomToFit();
    } else {
      // The record shows as the window restores it; display options given here win.
      const AnnotationsReadResult r =
          readAnnotationsFor(args.annotations, ModelIdentity::of(*loaded.node->model()));
      if (!r.ok)
        return fail(r.error);
      for (const std::string &note : r.notes)
        std::fprintf(stderr, "velmora-viewer: note: %s\n", note.c_str());
      Annotations record = r.annotations;
      record.display = displaySettingsFor(args, record.display);
      applyAnnotations(record, view, scene);
    }
    scene.draw(view);
    rgba = context.readPixels();
  }
  if (rgba.size() != std::size_t(args.width) * std::size_t(args.height) * 4)
    return fail("cannot read the snapshot's pixels back");
  const ExportResult written =
      writeBitmapFile(args.output, bitmapFromRgbaRows(rgba.data(), args.width, args.height, 32));
  if (!written.ok)
    return fail(written.message);
  return 0;
}
