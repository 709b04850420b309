#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/ExportFile.h"
#include "records/CalloutTable.h"
#include "report/Pdf3dExport.h"
#include "report/ReportRecord.h"
#include "session/SessionModel.h"

#include <cstdio>
#include <malloc.h>

namespace {
// The colours of the shared exports come from the settings shown, through this one function.
ColourScale shareScale(const DisplayOptions &shown) { return shown.colourScale(); }

// glTF and web page: the model as read, coloured and called out as a window opens it with its
// record (the sidecar or --annotations), command-line options winning.
int exportShared(const CliArgs &args) {
  if (const std::string refused = exportRefusal(args.output, args.file); !refused.empty())
    return cliFail(refused);
  if (const std::string problem = outputIsInputProblem(args); !problem.empty())
    return cliFail(problem);
  SessionModel model;
  bool isSessionFile = false;
  std::string error;
  if (!readModelFile(args.file, model, isSessionFile, error))
    return cliFail(error);
  if (const std::string empty = emptyModelProblem(args.output, model); !empty.empty())
    return cliFail(empty);
  const ReportRecord record = reportRecordFor(model, args.annotations);
  if (!record.ok)
    return cliFail(record.error);
  cliNotes(record.notes);
  const DisplayOptions shown =
      displayFor(args, displaySettingsFor(args, record.found ? record.annotations.display
                                                             : DisplaySettings{}));
  ShareScene scene;
  const std::size_t slash = args.file.rfind('/');
  scene.title = slash == std::string::npos ? args.file : args.file.substr(slash + 1);
  scene.points = shown.points;
  scene.maxTriangles = static_cast<std::size_t>(args.maxTriangles);
  if (record.found)
    scene.callouts = calloutRows(model, record.annotations.banners, record.annotations.distances,
                                 shown.lower, shown.upper, shown.gradient);
  const ExportResult r = exportModelFile(args.output, model, shareScale(shown), scene);
  return r.ok ? 0 : cliFail(r.message);
}

// The 3D PDF needs the opening view's picture. It is drawn first and the view is closed
// before the U3D scene is built: its GL copies of a large model would otherwise stay
// resident beside the scene's bytes. The file is then read again, as loaded, for the scene.
int export3d(const CliArgs &args) {
  if (const std::string refused = exportRefusal(args.output, args.file); !refused.empty())
    return cliFail(refused);
  QImage poster;
  std::string drawError;
  {
    HeadlessView view;
    if (!view.open(args.file, args.display))
      return cliFail(view.error());
    if (const std::string empty = emptyModelProblem(args.output, view.model()); !empty.empty())
      return cliFail(empty);
    poster = view.draw(pdf3dPosterSize());
    drawError = view.error();
  }
  // What the view freed goes back to the system now, not after the scene has grown beside it.
  malloc_trim(0);
  SessionModel model;
  bool isSessionFile = false;
  std::string error;
  if (!readModelFile(args.file, model, isSessionFile, error))
    return cliFail(error);
  const ExportResult r = export3dPdf(args.output, model, args.display.colourScale(),
                                     [&](QSize, std::string &pictureError) {
                                       if (poster.isNull())
                                         pictureError = drawError;
                                       return std::move(poster);
                                     });
  return r.ok ? 0 : cliFail(r.message);
}
} // namespace

int runExport(const CliArgs &args) {
  if (exportKindFor(args.output) == ExportKind::Pdf3d)
    return export3d(args);
  if (sharedExport(args))
    return exportShared(args);
  const ExportResult r = exportSessionFile(args.output, args.file, args.display.colourScale());
  return r.ok ? 0 : cliFail(r.message);
}
