#include "export/U3dExport.h"

#include "export/U3dFile.h"
#include "export/U3dScene.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace {

// Plain-text listing of the exported mesh, numbers as a default-formatted stream would
// print them (6 significant digits). Formatted into a buffer that is written out in large
// pieces; write errors are ignored, the listing being a diagnostic aid only.
class Listing {
public:
  explicit Listing(std::FILE *f) : file_(f), buffer_(kCapacity) {}
  ~Listing() {
    flush();
    std::fclose(file_);
  }
  Listing(const Listing &) = delete;
  Listing &operator=(const Listing &) = delete;

  Listing &operator<<(std::string_view s) {
    if (s.size() > kCapacity - used_)
      flush();
    if (s.size() > kCapacity) {
      std::fwrite(s.data(), 1, s.size(), file_);
      return *this;
    }
    std::memcpy(buffer_.data() + used_, s.data(), s.size());
    used_ += s.size();
    return *this;
  }
  Listing &operator<<(double v) {
    char text[48];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6);
    return *this << std::string_view(text, static_cast<std::size_t>(r.ptr - text));
  }
  Listing &operator<<(long long v) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return *this << std::string_view(text, static_cast<std::size_t>(r.ptr - text));
  }
  Listing &operator<<(const char *s) { return *this << std::string_view(s); }

private:
  static constexpr std::size_t kCapacity = std::size_t{1} << 20;
  void flush() {
    std::fwrite(buffer_.data(), 1, used_, file_);
    used_ = 0;
  }

  std::FILE *file_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

void writeListing(const U3dMesh &mesh, const SessionModel &model) {
  const std::string path = u3dListingPath();
  if (path.empty())
    return;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::FILE *f = std::fopen(path.c_str(), "w");
  if (!f)
    return; // failing to write the listing must not fail the export

  const auto id = [](std::size_t i) { return static_cast<long long>(i); };
  const std::size_t faces = mesh.faces.size();
  Listing out(f);
  out << "Punkte:\n\n";
  for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
    const Vec3f &p = mesh.positions[i];
    out << "Punkt " << id(i) << ":  " << double{p.x} << "   " << double{p.y} << "  " << double{p.z}
        << "\n";
  }
  out << "\nDreiecke:\n\n";
  for (std::size_t j = 0; j < faces; ++j) {
    const TriangleRecord &t = model.triangles[j];
    out << "Dreieck " << id(j) << ":  " << static_cast<long long>(t.a) << "   "
        << static_cast<long long>(t.b) << "  " << static_cast<long long>(t.c) << "  "
        << static_cast<long long>(t.normalIndex) << "\n";
  }
  out << "\nNormalen:\n\n";
  for (std::size_t j = 0; j < faces; ++j) {
    const Vec3f &n = mesh.normals[3 * j];
    out << "Normale " << id(j) << ":  " << double{n.x} << "   " << double{n.y} << "  "
        << double{n.z} << "\n";
  }
  out << "\nDreiecknormalen:\n\n";
  for (std::size_t j = 0; j < faces; ++j) {
    out << "Dreieck " << id(j) << ":  " << id(3 * j) << "   " << id(3 * j + 1) << "   "
        << id(3 * j + 2) << "   " << static_cast<long long>(model.triangles[j].normalIndex) << "\n";
  }
}

float positiveZero(float v) { return v == 0.0f ? 0.0f : v; }

} // namespace

std::string u3dListingPath() {
  const char *cache = std::getenv("XDG_CACHE_HOME");
  std::filesystem::path base;
  if (cache && *cache) {
    base = cache;
  } else {
    const char *home = std::getenv("HOME");
    if (!home || !*home)
      return {};
    base = std::filesystem::path(home) / ".cache";
  }
  return (base / "VelmoraViewer" / "result.txt").string();
}

namespace {
ExportResult fillMesh(U3dMesh *mesh, const SessionModel &model, const ColourScale &scale) {
  if (!mesh)
    return ExportResult::failure("U3D export: no mesh to fill");
  const std::size_t points = model.pointCount > 0 ? static_cast<std::size_t>(model.pointCount) : 0;
  if (points > model.points.size())
    return ExportResult::failure(model.path + ": the model holds fewer points than it declares");
  std::size_t faces = 0;
  if (model.hasTriangles()) {
    faces = static_cast<std::size_t>(model.triangleCount);
    if (faces > model.triangles.size())
      return ExportResult::failure(model.path +
                                   ": the model holds fewer triangles than it declares");
  }
  // Checked before the normals are computed: they read the corners.
  for (std::size_t j = 0; j < faces; ++j) {
    const TriangleRecord &t = model.triangles[j];
    for (std::int32_t v : {t.a, t.b, t.c})
      if (v < 0 || static_cast<std::size_t>(v) >= points)
        return ExportResult::failure(model.path + ": triangle " + std::to_string(j) +
                                     " refers to point " + std::to_string(v) + " of " +
                                     std::to_string(points));
  }
  // The model may be the one a window shows: it is read, never changed, so missing normals are
  // computed here as the model would compute them.
  const bool haveNormals = model.triangleNormals.size() >= faces;

  mesh->positions.assign(model.points.begin(), model.points.begin() + points);

  const bool haveDeviations = model.deviations.size() >= points;
  mesh->colours.resize(points);
  for (std::size_t i = 0; i < points; ++i) {
    const Colour c = scale.colourFor(haveDeviations ? model.deviations[i] : 0.0f);
    // The colour as shown on screen, in the file's red, green, blue order.
    mesh->colours[i] = {static_cast<float>(c.r), static_cast<float>(c.g), static_cast<float>(c.b),
                        1.0f};
  }

  mesh->faces.resize(faces);
  mesh->normals.resize(3 * faces);
  for (std::size_t j = 0; j < faces; ++j) {
    const TriangleRecord &t = model.triangles[j];
    mesh->faces[j] = {static_cast<std::uint32_t>(t.a), static_cast<std::uint32_t>(t.b),
                      static_cast<std::uint32_t>(t.c)};
    const Vec3f n = haveNormals ? model.triangleNormals[j] : triangleNormalOf(model, t);
    // Zeros as +0 so that equal models give byte-identical files.
    const Vec3f flat{positiveZero(n.x), positiveZero(n.y), positiveZero(n.z)};
    mesh->normals[3 * j] = mesh->normals[3 * j + 1] = mesh->normals[3 * j + 2] = flat;
  }
  return ExportResult::success();
}
} // namespace

ExportResult FillAuthorMesh(U3dMesh *mesh, const SessionModel &model, const ColourScale &scale) {
  ExportResult filled = fillMesh(mesh, model, scale);
  if (filled.ok)
    writeListing(*mesh, model);
  return filled;
}

U3dSceneFile buildU3dSceneFile(const SessionModel &model, const ColourScale &scale,
                               U3dListing listing) {
  U3dSceneFile file;
  U3dMesh mesh;
  file.result = listing == U3dListing::Write ? FillAuthorMesh(&mesh, model, scale)
                                             : fillMesh(&mesh, model, scale);
  if (!file.result.ok)
    return file;
  if (const std::string problem = mesh.inconsistency(); !problem.empty()) {
    file.result = ExportResult::failure(model.path + ": " + problem);
    return file;
  }
  file.layout = std::make_unique<U3dFileLayout>(buildU3dSceneBlocks(mesh));
  return file;
}

ExportResult ExportU3dScene(const std::string &targetPath, const SessionModel &model,
                            const ColourScale &scale) {
  const U3dSceneFile scene = buildU3dSceneFile(model, scale);
  if (!scene.result.ok)
    return scene.result;
  AtomicFile file(targetPath);
  if (!file.ok())
    return ExportResult::failure(file.error());
  scene.layout->write([&](const void *data, std::size_t size) { return file.write(data, size); });
  if (!file.commit())
    return ExportResult::failure(file.error());
  return ExportResult::success();
}

ExportResult exportU3dFile(const std::string &targetPath, const std::string &sessionPath,
                           const ColourScale &scale) {
  // The export re-reads the file as a session file; a point text file would be misread.
  if (!isSessionFilePath(sessionPath))
    return ExportResult::failure(sessionPath + ": export needs a session file");
  SessionModel model;
  model.SetPath(sessionPath.c_str());
  if (!model.ReadSessionFile())
    return ExportResult::failure(model.error());
  return ExportU3dScene(targetPath, model, scale);
}

int ExportU3d(const std::string &targetPath, const std::string &sessionPath,
              const ColourScale &scale) {
  return exportU3dFile(targetPath, sessionPath, scale).ok ? 1 : 0;
}
