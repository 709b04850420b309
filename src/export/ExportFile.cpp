#include "export/ExportFile.h"

#include "export/U3dExport.h"
#include "export/VrmlWriter.h"
#include "session/SessionModel.h"

#include <cctype>

namespace {
bool endsWithNoCase(const std::string &s, const char *suffix) {
  const std::string_view x(suffix);
  if (s.size() < x.size())
    return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - x.size() + i])) != x[i])
      return false;
  return true;
}
} // namespace

ExportKind exportKindFor(const std::string &targetPath) {
  // A bare ".wrl" is a hidden file's name, not a name with a suffix.
  const std::size_t slash = targetPath.rfind('/');
  const std::string name = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
  if (name.size() <= 4)
    return ExportKind::Unknown;
  if (endsWithNoCase(name, ".wrl"))
    return ExportKind::Vrml;
  if (endsWithNoCase(name, ".u3d"))
    return ExportKind::U3d;
  return ExportKind::Unknown;
}

ExportResult exportSessionFile(const std::string &target, const std::string &sessionPath,
                               const ColourScale &scale) {
  if (!isSessionFilePath(sessionPath))
    return ExportResult::failure(sessionPath +
                                 ": export needs a session file (.ses); point text files cannot "
                                 "be exported");
  switch (exportKindFor(target)) {
  case ExportKind::Vrml:
    return exportVrmlFile(target, sessionPath, scale);
  case ExportKind::U3d:
    return exportU3dFile(target, sessionPath, scale);
  case ExportKind::Unknown:
    break;
  }
  return ExportResult::failure(target + ": unknown export type; the file name must end in .wrl "
                                        "(VRML) or .u3d (U3D)");
}
