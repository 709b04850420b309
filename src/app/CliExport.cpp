#include "app/Cli.h"

#include "app/HeadlessView.h"
#include "export/ExportFile.h"
#include "report/Pdf3dExport.h"

#include <cstdio>

namespace {
// The 3D PDF needs the opening view's picture: the file is opened in a headless view, whose
// model (as loaded) is what the U3D scene holds.
int export3d(const CliArgs &args) {
  if (const std::string refused = exportRefusal(args.output, args.file); !refused.empty())
    return cliFail(refused);
  HeadlessView view;
  if (!view.open(args.file, args.display))
    return cliFail(view.error());
  const ExportResult r = export3dPdf(args.output, view.model(), args.display.colourScale(),
                                     [&view](QSize size, std::string &error) {
                                       QImage picture = view.draw(size);
                                       if (picture.isNull())
                                         error = view.error();
                                       return picture;
                                     });
  return r.ok ? 0 : cliFail(r.message);
}
} // namespace

int runExport(const CliArgs &args) {
  if (exportKindFor(args.output) == ExportKind::Pdf3d)
    return export3d(args);
  const ExportResult r = exportSessionFile(args.output, args.file, args.display.colourScale());
  return r.ok ? 0 : cliFail(r.message);
}
