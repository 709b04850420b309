#include "export/U3dScene.h"

#include "export/U3dBitWriter.h"
#include "export/U3dPng.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

namespace {

using Matrix = std::array<float, 16>;

constexpr std::uint32_t kChainNode = 0;
constexpr std::uint32_t kChainModelResource = 1;
constexpr std::uint32_t kChainTexture = 2;

constexpr int kTextureSize = 32;
constexpr std::uint32_t kTexCoordCount = 4;

// Column order, one column per line; the camera is 250 units out, turned 75 degrees
// about x (0.258819 and 0.965926 are the cosine and sine of 75 degrees).
// clang-format off
constexpr Matrix kCameraMatrix = {1, 0,           0,          0,
                                  0, 0.258819f,   0.965926f,  0,
                                  0, -0.965926f,  0.258819f,  0,
                                  0, -241.48146f, 64.704765f, 1};
constexpr Matrix kLightMatrix = {-1,         0,           0,          0,
                                 0,          1,           0,          0,
                                 0,          0,           1,          0,
                                 31.295425f, -134.06844f, 19.701351f, 1};
constexpr Matrix kModelMatrix = {1,           0,           0, 0,
                                 0,           1,           0, 0,
                                 0,           0,           1, 0,
                                 -3.3365681f, -63.002571f, 0, 1};
constexpr Matrix kIdentity = {1, 0, 0, 0,
                              0, 1, 0, 0,
                              0, 0, 1, 0,
                              0, 0, 0, 1};
// clang-format on

void matrix(U3dBitWriter &w, const Matrix &m) { w.f32s(m.data(), m.size()); }

void nodeStart(U3dBitWriter &w, const std::string &name, const Matrix &m) {
  w.string(name);
  w.u32(1);     // one parent
  w.string(""); // the world
  matrix(w, m);
}

U3dBlock viewNode() {
  U3dBitWriter w;
  nodeStart(w, "Camera1", kCameraMatrix);
  w.string("CameraResource1");
  w.u32(0); // perspective, viewport in pixels
  w.f32(1.0f);
  w.f32(std::numeric_limits<float>::max());
  w.f32(34.515877f); // field of view, degrees
  const float viewport[4] = {500, 500, 0, 0};
  w.f32s(viewport, 4);
  w.u32(0); // backdrops
  w.u32(0); // overlays
  return {u3d::kViewNode, w.finish()};
}

U3dBlock lightNode() {
  U3dBitWriter w;
  nodeStart(w, "PointLight1", kLightMatrix);
  w.string("LightResource1");
  return {u3d::kLightNode, w.finish()};
}

U3dBlock modelNode() {
  U3dBitWriter w;
  nodeStart(w, "ModelNode1", kModelMatrix);
  w.string("ModelResource1");
  w.u32(3); // scanned surfaces are open: show front and back faces
  return {u3d::kModelNode, w.finish()};
}

U3dBlock shadingModifier() {
  U3dBitWriter w;
  w.string("ModelNode1");
  w.u32(1);   // chain index
  w.u32(0x1); // applies to meshes
  w.u32(1);   // one shader list
  w.u32(1);   // one shader in it
  w.string("ShaderLitTexture1");
  return {u3d::kShadingModifier, w.finish()};
}

U3dBlock animationModifier() {
  U3dBitWriter w;
  w.string("ModelNode1");
  w.u32(2);    // chain index
  w.u32(0x0D); // playing, single track, automatic blending
  w.f32(1.0f); // time scale
  w.u32(1);    // one motion
  w.string("BoxMotion1");
  w.u32(0x1);  // loop
  w.f32(0.0f); // time offset
  w.f32(1.0f); // time scale
  w.f32(0.5f); // blend time
  return {u3d::kAnimationModifier, w.finish()};
}

U3dBlock clodModifier() {
  U3dBitWriter w;
  w.string("ModelNode1");
  w.u32(3);    // chain index
  w.u32(0);    // level of detail fixed, not chosen from screen size
  w.f32(1.0f); // bias
  w.f32(1.0f); // full resolution
  return {u3d::kClodModifier, w.finish()};
}

// Numbers of faces and points; every face has three normals of its own, every point a colour.
struct MeshSize {
  std::size_t faces = 0, points = 0;
};

void meshCounts(U3dBitWriter &w, MeshSize m) {
  w.u32(static_cast<std::uint32_t>(m.faces));
  w.u32(static_cast<std::uint32_t>(m.points));
  w.u32(static_cast<std::uint32_t>(3 * m.faces));
  w.u32(static_cast<std::uint32_t>(m.points));
  w.u32(0); // specular colours
  w.u32(kTexCoordCount);
}

U3dBlock meshDeclaration(MeshSize m) {
  U3dBitWriter w;
  w.string("ModelResource1");
  w.u32(0); // chain index
  w.u32(0); // the mesh has normals
  meshCounts(w, m);
  w.u32(1);   // one shading description
  w.u32(0x1); // corners carry diffuse colours
  w.u32(1);   // one texture layer
  w.u32(2);   // of two dimensions
  w.u32(0);   // original shading id
  const auto p = static_cast<std::uint32_t>(m.points);
  w.u32(p); // everything sits in the base mesh
  w.u32(p);
  for (int i = 0; i < 3; ++i)
    w.u32(250); // quality factors
  const float inverseQuantisation[5] = {0.001f, 0.001f, 0.001f, 0.001f, 0.001f};
  w.f32s(inverseQuantisation, 5);
  w.f32(0.9f);   // normal crease
  w.f32(-0.5f);  // normal update
  w.f32(0.985f); // normal tolerance
  w.u32(0);      // bones
  return {u3d::kClodMeshDeclaration, w.finish()};
}

U3dBlock baseMesh(const U3dMesh &m) {
  U3dBitWriter w;
  const std::size_t faces = m.faces.size();
  w.reserve(64 + m.positions.size() * 28 + m.normals.size() * 12 + faces * 40);
  w.string("ModelResource1");
  w.u32(0); // chain index
  meshCounts(w, {m.faces.size(), m.positions.size()});
  for (const Vec3f &p : m.positions) {
    w.f32(p.x);
    w.f32(p.y);
    w.f32(p.z);
  }
  for (const Vec3f &n : m.normals) {
    w.f32(n.x);
    w.f32(n.y);
    w.f32(n.z);
  }
  for (const auto &c : m.colours)
    w.f32s(c.data(), 4);
  for (std::uint32_t i = 0; i < kTexCoordCount; ++i)
    for (int k = 0; k < 4; ++k)
      w.f32(0.0f);
  const auto positions = static_cast<std::uint32_t>(m.positions.size());
  const auto normals = static_cast<std::uint32_t>(m.normals.size());
  const auto colours = static_cast<std::uint32_t>(m.colours.size());
  U3dHistogram shading;
  for (std::size_t j = 0; j < faces; ++j) {
    w.dynamic(shading, 0, 4);
    for (std::uint32_t k = 0; k < 3; ++k) {
      const std::uint32_t v = m.faces[j][k];
      w.staticU32(v, positions);
      w.staticU32(static_cast<std::uint32_t>(3 * j + k), normals);
      w.staticU32(v, colours);
      w.staticU32(0, kTexCoordCount);
    }
  }
  return {u3d::kClodBaseMesh, w.finish()};
}

// The streamed base mesh: the same fields as baseMesh, read from the source in batches.
constexpr std::size_t kBatch = 16384;
constexpr std::string_view kModelResource = "ModelResource1";

// Bytes of the base mesh before its faces: all plain values, so one byte each.
std::uint64_t plainBaseMeshBytes(MeshSize m) {
  return 2 + kModelResource.size() + 4 + 6 * 4 + std::uint64_t{m.points} * (12 + 16) +
         std::uint64_t{m.faces} * 36 + kTexCoordCount * 16;
}

void encodePlainBaseMesh(U3dBitWriter &w, const U3dMeshSource &m) {
  const MeshSize size{m.faceCount(), m.pointCount()};
  w.string(kModelResource);
  w.u32(0); // chain index
  meshCounts(w, size);
  std::vector<Vec3f> vectors(3 * kBatch);
  for (std::size_t first = 0; first < size.points; first += kBatch) {
    const std::size_t n = std::min(kBatch, size.points - first);
    m.positions(first, n, vectors.data());
    w.f32s(&vectors[0].x, 3 * n);
  }
  for (std::size_t first = 0; first < size.faces; first += kBatch) {
    const std::size_t n = std::min(kBatch, size.faces - first);
    m.cornerNormals(first, n, vectors.data());
    w.f32s(&vectors[0].x, 9 * n);
  }
  std::vector<std::array<float, 4>> colours(kBatch);
  for (std::size_t first = 0; first < size.points; first += kBatch) {
    const std::size_t n = std::min(kBatch, size.points - first);
    m.colours(first, n, colours.data());
    w.f32s(colours[0].data(), 4 * n);
  }
  for (std::uint32_t i = 0; i < kTexCoordCount; ++i)
    for (int k = 0; k < 4; ++k)
      w.f32(0.0f);
}

// The faces start with the coder at rest on a byte boundary, so their encoding does not
// depend on the plain values before them.
void encodeBaseMeshFaces(U3dBitWriter &w, const U3dMeshSource &m) {
  const std::size_t faces = m.faceCount();
  const auto positions = static_cast<std::uint32_t>(m.pointCount());
  const auto normals = static_cast<std::uint32_t>(3 * faces);
  U3dHistogram shading;
  std::vector<std::array<std::uint32_t, 3>> batch(kBatch);
  for (std::size_t first = 0; first < faces; first += kBatch) {
    const std::size_t n = std::min(kBatch, faces - first);
    m.faces(first, n, batch.data());
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t j = first + i;
      w.dynamic(shading, 0, 4);
      for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t v = batch[i][k];
        w.staticU32(v, positions);
        w.staticU32(static_cast<std::uint32_t>(3 * j + k), normals);
        w.staticU32(v, positions);
        w.staticU32(0, kTexCoordCount);
      }
    }
  }
}

U3dBlock streamedBaseMesh(const U3dMeshSource &m) {
  // The faces are coded once, into an anonymous temporary file, and copied after the plain
  // part when the block is written: the plain part leaves the coder at rest on a byte
  // boundary, so the faces code to the same bytes there as in a fresh writer. Without the
  // temporary they are coded a second time.
  std::shared_ptr<std::FILE> spill(std::tmpfile(), [](std::FILE *f) {
    if (f)
      std::fclose(f);
  });
  bool spilled = spill != nullptr;
  U3dBitWriter counter;
  counter.setSink([&](const void *data, std::size_t n) {
    spilled = spilled && std::fwrite(data, 1, n, spill.get()) == n;
    return true;
  });
  encodeBaseMeshFaces(counter, m);
  counter.finish();
  spilled = spilled && std::fflush(spill.get()) == 0;
  const std::uint64_t faceBytes = counter.bytesHanded();
  U3dBlock block;
  block.type = u3d::kClodBaseMesh;
  block.streamedSize = plainBaseMeshBytes({m.faceCount(), m.pointCount()}) + faceBytes;
  block.streamData = [&m, spill, spilled, faceBytes](const U3dSink &sink) {
    U3dBitWriter w;
    w.setSink(sink);
    encodePlainBaseMesh(w, m);
    if (!spilled || !w.plainOnByte()) {
      encodeBaseMeshFaces(w, m);
      w.finish();
      return w.sinkOk();
    }
    w.finish();
    if (!w.sinkOk() || std::fseek(spill.get(), 0, SEEK_SET) != 0)
      return false;
    std::vector<char> piece(std::size_t(1) << 20);
    std::uint64_t copied = 0;
    while (copied < faceBytes) {
      const std::size_t want =
          std::size_t(std::min<std::uint64_t>(piece.size(), faceBytes - copied));
      if (std::fread(piece.data(), 1, want, spill.get()) != want || !sink(piece.data(), want))
        return false;
      copied += want;
    }
    return true;
  };
  return block;
}

U3dBlock viewResource() {
  U3dBitWriter w;
  w.string("CameraResource1");
  w.u32(1);     // one pass
  w.string(""); // rooted at the world
  w.u32(0);     // no fog
  w.u32(1);     // fog mode exponential (unused)
  const float fog[6] = {0, 0, 0, 0, 0, 1000};
  w.f32s(fog, 6);
  return {u3d::kViewResource, w.finish()};
}

U3dBlock lightResource() {
  U3dBitWriter w;
  w.string("LightResource1");
  w.u32(0x1); // enabled
  w.u8(2);    // point light
  const float colour[4] = {1, 1, 1, 1};
  w.f32s(colour, 4);
  // Constant intensity; all-zero factors would leave the light undefined.
  const float attenuation[3] = {1, 0, 0};
  w.f32s(attenuation, 3);
  w.f32(180.0f); // spot angle
  w.f32(1.0f);   // intensity
  return {u3d::kLightResource, w.finish()};
}

U3dBlock material() {
  U3dBitWriter w;
  w.string("Farbe1");
  w.u32(0x3F);
  const float values[14] = {0.5f,      0.06f,     0.06f,     // ambient
                            0.341176f, 0.560784f, 0.878431f, // diffuse
                            0.072f,    0.072f,    0.072f,    // specular
                            0.2f,      0.2f,      0.2f,      // emissive
                            0.5f,                            // reflectivity
                            1.0f};                           // opacity
  w.f32s(values, 14);
  return {u3d::kMaterial, w.finish()};
}

U3dBlock shader() {
  U3dBitWriter w;
  w.string("ShaderLitTexture1");
  w.u32(0x1 | 0x4); // lighting, and the per-point deviation colours
  w.f32(0.0f);      // alpha test reference
  w.u32(0x617);     // alpha test: always
  w.u32(0x606);     // colour blend: alpha blend
  w.u32(1);         // render pass flags
  w.u32(0x1);       // texture layer 0 used
  w.u32(0);         // no alpha channels
  w.string("Farbe1");
  w.string("farbe1");
  w.f32(1.0f); // intensity
  w.u8(2);     // blend: multiply, so the white texel leaves vertex colours unchanged
  w.u8(1);     // blend source: constant
  w.f32(0.5f);
  w.u8(0); // use the mesh's texture coordinates
  matrix(w, kIdentity);
  matrix(w, kIdentity);
  w.u8(3); // repeat in u and v
  return {u3d::kLitTextureShader, w.finish()};
}

U3dBlock textureDeclaration(std::uint32_t pngBytes) {
  U3dBitWriter w;
  w.string("farbe1");
  w.u32(kTextureSize); // height
  w.u32(kTextureSize); // width
  w.u8(0x0E);          // RGB
  w.u32(1);            // one continuation image
  w.u8(0x02);          // PNG
  w.u8(0x0E);          // red, green, blue channels
  w.u16(0);            // bytes follow in the file
  w.u32(pngBytes);
  return {u3d::kTextureDeclaration, w.finish()};
}

U3dBlock textureContinuation(const std::vector<std::uint8_t> &png) {
  U3dBitWriter w;
  w.string("farbe1");
  w.u32(0); // image index
  for (std::uint8_t b : png)
    w.u8(b);
  return {u3d::kTextureContinuation, w.finish()};
}

U3dBlock motion() {
  U3dBitWriter w;
  w.string("BoxMotion1");
  w.u32(1);               // one track
  w.f32(1.0f / 333.3f);   // time inverse quantisation
  w.f32(1.0f / 65536.0f); // rotation inverse quantisation
  w.string("BoxTrack1");
  w.u32(2);               // key frames
  w.f32(1.0f / 32768.0f); // displacement inverse quantisation
  w.f32(1.0f / 32768.0f); // scale inverse quantisation
  // First and last frames are stored plain: time, displacement and scale as differences
  // from the frame before (the neutral frame first), rotation absolute.
  const float identityFrame[11] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  for (int frame = 0; frame < 2; ++frame)
    w.f32s(identityFrame, 11);
  return {u3d::kMotion, w.finish()};
}

U3dBlock priorityUpdate(std::uint32_t priority) {
  U3dBitWriter w;
  w.u32(priority);
  return {u3d::kPriorityUpdate, w.finish()};
}

} // namespace

std::vector<std::uint8_t> u3dCheckerPixels() {
  std::vector<std::uint8_t> px;
  px.reserve(kTextureSize * kTextureSize * 3);
  for (int y = 0; y < kTextureSize; ++y)
    for (int x = 0; x < kTextureSize; ++x) {
      const bool white = (y < kTextureSize / 2) == (x < kTextureSize / 2);
      px.push_back(255);
      px.push_back(white ? 255 : 0);
      px.push_back(white ? 255 : 0);
    }
  return px;
}

const std::array<float, 16> &u3dModelNodeMatrix() { return kModelMatrix; }

namespace {
// base is the base mesh block, absent when the mesh has no points.
std::vector<U3dBlock> sceneBlocks(MeshSize mesh, std::optional<U3dBlock> base) {
  const std::vector<std::uint8_t> pixels = u3dCheckerPixels();
  const std::vector<std::uint8_t> png = encodePngRgb(kTextureSize, kTextureSize, pixels.data());

  std::vector<U3dBlock> blocks;
  blocks.push_back(priorityUpdate(0));
  blocks.push_back(makeU3dChain("Camera1", kChainNode, {viewNode()}));
  blocks.push_back(makeU3dChain("PointLight1", kChainNode, {lightNode()}));
  blocks.push_back(
      makeU3dChain("ModelNode1", kChainNode,
                   {modelNode(), shadingModifier(), animationModifier(), clodModifier()}));
  blocks.push_back(makeU3dChain("ModelResource1", kChainModelResource, {meshDeclaration(mesh)}));
  blocks.push_back(viewResource());
  blocks.push_back(lightResource());
  blocks.push_back(material());
  blocks.push_back(shader());
  blocks.push_back(makeU3dChain("farbe1", kChainTexture,
                                {textureDeclaration(static_cast<std::uint32_t>(png.size()))}));
  blocks.push_back(motion());
  blocks.push_back(priorityUpdate(256));
  if (base)
    blocks.push_back(std::move(*base));
  blocks.push_back(textureContinuation(png));
  return blocks;
}
} // namespace

// A mesh without positions has nothing to continue.
std::vector<U3dBlock> buildU3dSceneBlocks(const U3dMesh &mesh) {
  return sceneBlocks({mesh.faces.size(), mesh.positions.size()},
                     mesh.positions.empty() ? std::nullopt : std::optional(baseMesh(mesh)));
}

std::vector<U3dBlock> buildU3dSceneBlocks(const U3dMeshSource &mesh) {
  return sceneBlocks({mesh.faceCount(), mesh.pointCount()},
                     mesh.pointCount() == 0 ? std::nullopt : std::optional(streamedBaseMesh(mesh)));
}
