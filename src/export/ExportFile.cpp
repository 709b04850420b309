#include "export/ExportFile.h"

#include "export/U3dExport.h"
#include "export/VrmlWriter.h"
#include "export/WebPage.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"

#include <cctype>

bool hasSuffixNoCase(const std::string &path, const char *suffix) {
  // A bare ".wrl" is a hidden file's name, not a name with a suffix.
  const std::string_view x(suffix);
  const std::size_t slash = path.rfind('/');
  const std::string_view name =
      std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.size() <= x.size())
    return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - x.size() + i])) != x[i])
      return false;
  return true;
}

ExportKind exportKindFor(const std::string &targetPath) {
  if (hasSuffixNoCase(targetPath, ".wrl"))
    return ExportKind::Vrml;
  if (hasSuffixNoCase(targetPath, ".u3d"))
    return ExportKind::U3d;
  if (hasSuffixNoCase(targetPath, ".pdf"))
    return ExportKind::Pdf3d;
  if (hasSuffixNoCase(targetPath, ".glb"))
    return ExportKind::Gltf;
  if (hasSuffixNoCase(targetPath, ".html"))
    return ExportKind::WebPage;
  return ExportKind::Unknown;
}

namespace {
ExportResult unknownKind(const std::string &target) {
  return ExportResult::failure(
      target + ": unknown export type; the file name must end in .wrl "
               "(VRML), .u3d (U3D), .pdf (3D PDF), .glb (glTF binary) or .html (web page)");
}
ExportResult pointTextRefused(const std::string &path) {
  return ExportResult::failure(path + ": export needs a session file (.ses); point text files "
                                      "cannot be exported");
}
} // namespace

std::string emptyModelProblem(const std::string &target, const SessionModel &model) {
  return model.pointCount > 0 ? std::string() : target + ": the model has no points";
}

std::string exportRefusal(const std::string &target, const std::string &inputPath) {
  const ExportKind kind = exportKindFor(target);
  // The shared formats take the model as read, so a point text file is as good as a session.
  const bool anyModel = kind == ExportKind::Gltf || kind == ExportKind::WebPage;
  if (!anyModel && !isSessionFilePath(inputPath))
    return pointTextRefused(inputPath).message;
  if (kind == ExportKind::Unknown)
    return unknownKind(target).message;
  return targetIsInputProblem(target, inputPath);
}

ExportResult exportModelFile(const std::string &target, const SessionModel &model,
                             const ColourScale &scale, const ShareScene &scene) {
  if (const std::string refused = exportRefusal(target, model.path); !refused.empty())
    return ExportResult::failure(refused);
  if (const std::string empty = emptyModelProblem(target, model); !empty.empty())
    return ExportResult::failure(empty);
  switch (exportKindFor(target)) {
  case ExportKind::Vrml:
    return writeVrmlFile(target, model, scale);
  case ExportKind::U3d:
    return ExportU3dScene(target, model, scale);
  case ExportKind::Gltf:
    return writeGltfFile(target, model, scale, scene);
  case ExportKind::WebPage:
    return writeWebPage(target, model, scale, scene);
  default:
    return ExportResult::failure(target + ": a 3D PDF is written with a picture of the view, "
                                          "which this export cannot draw");
  }
}

ExportResult exportSessionFile(const std::string &target, const std::string &sessionPath,
                               const ColourScale &scale, const ShareScene &scene) {
  // Everything that can be refused without reading is refused before the read.
  if (const std::string refused = exportRefusal(target, sessionPath); !refused.empty())
    return ExportResult::failure(refused);
  SessionModel model;
  bool isSession = false;
  std::string error;
  if (!readModelFile(sessionPath, model, isSession, error))
    return ExportResult::failure(error);
  return exportModelFile(target, model, scale, scene);
}
