#include "export/GltfWriter.h"

#include "analysis/MeshClustering.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

float linearFromDisplay(double c) {
  // The sRGB transfer function, inverted.
  const double v = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  return static_cast<float>(v);
}

ShareScene shareSceneFor(const SessionModel &model, const DisplaySettings &shown,
                         const std::vector<BannerRecord> &banners,
                         const std::vector<DistanceRecord> &distances) {
  ShareScene scene;
  const std::size_t slash = model.path.rfind('/');
  scene.title = slash == std::string::npos ? model.path : model.path.substr(slash + 1);
  scene.points = shown.displayMode == DisplayMode::Points;
  scene.callouts = calloutRows(model, banners, distances, shown.lowerTolerance,
                               shown.upperTolerance, shown.gradient);
  return scene;
}

namespace {

using json = nlohmann::ordered_json;

constexpr std::uint32_t kGlbMagic = 0x46546C67; // "glTF"
constexpr std::uint32_t kJsonChunk = 0x4E4F534A;
constexpr std::uint32_t kBinChunk = 0x004E4942;
constexpr std::size_t kChunk = std::size_t{1} << 20;
// glTF accessors hold no NaN or infinity: a point without a finite deviation holds this
// value, named in the extras ("noDeviation"), and keeps its colour.
constexpr float kNoDeviation = -std::numeric_limits<float>::max();

// The mesh that is written: the model's own arrays, or a reduced mesh owned here.
struct SharedMesh {
  const Vec3f *positions = nullptr;
  std::size_t vertexCount = 0;
  const float *deviations = nullptr; // null: deviation 0 everywhere
  std::vector<Vec3f> normals;
  // Or, when every normal of the model has a length, those: normalised as they are written,
  // so no second array of the model's size is made.
  const Vec3f *givenNormals = nullptr;
  const Triangle *records = nullptr;      // either the model's triangles ...
  const std::uint32_t *indices = nullptr; // ... or the reduced mesh's indices
  std::size_t triangleCount = 0;
  std::size_t reducedFrom = 0; // triangles of the model when reduced
  CoarseMesh coarse;

  std::uint32_t corner(std::size_t i, int k) const {
    if (indices)
      return indices[3 * i + static_cast<std::size_t>(k)];
    const Triangle &r = records[i];
    return static_cast<std::uint32_t>(k == 0 ? r.a : k == 1 ? r.b : r.c);
  }
};

bool usable(const Vec3f &n) {
  const float l = n.x * n.x + n.y * n.y + n.z * n.z;
  return std::isfinite(l) && l > 1e-20f;
}

// Unit normals for every vertex: the given one where it has a length, else the sum of the
// adjacent triangles' normals, else +Z. Viewers and validators reject normals that are not unit.
void fillNormals(SharedMesh &m, const Vec3f *given) {
  m.normals.assign(m.vertexCount, Vec3f{0, 0, 0});
  bool missing = false;
  for (std::size_t i = 0; i < m.vertexCount; ++i) {
    if (given && usable(given[i]))
      m.normals[i] = normalised(given[i]);
    else
      missing = true;
  }
  if (!missing)
    return;
  std::vector<Vec3f> summed(m.vertexCount, Vec3f{0, 0, 0});
  for (std::size_t t = 0; t < m.triangleCount; ++t) {
    const std::uint32_t a = m.corner(t, 0), b = m.corner(t, 1), c = m.corner(t, 2);
    const Vec3f u = m.positions[b] - m.positions[a], v = m.positions[c] - m.positions[a];
    const Vec3f n = cross(u, v);
    for (const std::uint32_t k : {a, b, c})
      summed[k] = summed[k] + n;
  }
  for (std::size_t i = 0; i < m.vertexCount; ++i)
    if (!usable(m.normals[i]))
      m.normals[i] = usable(summed[i]) ? normalised(summed[i]) : Vec3f{0, 0, 1};
}

std::string prepare(const SessionModel &model, const ShareScene &scene, SharedMesh &m) {
  const std::size_t n = drawablePoints(model);
  if (n == 0)
    return "the model has no points";
  if (n > std::numeric_limits<std::uint32_t>::max())
    return "the model has more points than a glTF index can name";
  const float *deviations = model.deviations.present() && model.deviations.size() >= n
                                ? model.deviations.data()
                                : nullptr;
  const Vec3f *normals =
      model.normals.present() && model.normals.size() >= n ? model.normals.data() : nullptr;
  const std::size_t t = scene.points ? 0 : drawableTriangles(model);
  for (std::size_t i = 0; i < t; ++i)
    if (!cornersWithin(model.triangles[i], n))
      return "triangle " + std::to_string(i) + " refers to a point that does not exist";
  if (scene.maxTriangles > 0 && t > scene.maxTriangles) {
    ClusterInput in;
    in.points = model.points.data();
    in.pointCount = n;
    in.normals = normals;
    in.deviations = deviations;
    in.triangles = model.triangles.data();
    in.triangleCount = t;
    m.coarse = decimateMeshWithin(in, scene.maxTriangles);
    m.positions = m.coarse.positions.data();
    m.vertexCount = m.coarse.vertexCount();
    m.deviations = m.coarse.deviations.data();
    m.indices = m.coarse.indices.data();
    m.triangleCount = m.coarse.triangleCount();
    m.reducedFrom = t;
    fillNormals(m, m.coarse.normals.data()); // the clustering gives every vertex a normal
    m.coarse.normals = {};
    return {};
  }
  m.positions = model.points.data();
  m.vertexCount = n;
  m.deviations = deviations;
  m.records = model.triangles.data();
  m.triangleCount = t;
  if (normals && std::all_of(normals, normals + n, usable))
    m.givenNormals = normals;
  else
    fillNormals(m, normals);
  return {};
}

json colourJson(const Colour &c) { return json::array({c.r, c.g, c.b}); }

// The legend as the window draws it (entries lowest first, display colours) and the callouts.
json extrasJson(const ColourScale &scale, const ShareScene &scene, const SharedMesh &m) {
  json legend = json::array();
  for (const ColourBand &b : scale.entries())
    legend.push_back({{"lower", b.lower}, {"upper", b.upper}, {"colour", colourJson(b.colour)}});
  json callouts = json::array();
  for (const CalloutRow &r : scene.callouts) {
    const char *kind = r.kind == CalloutRow::Kind::Banner        ? "banner"
                       : r.kind == CalloutRow::Kind::DistanceEnd ? "distance-end"
                                                                 : "distance";
    // Not-a-number values (a record pointing outside the model) have no JSON form.
    const auto num = [](double v) { return std::isfinite(v) ? json(v) : json(nullptr); };
    callouts.push_back({{"id", r.id},
                        {"kind", kind},
                        {"position", json::array({num(r.x), num(r.y), num(r.z)})},
                        {"deviation", num(r.deviation)},
                        {"status", r.status},
                        {"comment", r.comment}});
  }
  json extras = {{"title", scene.title},
                 {"units", "mm"},
                 {"tolerance", {{"upper", scale.upper()}, {"lower", scale.lower()}}},
                 {"gradient", scale.gradient()},
                 {"beyondColour", colourJson(Colour{1, 1, 1})},
                 {"legend", legend},
                 {"noDeviation", kNoDeviation},
                 {"callouts", callouts},
                 {"triangles", m.triangleCount},
                 {"vertices", m.vertexCount}};
  if (m.reducedFrom > 0)
    extras["reducedFrom"] = m.reducedFrom;
  return extras;
}

json documentJson(const ColourScale &scale, const ShareScene &scene, const SharedMesh &m,
                  std::size_t &binBytes) {
  const std::size_t n = m.vertexCount;
  const bool triangles = m.triangleCount > 0;
  float lo[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                 std::numeric_limits<float>::max()};
  float hi[3] = {-lo[0], -lo[1], -lo[2]};
  for (std::size_t i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], m.positions[i][k]);
      hi[k] = std::max(hi[k], m.positions[i][k]);
    }
  json views = json::array(), accessors = json::array();
  std::size_t offset = 0;
  const auto add = [&](std::size_t bytes, int target, int componentType, std::size_t count,
                       const char *type) {
    views.push_back(
        {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", bytes}, {"target", target}});
    accessors.push_back({{"bufferView", views.size() - 1},
                         {"componentType", componentType},
                         {"count", count},
                         {"type", type}});
    offset += bytes;
  };
  // Coordinates stay as in the file (mm), with no node translation: viewers frame the model
  // from these exact bounds.
  add(n * 12, 34962, 5126, n, "VEC3");
  accessors.back()["min"] = json::array({lo[0], lo[1], lo[2]});
  accessors.back()["max"] = json::array({hi[0], hi[1], hi[2]});
  add(n * 12, 34962, 5126, n, "VEC3");
  add(n * 12, 34962, 5126, n, "VEC3");
  add(n * 4, 34962, 5126, n, "SCALAR");
  json primitive = {
      {"attributes", {{"POSITION", 0}, {"NORMAL", 1}, {"COLOR_0", 2}, {"_DEVIATION", 3}}},
      {"material", 0},
      {"mode", triangles ? 4 : 0}};
  if (triangles) {
    add(m.triangleCount * 12, 34963, 5125, m.triangleCount * 3, "SCALAR");
    primitive["indices"] = 4;
  }
  binBytes = offset;
  // Unlit: a deviation map is read against its legend, so the colours must reach the screen
  // unchanged; lighting would darken a band on faces turned away and make it read as another.
  // The metallic 0, roughness 1 factors are the fallback for viewers without the extension.
  json material = {{"name", "deviation"},
                   {"pbrMetallicRoughness",
                    {{"baseColorFactor", json::array({1.0, 1.0, 1.0, 1.0})},
                     {"metallicFactor", 0.0},
                     {"roughnessFactor", 1.0}}},
                   {"doubleSided", true},
                   {"extensions", {{"KHR_materials_unlit", json::object()}}}};
  return {{"asset", {{"version", "2.0"}, {"generator", "velmora-viewer"}}},
          {"extensionsUsed", json::array({"KHR_materials_unlit"})},
          {"scene", 0},
          {"scenes", json::array({{{"nodes", json::array({0})}}})},
          {"nodes", json::array({{{"mesh", 0}, {"name", scene.title}}})},
          {"meshes", json::array({{{"primitives", json::array({primitive})}}})},
          {"materials", json::array({material})},
          {"buffers", json::array({{{"byteLength", binBytes}}})},
          {"bufferViews", views},
          {"accessors", accessors},
          {"extras", extrasJson(scale, scene, m)}};
}

// Collects the binary chunk's values into large pieces for the sink.
class BinWriter {
public:
  explicit BinWriter(const ByteSink &sink) : sink_(sink) { buf_.reserve(kChunk); }
  template <typename T> void put(const T &value) {
    if (buf_.size() + sizeof(T) > kChunk)
      flush();
    const auto *p = reinterpret_cast<const char *>(&value);
    buf_.insert(buf_.end(), p, p + sizeof(T));
  }
  void bytes(const void *data, std::size_t size) {
    flush();
    ok_ = ok_ && sink_(static_cast<const char *>(data), size);
  }
  // Hands count values of T to the sink, made by fill(first, count, out) a chunk at a time:
  // plain loops over the arrays instead of a call per value.
  template <typename T, typename Fill> void stream(std::size_t count, Fill fill) {
    flush();
    std::vector<T> chunk(std::max<std::size_t>(1, kChunk / sizeof(T)));
    for (std::size_t i = 0; i < count && ok_; i += chunk.size()) {
      const std::size_t k = std::min(chunk.size(), count - i);
      fill(i, k, chunk.data());
      ok_ = sink_(reinterpret_cast<const char *>(chunk.data()), k * sizeof(T));
    }
  }
  bool flush() {
    if (!buf_.empty())
      ok_ = ok_ && sink_(buf_.data(), buf_.size());
    buf_.clear();
    return ok_;
  }
  bool ok() const { return ok_; }

private:
  const ByteSink &sink_;
  std::vector<char> buf_;
  bool ok_ = true;
};

} // namespace

ExportResult formatGlb(const SessionModel &model, const ColourScale &scale, const ShareScene &scene,
                       const ByteSink &sink) {
  SharedMesh m;
  if (std::string why = prepare(model, scene, m); !why.empty())
    return ExportResult::failure(why);
  std::size_t binBytes = 0;
  std::string text =
      documentJson(scale, scene, m, binBytes).dump(-1, ' ', false, json::error_handler_t::replace);
  text.append((4 - text.size() % 4) % 4, ' ');
  const std::size_t total = 12 + 8 + text.size() + 8 + binBytes;
  if (total > std::numeric_limits<std::uint32_t>::max())
    return ExportResult::failure("the model is too large for one glTF binary file (4 GB)");

  BinWriter w(sink);
  w.put(kGlbMagic);
  w.put(std::uint32_t{2});
  w.put(static_cast<std::uint32_t>(total));
  w.put(static_cast<std::uint32_t>(text.size()));
  w.put(kJsonChunk);
  w.bytes(text.data(), text.size());
  w.put(static_cast<std::uint32_t>(binBytes));
  w.put(kBinChunk);
  const std::size_t n = m.vertexCount;
  w.bytes(m.positions, n * sizeof(Vec3f));
  if (m.givenNormals)
    w.stream<Vec3f>(n, [&](std::size_t first, std::size_t count, Vec3f *out) {
      for (std::size_t i = 0; i < count; ++i)
        out[i] = normalised(m.givenNormals[first + i]);
    });
  else
    w.bytes(m.normals.data(), n * sizeof(Vec3f));
  // The display colours met so far and their linear values: a banded scale has a handful, so
  // the conversion (three pow calls) runs once per colour, not once per point.
  std::vector<std::pair<Colour, Vec3f>> seen;
  std::size_t recent = 0;
  w.stream<Vec3f>(n, [&](std::size_t first, std::size_t count, Vec3f *out) {
    for (std::size_t i = 0; i < count; ++i) {
      const Colour c = scale.colourFor(m.deviations ? m.deviations[first + i] : 0.0f);
      if (seen.empty() || !(seen[recent].first == c)) {
        recent = 0;
        while (recent < seen.size() && !(seen[recent].first == c))
          ++recent;
        if (recent == seen.size()) {
          // A gradient has a colour per point: keep only the last few.
          if (seen.size() == 16)
            seen.erase(seen.begin());
          seen.push_back(
              {c, {linearFromDisplay(c.r), linearFromDisplay(c.g), linearFromDisplay(c.b)}});
          recent = seen.size() - 1;
        }
      }
      out[i] = seen[recent].second;
    }
  });
  w.stream<float>(n, [&](std::size_t first, std::size_t count, float *out) {
    for (std::size_t i = 0; i < count; ++i) {
      const float d = m.deviations ? m.deviations[first + i] : 0.0f;
      out[i] = std::isfinite(d) ? d : kNoDeviation;
    }
  });
  if (m.indices) {
    w.bytes(m.indices, m.triangleCount * 3 * sizeof(std::uint32_t));
  } else {
    struct Corners {
      std::uint32_t a, b, c;
    };
    w.stream<Corners>(m.triangleCount, [&](std::size_t first, std::size_t count, Corners *out) {
      const Triangle *r = m.records + first;
      for (std::size_t i = 0; i < count; ++i)
        out[i] = {std::uint32_t(r[i].a), std::uint32_t(r[i].b), std::uint32_t(r[i].c)};
    });
  }
  if (!w.flush())
    return ExportResult::failure("writing the glTF binary failed");
  return ExportResult::success();
}

std::vector<char> glbBytes(const SessionModel &model, const ColourScale &scale,
                           const ShareScene &scene) {
  std::vector<char> out;
  const ExportResult r = formatGlb(model, scale, scene, [&out](const char *d, std::size_t s) {
    out.insert(out.end(), d, d + s);
    return true;
  });
  if (!r.ok)
    out.clear();
  return out;
}

ExportResult writeGltfFile(const std::string &target, const SessionModel &model,
                           const ColourScale &scale, const ShareScene &scene) {
  return writeAtomically(target, [&](AtomicFile &file) {
    return formatGlb(model, scale, scene,
                     [&file](const char *d, std::size_t s) { return file.write(d, s); });
  });
}
