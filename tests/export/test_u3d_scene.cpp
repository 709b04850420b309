// The exported scene read back with the test decoder: fixed values, mesh contents, the
// texture's pixels, index-range boundaries, empty meshes, determinism and failures.
#include "export/U3dExport.h"
#include "export/U3dScene.h"
#include "session/SessionModel.h"
#include "u3d_scene_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;
using namespace u3dtest;

namespace {

class TempDir {
public:
  TempDir() {
    std::string t = (fs::temp_directory_path() / "u3d_scene_XXXXXX").string();
    path_ = ::mkdtemp(t.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string file(const std::string &name) const { return (path_ / name).string(); }
  const fs::path &path() const { return path_; }

private:
  fs::path path_;
};

// Points spread over a surface with deviations across the tolerance band.
SessionModel makeModel(std::size_t points, std::size_t triangles, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> coord(-50.0f, 50.0f), dev(-0.5f, 0.5f);
  SessionModel m;
  m.SetPath("memory.ses");
  m.pointCount = static_cast<std::int32_t>(points);
  m.points.allocate(points);
  m.normals.allocate(points);
  m.deviations.allocate(points);
  for (std::size_t i = 0; i < points; ++i) {
    m.points[i] = {coord(rng), coord(rng), coord(rng)};
    m.normals[i] = {0, 0, 1};
    m.deviations[i] = dev(rng);
  }
  if (triangles > 0) {
    m.triangleCount = static_cast<std::int32_t>(triangles);
    m.triangles.allocate(triangles);
    const auto p = static_cast<std::int32_t>(points);
    for (std::size_t j = 0; j < triangles; ++j) {
      const auto pick = [&] { return static_cast<std::int32_t>(rng() % static_cast<unsigned>(p)); };
      // Distinct corners, the highest index included now and then.
      const std::int32_t a = pick();
      std::int32_t b = j % 5 == 0 ? p - 1 : pick();
      while (b == a)
        b = pick();
      std::int32_t c = pick();
      while (c == a || c == b)
        c = pick();
      m.triangles[j] = {a, b, c};
    }
  }
  return m;
}

ColourScale outsideScale() { return ColourScale(0.25f, -0.25f, 5, 1, false, false); }

struct Env {
  TempDir dir;
  Env() {
    ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
    ::setenv("HOME", dir.file("home").c_str(), 1);
  }
};

Scene exportAndRead(SessionModel &model, const ColourScale &scale, const std::string &target) {
  const ExportResult r = ExportU3dScene(target, model, scale);
  EXPECT_TRUE(r.ok) << r.message;
  return readScene(readWholeFile(target));
}

const std::array<float, 16> kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

TEST(U3dScene, FixedBlocksHoldTheSceneValues) {
  Env env;
  SessionModel model = makeModel(5, 3);
  const Scene s = exportAndRead(model, outsideScale(), env.dir.file("scene.u3d"));

  EXPECT_EQ(s.order,
            (std::vector<std::string>{"priority", "chain Camera1", "chain PointLight1",
                                      "chain ModelNode1", "chain ModelResource1", "view resource",
                                      "light resource", "material", "shader", "chain farbe1",
                                      "motion", "priority", "base mesh", "texture bytes"}));
  EXPECT_EQ(s.chainTypes, (std::vector<std::uint32_t>{0, 0, 0, 1, 2}));
  EXPECT_EQ(s.priorities, (std::vector<std::uint32_t>{0, 256}));
  EXPECT_EQ(s.header.major, 0);
  EXPECT_EQ(s.header.minor, 0);
  EXPECT_EQ(s.header.profile, 0u);
  EXPECT_EQ(s.header.encoding, 106u);
  EXPECT_EQ(s.header.declarationSize, s.meshOffset);

  EXPECT_EQ(s.view.node.name, "Camera1");
  ASSERT_EQ(s.view.node.parents.size(), 1u);
  EXPECT_EQ(s.view.node.parents[0].first, "");
  EXPECT_EQ(s.view.node.parents[0].second,
            (std::array<float, 16>{1, 0, 0, 0, 0, 0.258819f, 0.965926f, 0, 0, -0.965926f, 0.258819f,
                                   0, 0, -241.48146f, 64.704765f, 1}));
  EXPECT_EQ(s.view.resource, "CameraResource1");
  EXPECT_EQ(s.view.attributes, 0u);
  EXPECT_EQ(s.view.projection, 34.515877f);
  EXPECT_EQ(s.view.viewport, (std::array<float, 4>{500, 500, 0, 0}));
  EXPECT_GT(s.view.farClip, s.view.nearClip);
  EXPECT_GT(s.view.nearClip, 0.0f);

  EXPECT_EQ(s.light.node.name, "PointLight1");
  EXPECT_EQ(s.light.node.parents.at(0).first, "");
  EXPECT_EQ(s.light.node.parents.at(0).second,
            (std::array<float, 16>{-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 31.295425f, -134.06844f,
                                   19.701351f, 1}));
  EXPECT_EQ(s.light.resource, "LightResource1");

  EXPECT_EQ(s.model.node.name, "ModelNode1");
  EXPECT_EQ(s.model.node.parents.at(0).first, "");
  EXPECT_EQ(
      s.model.node.parents.at(0).second,
      (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -3.3365681f, -63.002571f, 0, 1}));
  EXPECT_EQ(s.model.resource, "ModelResource1");
  EXPECT_NE(s.model.visibility, 0u);

  EXPECT_EQ(s.modelChainTypes,
            (std::vector<std::uint32_t>{0xFFFFFF22, 0xFFFFFF45, 0xFFFFFF43, 0xFFFFFF46}));
  EXPECT_EQ(s.shading.name, "ModelNode1");
  EXPECT_EQ(s.shading.chainIndex, 1u);
  EXPECT_EQ(s.shading.attributes, 0x1u);
  EXPECT_EQ(s.shading.lists, (std::vector<std::vector<std::string>>{{"ShaderLitTexture1"}}));
  EXPECT_EQ(s.animation.name, "ModelNode1");
  EXPECT_EQ(s.animation.chainIndex, 2u);
  EXPECT_TRUE(s.animation.attributes & 0x1) << "playing";
  ASSERT_EQ(s.animation.motions.size(), 1u);
  EXPECT_EQ(s.animation.motions[0].name, "BoxMotion1");
  EXPECT_EQ(s.animation.motions[0].attributes & 0x1, 0x1u) << "loops";
  EXPECT_EQ(s.animation.motions[0].timeScale, 1.0f);
  EXPECT_EQ(s.animation.motions[0].offset, 0.0f);
  EXPECT_EQ(s.clod.name, "ModelNode1");
  EXPECT_EQ(s.clod.chainIndex, 3u);
  EXPECT_EQ(s.clod.level, 1.0f);

  EXPECT_EQ(s.viewResource.name, "CameraResource1");
  EXPECT_EQ(s.viewResource.root, "");
  EXPECT_EQ(s.viewResource.renderAttributes, 0u);

  EXPECT_EQ(s.lightResource.name, "LightResource1");
  EXPECT_EQ(s.lightResource.attributes & 0x1, 0x1u);
  EXPECT_EQ(s.lightResource.type, 2);
  EXPECT_EQ(s.lightResource.colour, (std::array<float, 4>{1, 1, 1, 1}));
  EXPECT_EQ(s.lightResource.attenuation, (std::array<float, 3>{1, 0, 0}));
  EXPECT_EQ(s.lightResource.intensity, 1.0f);

  EXPECT_EQ(s.material.name, "Farbe1");
  EXPECT_EQ(s.material.attributes, 0x3Fu);
  EXPECT_EQ(s.material.ambient, (std::array<float, 3>{0.5f, 0.06f, 0.06f}));
  EXPECT_EQ(s.material.diffuse, (std::array<float, 3>{0.341176f, 0.560784f, 0.878431f}));
  EXPECT_EQ(s.material.specular, (std::array<float, 3>{0.072f, 0.072f, 0.072f}));
  EXPECT_EQ(s.material.emissive, (std::array<float, 3>{0.2f, 0.2f, 0.2f}));
  EXPECT_EQ(s.material.reflectivity, 0.5f);
  EXPECT_EQ(s.material.opacity, 1.0f);

  EXPECT_EQ(s.shader.name, "ShaderLitTexture1");
  EXPECT_EQ(s.shader.attributes, 0x5u) << "lighting and vertex colours";
  EXPECT_EQ(s.shader.material, "Farbe1");
  EXPECT_EQ(s.shader.channels, 0x1u);
  ASSERT_EQ(s.shader.layers.size(), 1u);
  EXPECT_EQ(s.shader.layers[0].texture, "farbe1");
  EXPECT_EQ(s.shader.layers[0].blendFunction, 2) << "multiply by the white texel";
  EXPECT_EQ(s.shader.layers[0].mode, 0);
  EXPECT_EQ(s.shader.layers[0].transform, kIdentity);
  EXPECT_EQ(s.shader.layers[0].wrapTransform, kIdentity);

  EXPECT_EQ(s.texture.name, "farbe1");
  EXPECT_EQ(s.texture.width, 32u);
  EXPECT_EQ(s.texture.height, 32u);
  EXPECT_EQ(s.texture.imageType, 0x0E);
  ASSERT_EQ(s.texture.images.size(), 1u);
  EXPECT_EQ(s.texture.images[0].compression, 0x02);
  EXPECT_EQ(s.texture.images[0].channels, 0x0E);
  EXPECT_EQ(s.textureBytes.name, "farbe1");
  EXPECT_EQ(s.textureBytes.imageIndex, 0u);

  EXPECT_EQ(s.motion.name, "BoxMotion1");
  ASSERT_EQ(s.motion.tracks.size(), 1u);
  EXPECT_EQ(s.motion.tracks[0].name, "BoxTrack1");
  ASSERT_EQ(s.motion.tracks[0].frames.size(), 2u);
  EXPECT_GT(s.motion.timeIQ, 0.0f);
  EXPECT_GT(s.motion.rotationIQ, 0.0f);
  EXPECT_GT(s.motion.tracks[0].displacementIQ, 0.0f);
  EXPECT_GT(s.motion.tracks[0].scaleIQ, 0.0f);
  for (const KeyFrame &f : s.motion.tracks[0].frames) {
    EXPECT_EQ(f.time, 0.0f);
    EXPECT_EQ(f.displacement, (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(f.rotation, (std::array<float, 4>{1, 0, 0, 0}));
    EXPECT_EQ(f.scale, (std::array<float, 3>{0, 0, 0})) << "no change from scale 1";
  }
}

void expectMeshMatchesModel(const Scene &s, const SessionModel &model, const ColourScale &scale) {
  const std::size_t p = static_cast<std::size_t>(model.pointCount);
  const std::size_t t = model.hasTriangles() ? static_cast<std::size_t>(model.triangleCount) : 0;
  const MeshDeclaration &d = s.declaration;
  EXPECT_EQ(d.name, "ModelResource1");
  EXPECT_EQ(d.chainIndex, 0u);
  EXPECT_EQ(d.attributes, 0u);
  EXPECT_EQ(d.counts, (std::array<std::uint32_t, 6>{
                          static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(p),
                          static_cast<std::uint32_t>(3 * t), static_cast<std::uint32_t>(p), 0, 4}));
  ASSERT_EQ(d.shadings.size(), 1u);
  EXPECT_EQ(d.shadings[0].attributes, 0x1u);
  EXPECT_EQ(d.shadings[0].layerDimensions, std::vector<std::uint32_t>{2});
  EXPECT_EQ(d.minResolution, p);
  EXPECT_EQ(d.maxResolution, p);
  for (float iq : d.inverseQuantisation)
    EXPECT_GT(iq, 0.0f);
  if (p == 0) {
    EXPECT_FALSE(s.mesh.has_value());
    return;
  }
  ASSERT_TRUE(s.mesh.has_value());
  const BaseMesh &m = *s.mesh;
  EXPECT_EQ(m.name, "ModelResource1");
  EXPECT_EQ(m.chainIndex, 0u);
  EXPECT_EQ(m.counts, d.counts);
  for (std::size_t i = 0; i < p; ++i) {
    const Vec3f &q = model.points[i];
    ASSERT_EQ(m.positions[i], (std::array<float, 3>{q.x, q.y, q.z})) << "position " << i;
    const Colour c = scale.colourFor(model.deviations[i]);
    ASSERT_EQ(m.diffuse[i], (std::array<float, 4>{static_cast<float>(c.r), static_cast<float>(c.g),
                                                  static_cast<float>(c.b), 1.0f}))
        << "colour " << i;
  }
  EXPECT_EQ(m.texCoords.size(), 4u);
  for (const auto &tc : m.texCoords)
    EXPECT_EQ(tc, (std::array<float, 4>{0, 0, 0, 0}));
  ASSERT_EQ(m.faces.size(), t);
  for (std::size_t j = 0; j < t; ++j) {
    const Face &f = m.faces[j];
    const Triangle &r = model.triangles[j];
    ASSERT_EQ(f.shading, 0u);
    const std::int32_t corners[3] = {r.a, r.b, r.c};
    for (std::size_t k = 0; k < 3; ++k) {
      ASSERT_EQ(f.corners[k].position, static_cast<std::uint32_t>(corners[k])) << j;
      ASSERT_EQ(f.corners[k].normal, 3 * j + k) << j;
      ASSERT_EQ(f.corners[k].diffuse, static_cast<std::uint32_t>(corners[k])) << j;
      ASSERT_EQ(f.corners[k].texCoords, std::vector<std::uint32_t>{0}) << j;
    }
    // Flat shading: the three normals are one unit vector along (b - a) x (c - a).
    const auto &n = m.normals[3 * j];
    ASSERT_EQ(m.normals[3 * j + 1], n);
    ASSERT_EQ(m.normals[3 * j + 2], n);
    const Vec3f a = model.points[static_cast<std::size_t>(r.a)];
    const Vec3f e1 = model.points[static_cast<std::size_t>(r.b)] - a;
    const Vec3f e2 = model.points[static_cast<std::size_t>(r.c)] - a;
    const double cx = double{e1.y} * e2.z - double{e1.z} * e2.y;
    const double cy = double{e1.z} * e2.x - double{e1.x} * e2.z;
    const double cz = double{e1.x} * e2.y - double{e1.y} * e2.x;
    const double len = std::sqrt(cx * cx + cy * cy + cz * cz);
    ASSERT_GT(len, 0.0);
    ASSERT_NEAR(n[0], cx / len, 1e-5) << j;
    ASSERT_NEAR(n[1], cy / len, 1e-5) << j;
    ASSERT_NEAR(n[2], cz / len, 1e-5) << j;
  }
}

TEST(U3dScene, MeshHoldsPositionsNormalsColoursAndFaces) {
  Env env;
  SessionModel model = makeModel(40, 60, 3);
  // A point above the upper tolerance is red on screen and must be red in the file.
  model.deviations[0] = 0.3f;
  const ColourScale scale = outsideScale();
  const Scene s = exportAndRead(model, scale, env.dir.file("mesh.u3d"));
  expectMeshMatchesModel(s, model, scale);
  EXPECT_EQ(s.mesh->diffuse[0], (std::array<float, 4>{1, 0, 0, 1}));
}

// Reads the PNG's chunks, checks their CRCs and returns the unfiltered RGB pixels.
std::vector<std::uint8_t> decodePng(const std::vector<std::uint8_t> &png, std::uint32_t &w,
                                    std::uint32_t &h) {
  const std::uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || !std::equal(sig, sig + 8, png.begin()))
    throw DecodeError("no PNG signature");
  auto be32 = [&](std::size_t at) {
    return (std::uint32_t{png.at(at)} << 24) | (std::uint32_t{png.at(at + 1)} << 16) |
           (std::uint32_t{png.at(at + 2)} << 8) | png.at(at + 3);
  };
  std::vector<std::uint8_t> idat;
  std::vector<std::string> chunks;
  std::size_t at = 8;
  while (at < png.size()) {
    const std::uint32_t len = be32(at);
    const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           png.begin() + static_cast<std::ptrdiff_t>(at + 8));
    const uLong crc = crc32(0L, png.data() + at + 4, len + 4);
    if (crc != be32(at + 8 + len))
      throw DecodeError("bad CRC in " + type);
    if (type == "IHDR") {
      w = be32(at + 8);
      h = be32(at + 12);
      if (png[at + 16] != 8 || png[at + 17] != 2 || png[at + 20] != 0)
        throw DecodeError("not 8-bit RGB without interlace");
    } else if (type == "IDAT") {
      idat.insert(idat.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                  png.begin() + static_cast<std::ptrdiff_t>(at + 8 + len));
    }
    chunks.push_back(type);
    at += 12 + len;
  }
  if (chunks.front() != "IHDR" || chunks.back() != "IEND" || at != png.size())
    throw DecodeError("bad chunk sequence");
  std::vector<std::uint8_t> raw((w * 3 + 1) * h);
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, idat.data(), idat.size()) != Z_OK || rawSize != raw.size())
    throw DecodeError("IDAT does not inflate to the image size");
  std::vector<std::uint8_t> px;
  for (std::uint32_t y = 0; y < h; ++y) {
    if (raw[y * (w * 3 + 1)] != 0)
      throw DecodeError("unexpected row filter");
    const auto row = raw.begin() + static_cast<std::ptrdiff_t>(y * (w * 3 + 1) + 1);
    px.insert(px.end(), row, row + w * 3);
  }
  return px;
}

TEST(U3dScene, TextureIsAPngOfTheWhiteAndRedChecker) {
  Env env;
  SessionModel model = makeModel(3, 1);
  const Scene s = exportAndRead(model, outsideScale(), env.dir.file("tex.u3d"));
  EXPECT_EQ(s.texture.images[0].byteCount, s.textureBytes.bytes.size());
  std::uint32_t w = 0, h = 0;
  const std::vector<std::uint8_t> px = decodePng(s.textureBytes.bytes, w, h);
  ASSERT_EQ(w, 32u);
  ASSERT_EQ(h, 32u);
  for (std::uint32_t y = 0; y < 32; ++y)
    for (std::uint32_t x = 0; x < 32; ++x) {
      const bool topHalf = y < 16, leftHalf = x < 16;
      const std::uint8_t gb = topHalf == leftHalf ? 255 : 0; // white squares top left
      const std::size_t i = (y * 32 + x) * 3;
      ASSERT_EQ(px[i], 255) << x << "," << y;
      ASSERT_EQ(px[i + 1], gb) << x << "," << y;
      ASSERT_EQ(px[i + 2], gb) << x << "," << y;
    }
}

// Index ranges of 16383 and more are stored as plain 32-bit values inside the coded
// stream; meshes on both sides of that boundary must read back exactly.
TEST(U3dScene, MeshesAroundTheIndexRangeBoundaryReadBack) {
  Env env;
  struct Case {
    std::size_t points, triangles;
  };
  for (const Case c :
       {Case{16382, 40}, Case{16383, 40}, Case{16384, 9000}, Case{200, 5460}, Case{200, 5461}}) {
    SCOPED_TRACE(std::to_string(c.points) + " points, " + std::to_string(c.triangles) +
                 " triangles");
    SessionModel model = makeModel(c.points, c.triangles, static_cast<unsigned>(c.points));
    const ColourScale scale = outsideScale();
    const Scene s = exportAndRead(model, scale, env.dir.file("edge.u3d"));
    expectMeshMatchesModel(s, model, scale);
  }
}

TEST(U3dScene, MeasurementWithoutTrianglesKeepsPointsAndColours) {
  Env env;
  SessionModel model = makeModel(25, 0);
  const ColourScale scale = outsideScale();
  const Scene s = exportAndRead(model, scale, env.dir.file("points.u3d"));
  expectMeshMatchesModel(s, model, scale);
  EXPECT_TRUE(s.mesh->faces.empty());
  EXPECT_TRUE(s.mesh->normals.empty());
}

TEST(U3dScene, EmptyMeasurementHasNoBaseMesh) {
  Env env;
  SessionModel model = makeModel(0, 0);
  const Scene s = exportAndRead(model, outsideScale(), env.dir.file("empty.u3d"));
  expectMeshMatchesModel(s, model, outsideScale());
  EXPECT_EQ(s.order.back(), "texture bytes");
  EXPECT_EQ(s.header.declarationSize, s.textureOffset);
}

TEST(U3dScene, IdenticalInputsGiveIdenticalFiles) {
  Env env;
  SessionModel a = makeModel(300, 500, 11);
  SessionModel b = makeModel(300, 500, 11);
  // Normals with negative zeros are written as +0, so both spellings give one file.
  a.ComputeTriangleNormals(500);
  b.ComputeTriangleNormals(500);
  a.triangleNormals[0] = {-0.0f, 1.0f, -0.0f};
  b.triangleNormals[0] = {0.0f, 1.0f, 0.0f};
  ASSERT_TRUE(ExportU3dScene(env.dir.file("a.u3d"), a, outsideScale()).ok);
  ASSERT_TRUE(ExportU3dScene(env.dir.file("b.u3d"), b, outsideScale()).ok);
  const auto fa = readWholeFile(env.dir.file("a.u3d"));
  EXPECT_EQ(fa, readWholeFile(env.dir.file("b.u3d")));
  const Scene s = readScene(fa);
  EXPECT_FALSE(std::signbit(s.mesh->normals[0][0]));
  EXPECT_FALSE(std::signbit(s.mesh->normals[2][2]));
}

// The export encodes the mesh from the model while writing, in pieces; its bytes must equal
// those of the whole file built in memory from the filled mesh (the encoder as it was).
TEST(U3dScene, StreamedFileEqualsTheFileBuiltInMemory) {
  Env env;
  struct Case {
    std::size_t points, triangles;
    bool normals;
  };
  // The last case spans several of the writer's 1 MiB pieces.
  for (const Case c : {Case{0, 0, false}, Case{7, 0, false}, Case{16383, 40, true},
                       Case{16384, 9000, false}, Case{300, 500, true}, Case{30000, 60000, false}}) {
    SCOPED_TRACE(std::to_string(c.points) + " points, " + std::to_string(c.triangles) +
                 " triangles");
    SessionModel model = makeModel(c.points, c.triangles, static_cast<unsigned>(c.points + 3));
    if (c.normals)
      model.ComputeTriangleNormals(static_cast<std::uint32_t>(c.triangles));
    U3dMesh mesh;
    ASSERT_TRUE(FillAuthorMesh(&mesh, model, outsideScale()).ok);
    const std::vector<std::uint8_t> inMemory = U3dFileLayout(buildU3dSceneBlocks(mesh)).bytes();

    ASSERT_TRUE(ExportU3dScene(env.dir.file("s.u3d"), model, outsideScale()).ok);
    EXPECT_TRUE(readWholeFile(env.dir.file("s.u3d")) == inMemory);
    const U3dSceneFile scene = buildU3dSceneFile(model, outsideScale(), U3dListing::Skip);
    ASSERT_TRUE(scene.layout);
    EXPECT_EQ(scene.layout->fileSize(), inMemory.size());
  }
}

TEST(U3dScene, DiagnosticListingDescribesTheMesh) {
  Env env;
  SessionModel m;
  m.SetPath("small.ses");
  m.pointCount = 3;
  m.points.allocate(3);
  m.deviations.allocate(3);
  m.points[0] = {0, 0, 0};
  m.points[1] = {1.5f, 0, 0};
  m.points[2] = {0, 2, 1234567.0f};
  for (int i = 0; i < 3; ++i)
    m.deviations[static_cast<std::size_t>(i)] = 0;
  m.triangleCount = 1;
  m.triangles.allocate(1);
  m.triangles[0] = {0, 1, 2};
  m.storeNormalIndices();
  m.triangleNormalIndices[0] = 7;
  ASSERT_TRUE(ExportU3dScene(env.dir.file("l.u3d"), m, outsideScale()).ok);
  std::ifstream in(env.dir.file("cache") + "/VelmoraViewer/result.txt");
  ASSERT_TRUE(in) << "listing not written under XDG_CACHE_HOME";
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Normal of (1.5,0,0) x (0,2,1234567) = (0, -1851850.5, 3), normalised (0, -1, 1.62e-06).
  EXPECT_EQ(text, "Punkte:\n\n"
                  "Punkt 0:  0   0  0\n"
                  "Punkt 1:  1.5   0  0\n"
                  "Punkt 2:  0   2  1.23457e+06\n"
                  "\nDreiecke:\n\n"
                  "Dreieck 0:  0   1  2  7\n"
                  "\nNormalen:\n\n"
                  "Normale 0:  0   -1  1.62e-06\n"
                  "\nDreiecknormalen:\n\n"
                  "Dreieck 0:  0   1   2   7\n");
}

TEST(U3dScene, ListingFallsBackToHomeAndIsSkippedWithoutIt) {
  Env env;
  ::unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(u3dListingPath(), env.dir.file("home") + "/.cache/VelmoraViewer/result.txt");
  SessionModel m = makeModel(4, 2);
  ASSERT_TRUE(ExportU3dScene(env.dir.file("h.u3d"), m, outsideScale()).ok);
  EXPECT_TRUE(fs::exists(u3dListingPath()));
  // A listing that cannot be written does not fail the export.
  ::setenv("XDG_CACHE_HOME", "/proc/no-such-dir", 1);
  EXPECT_TRUE(ExportU3dScene(env.dir.file("h2.u3d"), m, outsideScale()).ok);
  ::unsetenv("XDG_CACHE_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(u3dListingPath(), "");
  EXPECT_TRUE(ExportU3dScene(env.dir.file("h3.u3d"), m, outsideScale()).ok);
}

TEST(U3dScene, FailuresLeaveTheTargetUntouched) {
  Env env;
  const std::string target = env.dir.file("keep.u3d");
  { std::ofstream(target) << "old contents"; }
  SessionModel bad = makeModel(10, 4);
  bad.triangles[2].b = 10; // one past the last point
  const ExportResult r = ExportU3dScene(target, bad, outsideScale());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("triangle 2"), std::string::npos) << r.message;
  std::ifstream in(target);
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "old contents");

  SessionModel good = makeModel(10, 4);
  const ExportResult missingFolder =
      ExportU3dScene(env.dir.file("no/such/folder/x.u3d"), good, outsideScale());
  EXPECT_FALSE(missingFolder.ok);
  EXPECT_FALSE(missingFolder.message.empty());

  U3dMesh *none = nullptr;
  EXPECT_FALSE(FillAuthorMesh(none, good, outsideScale()).ok);
  // Nothing but the kept file (and the listing folder) is left behind.
  std::size_t files = 0;
  for (const auto &e : fs::directory_iterator(env.dir.path()))
    files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1u);
}

void writeSessionFile(const std::string &path, const SessionModel &m) {
  std::ofstream out(path, std::ios::binary);
  const std::int32_t header[4] = {0, m.pointCount, m.triangleCount, 0};
  out.write(reinterpret_cast<const char *>(header), sizeof header);
  const auto n = static_cast<std::streamsize>(m.pointCount);
  out.write(reinterpret_cast<const char *>(m.points.data()), 12 * n);
  out.write(reinterpret_cast<const char *>(m.normals.data()), 12 * n);
  out.write(reinterpret_cast<const char *>(m.deviations.data()), 4 * n);
  for (std::size_t t = 0; t < m.triangles.size(); ++t) {
    const TriangleRecord r = m.recordOf(t);
    out.write(reinterpret_cast<const char *>(&r), sizeof r);
  }
}

TEST(U3dExportFile, ReReadsTheSessionFileAndRefusesOthers) {
  Env env;
  SessionModel m = makeModel(50, 70, 5);
  const std::string ses = env.dir.file("model.ses");
  writeSessionFile(ses, m);
  const std::string target = env.dir.file("out.u3d");
  const ColourScale scale = outsideScale();
  ASSERT_EQ(ExportU3d(target, ses, scale), 1);
  expectMeshMatchesModel(readScene(readWholeFile(target)), m, scale);

  const ExportResult text = exportU3dFile(env.dir.file("t.u3d"), env.dir.file("points.txt"), scale);
  EXPECT_FALSE(text.ok);
  EXPECT_NE(text.message.find("export needs a session file"), std::string::npos);
  EXPECT_FALSE(fs::exists(env.dir.file("t.u3d")));

  const ExportResult missing =
      exportU3dFile(env.dir.file("m.u3d"), env.dir.file("missing.ses"), scale);
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.message.find("missing.ses"), std::string::npos) << missing.message;
  EXPECT_EQ(ExportU3d(env.dir.file("m.u3d"), env.dir.file("missing.ses"), scale), 0);
  EXPECT_FALSE(fs::exists(env.dir.file("m.u3d")));
}

} // namespace
