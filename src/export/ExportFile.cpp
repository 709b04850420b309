#include "export/ExportFile.h"

#include "export/AtomicFile.h"
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

namespace {
ExportResult unknownKind(const std::string &target) {
  return ExportResult::failure(target + ": unknown export type; the file name must end in .wrl "
                                        "(VRML) or .u3d (U3D)");
}
ExportResult pointTextRefused(const std::string &path) {
  return ExportResult::failure(path + ": export needs a session file (.ses); point text files "
                                      "cannot be exported");
}
} // namespace

ExportResult exportModelFile(const std::string &target, const SessionModel &model,
                             const ColourScale &scale) {
  if (!isSessionFilePath(model.path))
    return pointTextRefused(model.path);
  const ExportKind kind = exportKindFor(target);
  if (kind == ExportKind::Unknown)
    return unknownKind(target);
  if (const std::string problem = targetIsInputProblem(target, model.path); !problem.empty())
    return ExportResult::failure(problem);
  return kind == ExportKind::Vrml ? writeVrmlFile(target, model, scale)
                                  : ExportU3dScene(target, model, scale);
}

ExportResult exportSessionFile(const std::string &target, const std::string &sessionPath,
                               const ColourScale &scale) {
  // Everything that can be refused without reading is refused before the read.
  if (!isSessionFilePath(sessionPath))
    return pointTextRefused(sessionPath);
  if (exportKindFor(target) == ExportKind::Unknown)
    return unknownKind(target);
  if (const std::string problem = targetIsInputProblem(target, sessionPath); !problem.empty())
    return ExportResult::failure(problem);
  SessionModel model;
  bool isSession = false;
  std::string error;
  if (!readModelFile(sessionPath, model, isSession, error))
    return ExportResult::failure(error);
  return exportModelFile(target, model, scale);
}
