#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/ExportFile.h"
#include "report/Pdf3dExport.h"
#include "session/SessionModel.h"

#include <cstdio>
#include <malloc.h>

namespace {
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
    if (!view.open(args.file, args))
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
  const ExportResult r = export3dPdf(args.output, model, modelScale(args.display),
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
  const ExportResult r = exportSessionFile(args.output, args.file, modelScale(args.display));
  return r.ok ? 0 : cliFail(r.message);
}
