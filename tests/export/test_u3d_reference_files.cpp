// Known-good files from the format's reference runtime, read with the test decoder: block
// layout, header, node and resource values, and the first resolution updates of their
// progressive meshes, which exercise the arithmetic decoder on data we did not write.
#include "u3d_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

using namespace u3dtest;

const std::string kDir = std::string(VELMORA_TEST_DATA) + "/u3d/";

std::vector<std::uint8_t> load(const std::string &name) { return readWholeFile(kDir + name); }

std::string blockName(const RawBlock &b) {
  if (b.type == 0x00443355 || b.type == 0xFFFFFF15)
    return "";
  DataReader r(b.data);
  return r.str();
}

// "offset type name" per block, chains followed by their inner blocks (file offsets).
std::vector<std::string> layout(const std::vector<std::uint8_t> &file) {
  std::vector<std::string> out;
  auto line = [&](std::size_t offset, const RawBlock &b) {
    std::ostringstream s;
    s << offset << " " << std::hex << b.type << std::dec << " " << blockName(b);
    out.push_back(s.str());
  };
  for (const RawBlock &b : splitBlocks(file, 0, file.size())) {
    line(b.offset, b);
    if (b.type == 0xFFFFFF14)
      for (const RawBlock &inner : decodeChain(b).inner)
        line(b.offset + 12 + inner.offset, inner);
  }
  return out;
}

const std::vector<std::string> kBoxLayout = {
    "0 443355 ",
    "36 ffffff15 ",
    "52 ffffff14 DefaultView",
    "92 ffffff24 DefaultView",
    "248 ffffff14 Box01",
    "280 ffffff22 Box01",
    "380 ffffff45 Box01",
    "424 ffffff14 Omni01",
    "456 ffffff23 Omni01",
    "568 ffffff14 Box01",
    "600 ffffff31 Box01",
    "724 ffffff53 Box010",
    "784 ffffff54 Material",
    "868 ffffff51 DefaultPointLight",
    "940 ffffff52 SceneViewResource",
    "1012 ffffff15 ",
    "1028 ffffff3c Box01",
};

TEST(U3dReferenceFiles, BlockLayoutOfTheBoxFiles) {
  EXPECT_EQ(layout(load("box_atom.u3d")), kBoxLayout);
  EXPECT_EQ(layout(load("box_nonatom.u3d")), kBoxLayout);
}

TEST(U3dReferenceFiles, BlockLayoutOfTheShadingFile) {
  const std::vector<std::string> expected = {
      "0 443355 ",
      "36 ffffff15 ",
      "52 ffffff51 DefaultPointLight",
      "124 ffffff14 DefaultView",
      "164 ffffff24 DefaultView",
      "320 ffffff14 Box01",
      "352 ffffff22 Box01",
      "456 ffffff14 Omni01",
      "488 ffffff23 Omni01",
      "600 ffffff52 SceneViewResource",
      "672 ffffff14 BoxModel",
      "708 ffffff31 BoxModel",
      "840 ffffff45 BoxModel",
      "892 ffffff14 lines",
      "924 ffffff55 lines",
      "964 ffffff53 ModelShader1",
      "1180 ffffff54 ModelMaterial",
      "1268 ffffff15 ",
      "1284 ffffff5c lines",
      "19124 ffffff15 ",
      "19140 ffffff3c BoxModel",
  };
  EXPECT_EQ(layout(load("shading.u3d")), expected);
}

// All blocks of a file, chains opened, keyed by type (the last of each type wins).
std::map<std::uint32_t, RawBlock> byType(const std::vector<std::uint8_t> &file) {
  std::map<std::uint32_t, RawBlock> m;
  for (const RawBlock &b : splitBlocks(file, 0, file.size())) {
    m[b.type] = b;
    if (b.type == 0xFFFFFF14)
      for (const RawBlock &inner : decodeChain(b).inner)
        m[inner.type] = inner;
  }
  return m;
}

void expectNear(float got, double want, const char *what) {
  EXPECT_NEAR(got, want, std::max(1e-6, std::fabs(want) * 1e-6)) << what;
}

void expectMatrix(const std::array<float, 16> &m, const std::array<double, 16> &want) {
  for (int i = 0; i < 16; ++i)
    expectNear(m[static_cast<std::size_t>(i)], want[static_cast<std::size_t>(i)], "matrix");
}

class EachReferenceFile : public ::testing::TestWithParam<const char *> {};

TEST_P(EachReferenceFile, HeaderAndChainsAreWellFormed) {
  const auto file = load(GetParam());
  const auto blocks = splitBlocks(file, 0, file.size());
  const Header h = decodeHeader(blocks.at(0));
  EXPECT_EQ(h.major, 0);
  EXPECT_EQ(h.minor, 0);
  EXPECT_EQ(h.profile, 0u);
  EXPECT_EQ(h.encoding, 106u);
  EXPECT_EQ(h.fileSize, file.size());
  for (const RawBlock &b : blocks) {
    EXPECT_EQ(b.metaSize, 0u);
    if (b.type == 0xFFFFFF14) {
      EXPECT_EQ(decodeChain(b).attributes, 0u);
    }
  }
}

TEST_P(EachReferenceFile, NodeAndResourceValues) {
  auto blocks = byType(load(GetParam()));
  const ViewNode v = decodeViewNode(blocks.at(0xFFFFFF24));
  ASSERT_EQ(v.node.parents.size(), 1u);
  EXPECT_EQ(v.node.parents[0].first, "");
  expectMatrix(v.node.parents[0].second, {1, 0, 0, 0, 0, 0.258819, 0.965926, 0, 0, -0.965926,
                                          0.258819, 0, 0, -241.481461, 64.7047653, 1});
  EXPECT_EQ(v.resource, "SceneViewResource");
  EXPECT_EQ(v.attributes, 0u);
  EXPECT_EQ(v.nearClip, 1.0f);
  EXPECT_EQ(v.farClip, 3.40282347e38f);
  expectNear(v.projection, 34.5158768, "field of view");
  EXPECT_EQ(v.viewport, (std::array<float, 4>{800, 600, 0, 0}));
  EXPECT_EQ(v.backdrops, 0u);
  EXPECT_EQ(v.overlays, 0u);

  const ModelNode m = decodeModelNode(blocks.at(0xFFFFFF22));
  EXPECT_EQ(m.node.name, "Box01");
  ASSERT_EQ(m.node.parents.size(), 1u);
  expectMatrix(m.node.parents[0].second,
               {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -3.33656788, -63.0025711, 0, 1});
  EXPECT_EQ(m.visibility, 1u);

  const LightNode l = decodeLightNode(blocks.at(0xFFFFFF23));
  EXPECT_EQ(l.node.name, "Omni01");
  expectMatrix(l.node.parents.at(0).second,
               {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 31.2954254, -134.068436, 19.7013512, 1});
  EXPECT_EQ(l.resource, "DefaultPointLight");

  const LightResource lr = decodeLightResource(blocks.at(0xFFFFFF51));
  EXPECT_EQ(lr.name, "DefaultPointLight");
  EXPECT_EQ(lr.attributes, 1u);
  EXPECT_EQ(lr.type, 2);
  EXPECT_EQ(lr.colour, (std::array<float, 4>{1, 1, 1, 1}));
  EXPECT_EQ(lr.attenuation, (std::array<float, 3>{1, 0, 0}));
  EXPECT_EQ(lr.spotAngle, 180.0f);
  EXPECT_EQ(lr.intensity, 1.0f);

  const ViewResource vr = decodeViewResource(blocks.at(0xFFFFFF52));
  EXPECT_EQ(vr.root, "");
  EXPECT_EQ(vr.renderAttributes, 0u);
  EXPECT_EQ(vr.fogMode, 1u);
  EXPECT_EQ(vr.fogColour, (std::array<float, 4>{0, 0, 0, 0}));
  EXPECT_EQ(vr.fogNear, 0.0f);
  EXPECT_EQ(vr.fogFar, 1000.0f);

  const Material mat = decodeMaterial(blocks.at(0xFFFFFF54));
  EXPECT_EQ(mat.attributes, 0x3Fu);
  const double want[14] = {0.18,  0.06,  0.06, 0.878431, 0.560784, 0.341176, 0.072,
                           0.072, 0.072, 0.32, 0.32,     0.32,     0.1,      1.0};
  const float got[14] = {mat.ambient[0],   mat.ambient[1],  mat.ambient[2],  mat.diffuse[0],
                         mat.diffuse[1],   mat.diffuse[2],  mat.specular[0], mat.specular[1],
                         mat.specular[2],  mat.emissive[0], mat.emissive[1], mat.emissive[2],
                         mat.reflectivity, mat.opacity};
  for (int i = 0; i < 14; ++i)
    expectNear(got[i], want[i], "material");

  const Shader s = decodeShader(blocks.at(0xFFFFFF53));
  EXPECT_EQ(s.attributes, 1u);
  EXPECT_EQ(s.alphaReference, 0.0f);
  EXPECT_EQ(s.alphaFunction, 0x617u);
  EXPECT_EQ(s.blendFunction, 0x606u);
  EXPECT_EQ(s.passFlags, 1u);
  EXPECT_EQ(s.alphaChannels, 0u);
  EXPECT_EQ(s.material, mat.name);

  const ShadingModifier sm = decodeShadingModifier(blocks.at(0xFFFFFF45));
  EXPECT_EQ(sm.chainIndex, 1u);
  ASSERT_EQ(sm.lists.size(), 1u);
  EXPECT_EQ(sm.lists[0], std::vector<std::string>{s.name});
}

INSTANTIATE_TEST_SUITE_P(Files, EachReferenceFile,
                         ::testing::Values("box_atom.u3d", "box_nonatom.u3d", "shading.u3d"));

TEST(U3dReferenceFiles, ShaderLayersAndTexture) {
  auto box = byType(load("box_atom.u3d"));
  const Shader boxShader = decodeShader(box.at(0xFFFFFF53));
  EXPECT_EQ(boxShader.channels, 0u);
  EXPECT_EQ(boxShader.material, "Material");
  EXPECT_TRUE(boxShader.layers.empty());
  EXPECT_EQ(decodeShadingModifier(box.at(0xFFFFFF45)).attributes, 0u);

  auto sh = byType(load("shading.u3d"));
  const Shader s = decodeShader(sh.at(0xFFFFFF53));
  EXPECT_EQ(s.channels, 1u);
  EXPECT_EQ(s.material, "ModelMaterial");
  ASSERT_EQ(s.layers.size(), 1u);
  const ShaderLayer &l = s.layers[0];
  EXPECT_EQ(l.texture, "lines");
  EXPECT_EQ(l.intensity, 1.0f);
  EXPECT_EQ(l.blendFunction, 2);
  EXPECT_EQ(l.blendSource, 1);
  EXPECT_EQ(l.blendConstant, 0.5f);
  EXPECT_EQ(l.mode, 0);
  const std::array<float, 16> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_EQ(l.transform, identity);
  EXPECT_EQ(l.wrapTransform, identity);
  EXPECT_EQ(l.repeat, 3);
  EXPECT_EQ(decodeShadingModifier(sh.at(0xFFFFFF45)).attributes, 1u);

  const TextureDeclaration t = decodeTextureDeclaration(sh.at(0xFFFFFF55));
  EXPECT_EQ(t.name, "lines");
  EXPECT_EQ(t.width, 256u);
  EXPECT_EQ(t.height, 256u);
  EXPECT_EQ(t.imageType, 0x0E);
  ASSERT_EQ(t.images.size(), 1u);
  EXPECT_EQ(t.images[0].compression, 1);
  EXPECT_EQ(t.images[0].channels, 0x0E);
  EXPECT_EQ(t.images[0].attributes, 0);
  EXPECT_EQ(t.images[0].byteCount, 17814u);
  const TextureContinuation c = decodeTextureContinuation(sh.at(0xFFFFFF5C), 17814);
  EXPECT_EQ(c.name, "lines");
  EXPECT_EQ(c.imageIndex, 0u);
  // A JPEG stream: start and end markers.
  EXPECT_EQ(c.bytes[0], 0xFF);
  EXPECT_EQ(c.bytes[1], 0xD8);
  EXPECT_EQ(c.bytes[17812], 0xFF);
  EXPECT_EQ(c.bytes[17813], 0xD9);
}

struct DeclarationCase {
  const char *file;
  std::array<std::uint32_t, 6> counts;
  std::vector<std::uint32_t> layerDimensions;
  std::array<std::uint32_t, 3> quality;
  double positionIQ;
};

TEST(U3dReferenceFiles, MeshDeclarations) {
  const DeclarationCase cases[] = {
      {"box_atom.u3d", {12, 8, 65, 0, 0, 0}, {}, {300, 100, 300}, 0.0568733886},
      {"box_nonatom.u3d", {12, 8, 65, 0, 0, 0}, {}, {300, 100, 300}, 0.0552697256},
      {"shading.u3d", {12, 8, 36, 0, 0, 4}, {2}, {300, 300, 300}, 0.0551463589},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    const MeshDeclaration d = decodeMeshDeclaration(byType(load(c.file)).at(0xFFFFFF31));
    EXPECT_EQ(d.counts, c.counts);
    ASSERT_EQ(d.shadings.size(), 1u);
    EXPECT_EQ(d.shadings[0].attributes, 0u);
    EXPECT_EQ(d.shadings[0].layerDimensions, c.layerDimensions);
    EXPECT_EQ(d.minResolution, 0u);
    EXPECT_EQ(d.maxResolution, 8u);
    EXPECT_EQ(d.quality, c.quality);
    expectNear(d.inverseQuantisation[0], c.positionIQ, "position IQ");
    EXPECT_EQ(d.bones, 0u);
  }
}

// The contexts of a resolution update that adds a position without faces.
struct UpdateContexts {
  ReaderHistogram diffuse, specular, texCoord, faces, signs, x, y, z;
};

struct Update {
  std::uint32_t split = 0, diffuse = 0, specular = 0, texCoord = 0, faces = 0, signs = 0;
  std::array<std::uint32_t, 3> magnitude{};
};

Update readCounts(DataReader &r, UpdateContexts &c, std::uint32_t positionsSoFar) {
  Update u;
  if (positionsSoFar == 0) {
    ReaderHistogram fresh; // a range of 0 reads as a new adaptive context
    u.split = r.dynamicValue(fresh, 4);
  } else {
    u.split = r.staticValue(positionsSoFar);
  }
  u.diffuse = r.dynamicValue(c.diffuse, 2);
  u.specular = r.dynamicValue(c.specular, 2);
  u.texCoord = r.dynamicValue(c.texCoord, 2);
  u.faces = r.dynamicValue(c.faces, 4);
  return u;
}

void readPosition(DataReader &r, UpdateContexts &c, Update &u) {
  u.signs = r.dynamicValue(c.signs, 1);
  u.magnitude[0] = r.dynamicValue(c.x, 4);
  u.magnitude[1] = r.dynamicValue(c.y, 4);
  u.magnitude[2] = r.dynamicValue(c.z, 4);
}

TEST(U3dReferenceFiles, FirstResolutionUpdatesDecode) {
  struct Case {
    const char *file;
    const char *name;
    std::size_t bitsBefore, bitsAfterFirst;
    bool boxFaces;
  };
  const Case cases[] = {{"box_atom.u3d", "Box01", 152, 368, true},
                        {"box_nonatom.u3d", "Box01", 152, 368, true},
                        {"shading.u3d", "BoxModel", 176, 392, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    const RawBlock block = byType(load(c.file)).at(0xFFFFFF3C);
    DataReader r(block.data);
    EXPECT_EQ(r.str(), c.name);
    EXPECT_EQ(r.u32(), 0u); // chain index
    EXPECT_EQ(r.u32(), 0u); // start resolution
    EXPECT_EQ(r.u32(), 8u); // end resolution
    EXPECT_EQ(r.loadedBits() - 16, c.bitsBefore);

    UpdateContexts ctx;
    Update u0 = readCounts(r, ctx, 0);
    EXPECT_EQ(u0.split, 0u);
    EXPECT_EQ(u0.diffuse + u0.specular + u0.texCoord + u0.faces, 0u);
    readPosition(r, ctx, u0);
    EXPECT_EQ(u0.signs, 1u);
    EXPECT_EQ(u0.magnitude, (std::array<std::uint32_t, 3>{363, 363, 725}));
    // Every value of the first update was an escape and a plain value.
    EXPECT_EQ(r.loadedBits() - 16, c.bitsAfterFirst);

    Update u1 = readCounts(r, ctx, 1);
    EXPECT_EQ(u1.split, 0u);
    EXPECT_EQ(u1.diffuse + u1.specular + u1.texCoord + u1.faces, 0u);
    readPosition(r, ctx, u1);
    EXPECT_EQ(u1.signs, 6u);
    EXPECT_EQ(u1.magnitude, (std::array<std::uint32_t, 3>{726, 0, 725}));
    // Coded symbols take fewer bits than their plain values would.
    EXPECT_LT(r.loadedBits() - 16, c.bitsAfterFirst + 216);

    // Positions in units of the inverse quantisation: split position plus signed magnitudes.
    const auto signedPos = [](const Update &u, std::array<int, 3> base) {
      for (int k = 0; k < 3; ++k) {
        const int m = static_cast<int>(u.magnitude[static_cast<std::size_t>(k)]);
        base[static_cast<std::size_t>(k)] += (u.signs >> k) & 1 ? -m : m;
      }
      return base;
    };
    const auto p0 = signedPos(u0, {0, 0, 0});
    EXPECT_EQ(p0, (std::array<int, 3>{-363, 363, 725}));
    EXPECT_EQ(signedPos(u1, p0), (std::array<int, 3>{363, 363, 0}));

    if (c.boxFaces) {
      const Update u2 = readCounts(r, ctx, 2);
      EXPECT_EQ(u2.split, 0u);
      EXPECT_EQ(u2.diffuse + u2.specular + u2.texCoord, 0u);
      EXPECT_EQ(u2.faces, 2u);
    }
  }
}

} // namespace
