#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/ExportFile.h"
#include "report/Pdf3dExport.h"
#include "session/SessionModel.h"

#include "records/Annotations.h"

#include <cstdio>
#include <malloc.h>

namespace {
// What every export refuses before reading (an unknown kind, its own input as the target),
// then the read: empty when the model is ready.
std::string readExportInput(const CliArgs &args, SessionModel &model) {
  if (std::string refused = exportRefusal(args.output, args.file); !refused.empty())
    return refused;
  if (std::string problem = outputIsInputProblem(args); !problem.empty())
    return problem;
  return cliReadModel(args, model);
}

// glTF and web page: the model as read, coloured and called out by the rule of every command
// (the sidecar or --annotations, unless --no-annotations; command-line options win).
int exportShared(const CliArgs &args) {
  SessionModel model;
  if (const std::string problem = readExportInput(args, model); !problem.empty())
    return cliFail(problem);
  if (const std::string empty = emptyModelProblem(args.output, model); !empty.empty())
    return cliFail(empty);
  CliDisplay shown;
  if (!cliDisplayShown(args, model, shown))
    return 1;
  const DisplaySettings &d = shown.settings;
  // Without a record the record's lists are empty: nothing to call out.
  ShareScene scene = shareSceneFor(model, d, shown.record.banners, shown.record.distances);
  scene.maxTriangles = static_cast<std::size_t>(args.maxTriangles);
  const ExportResult r = exportModelFile(args.output, model, modelScale(d), scene);
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
  DisplaySettings settings;
  {
    HeadlessView view;
    if (!view.open(args.file))
      return cliFail(view.error());
    CliDisplay shown;
    if (!cliDisplayShown(args, view.model(), shown))
      return 1;
    settings = shown.settings;
    if (shown.found)
      view.setDisplay(settings);
    else
      view.setDisplay(args);
    if (const std::string empty = emptyModelProblem(args.output, view.model()); !empty.empty())
      return cliFail(empty);
    poster = view.draw(pdf3dPosterSize());
    drawError = view.error();
  }
  // What the view freed goes back to the system now, not after the scene has grown beside it.
  malloc_trim(0);
  SessionModel model;
  if (const std::string error = cliReadModel(args, model); !error.empty())
    return cliFail(error);
  const ExportResult r =
      export3dPdf(args.output, model, modelScale(settings), [&](QSize, std::string &pictureError) {
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
  // Read once: the record's settings and the export both use this model.
  SessionModel model;
  if (const std::string problem = readExportInput(args, model); !problem.empty())
    return cliFail(problem);
  // The colours follow the rule of every command: a record's settings under the options given.
  CliDisplay shown;
  if (!cliDisplayShown(args, model, shown))
    return 1;
  const ExportResult r = exportModelFile(args.output, model, modelScale(shown.settings), {});
  return r.ok ? 0 : cliFail(r.message);
}
