#include "export/U3dExport.h"

#include "export/U3dFile.h"
#include "export/U3dScene.h"
#include "export/VrmlWriter.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <string_view>
#include <vector>

namespace {

float positiveZero(float v) { return v == 0.0f ? 0.0f : v; }

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
  // The same text as the general format of the value as a double; the VRML writer's
  // formatter, several times faster than the library's on a listing of gigabytes.
  Listing &operator<<(float v) {
    char text[16];
    return *this << std::string_view(
               text, static_cast<std::size_t>(vrmltext::writeFloat(text, v) - text));
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

// The model's mesh as the U3D scene holds it, read in place. Positions as stored, the
// scale's colour per point, the triangle's flat normal at each corner (computed when the model
// has none, zeros as +0 so that equal models give byte-identical files).
class ModelMesh : public U3dMeshSource {
public:
  ModelMesh(const SessionModel &model, const ColourScale &scale, std::size_t points,
            std::size_t faces)
      : model_(model), scale_(scale), points_(points), faces_(faces),
        haveNormals_(model.triangleNormals.size() >= faces),
        haveDeviations_(model.deviations.size() >= points) {}

  std::size_t pointCount() const override { return points_; }
  std::size_t faceCount() const override { return faces_; }
  void positions(std::size_t first, std::size_t n, Vec3f *out) const override {
    std::copy_n(model_.points.begin() + static_cast<std::ptrdiff_t>(first), n, out);
  }
  void colours(std::size_t first, std::size_t n, std::array<float, 4> *out) const override {
    for (std::size_t i = 0; i < n; ++i) {
      const Colour c = scale_.colourFor(haveDeviations_ ? model_.deviations[first + i] : 0.0f);
      // The colour as shown on screen, in the file's red, green, blue order.
      out[i] = {static_cast<float>(c.r), static_cast<float>(c.g), static_cast<float>(c.b), 1.0f};
    }
  }
  void faces(std::size_t first, std::size_t n, std::array<std::uint32_t, 3> *out) const override {
    for (std::size_t i = 0; i < n; ++i) {
      const Triangle &t = model_.triangles[first + i];
      out[i] = {static_cast<std::uint32_t>(t.a), static_cast<std::uint32_t>(t.b),
                static_cast<std::uint32_t>(t.c)};
    }
  }
  void cornerNormals(std::size_t first, std::size_t n, Vec3f *out) const override {
    for (std::size_t i = 0; i < n; ++i)
      out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = flatNormal(first + i);
  }
  Vec3f flatNormal(std::size_t j) const {
    const Triangle &t = model_.triangles[j];
    const Vec3f n = haveNormals_ ? model_.triangleNormals[j] : triangleNormalOf(model_, t);
    return {positiveZero(n.x), positiveZero(n.y), positiveZero(n.z)};
  }

private:
  const SessionModel &model_;
  const ColourScale &scale_;
  std::size_t points_, faces_;
  bool haveNormals_, haveDeviations_;
};

void writeListing(const ModelMesh &mesh, const SessionModel &model) {
  const std::string path = u3dListingPath();
  if (path.empty())
    return;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::FILE *f = std::fopen(path.c_str(), "w");
  if (!f)
    return; // failing to write the listing must not fail the export

  const auto id = [](std::size_t i) { return static_cast<long long>(i); };
  const std::size_t faces = mesh.faceCount();
  Listing out(f);
  out << "Punkte:\n\n";
  for (std::size_t i = 0; i < mesh.pointCount(); ++i) {
    const Vec3f &p = model.points[i];
    out << "Punkt " << id(i) << ":  " << p.x << "   " << p.y << "  " << p.z << "\n";
  }
  out << "\nDreiecke:\n\n";
  for (std::size_t j = 0; j < faces; ++j) {
    const Triangle &t = model.triangles[j];
    out << "Dreieck " << id(j) << ":  " << static_cast<long long>(t.a) << "   "
        << static_cast<long long>(t.b) << "  " << static_cast<long long>(t.c) << "  "
        << static_cast<long long>(model.normalIndexOf(j)) << "\n";
  }
  out << "\nNormalen:\n\n";
  for (std::size_t j = 0; j < faces; ++j) {
    const Vec3f n = mesh.flatNormal(j);
    out << "Normale " << id(j) << ":  " << n.x << "   " << n.y << "  " << n.z << "\n";
  }
  out << "\nDreiecknormalen:\n\n";
  for (std::size_t j = 0; j < faces; ++j) {
    out << "Dreieck " << id(j) << ":  " << id(3 * j) << "   " << id(3 * j + 1) << "   "
        << id(3 * j + 2) << "   " << static_cast<long long>(model.normalIndexOf(j)) << "\n";
  }
}

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
// The model's mesh, or why it cannot be exported: fewer points or triangles than declared,
// a corner that names a missing point, more than the file format can count.
ExportResult modelMesh(const SessionModel &model, const ColourScale &scale,
                       std::unique_ptr<ModelMesh> &mesh) {
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
    const Triangle &t = model.triangles[j];
    for (std::int32_t v : {t.a, t.b, t.c})
      if (v < 0 || static_cast<std::size_t>(v) >= points)
        return ExportResult::failure(model.path + ": triangle " + std::to_string(j) +
                                     " refers to point " + std::to_string(v) + " of " +
                                     std::to_string(points));
  }
  if (points > 0xFFFFFFFFu || 3 * faces > 0xFFFFFFFFu)
    return ExportResult::failure(model.path + ": the mesh is too large for the file format");
  // The model may be the one a window shows: it is read, never changed, so missing normals are
  // computed on the way as the model would compute them.
  mesh = std::make_unique<ModelMesh>(model, scale, points, faces);
  return ExportResult::success();
}

ExportResult fillMesh(U3dMesh *mesh, const SessionModel &model, const ColourScale &scale,
                      std::unique_ptr<ModelMesh> &source) {
  if (!mesh)
    return ExportResult::failure("U3D export: no mesh to fill");
  if (ExportResult r = modelMesh(model, scale, source); !r.ok)
    return r;
  const std::size_t points = source->pointCount(), faces = source->faceCount();
  mesh->positions.assign(model.points.begin(), model.points.begin() + points);

  mesh->colours.resize(points);
  source->colours(0, points, mesh->colours.data());
  mesh->faces.resize(faces);
  source->faces(0, faces, mesh->faces.data());
  mesh->normals.resize(3 * faces);
  source->cornerNormals(0, faces, mesh->normals.data());
  return ExportResult::success();
}
} // namespace

ExportResult FillAuthorMesh(U3dMesh *mesh, const SessionModel &model, const ColourScale &scale) {
  std::unique_ptr<ModelMesh> source;
  ExportResult filled = fillMesh(mesh, model, scale, source);
  if (filled.ok)
    writeListing(*source, model);
  return filled;
}

U3dSceneFile::U3dSceneFile() = default;
U3dSceneFile::U3dSceneFile(U3dSceneFile &&) noexcept = default;
U3dSceneFile::~U3dSceneFile() = default;

U3dSceneFile buildU3dSceneFile(const SessionModel &model, const ColourScale &scale,
                               U3dListing listing) {
  U3dSceneFile file;
  std::unique_ptr<ModelMesh> mesh;
  file.result = modelMesh(model, scale, mesh);
  if (!file.result.ok)
    return file;
  // The base mesh's size takes one encoding of the faces: done on a second thread while
  // the listing is written, when there is one.
  if (listing == U3dListing::Write) {
    std::future<std::vector<U3dBlock>> blocks =
        std::async(std::launch::async, [&] { return buildU3dSceneBlocks(*mesh); });
    writeListing(*mesh, model);
    file.layout = std::make_unique<U3dFileLayout>(blocks.get());
  } else {
    file.layout = std::make_unique<U3dFileLayout>(buildU3dSceneBlocks(*mesh));
  }
  file.mesh = std::move(mesh);
  return file;
}

ExportResult ExportU3dScene(const std::string &targetPath, const SessionModel &model,
                            const ColourScale &scale) {
  const U3dSceneFile scene = buildU3dSceneFile(model, scale);
  if (!scene.result.ok)
    return scene.result;
  return writeAtomically(targetPath, [&](AtomicFile &file) {
    // A refusal with the file still fine is the mesh not matching its announced size (a
    // failed write is reported as the file's error).
    if (!scene.layout->write(
            [&](const void *data, std::size_t size) { return file.write(data, size); }))
      return ExportResult::failure("the mesh changed while it was written");
    return ExportResult::success();
  });
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
