#include "export/U3dExport.h"

ExportResult exportU3dFile(const std::string &targetPath, const std::string &,
                           const ColourScale &) {
  return ExportResult::failure(targetPath + ": U3D export is not available in this build");
}
