#pragma once
// A reader of U3D files for the tests, written from the format's decoding rules and kept
// apart from the writer: it loads 16 bits ahead, maps targets through the histograms and
// checks frames, padding and the use of every block's data.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace u3dtest {

struct DecodeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline std::vector<std::uint8_t> readWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw DecodeError("cannot open " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Histogram of a compression context as a reader keeps it: a sparse map of counts.
class ReaderHistogram {
public:
  std::uint32_t total = 1;
  std::map<std::uint32_t, std::uint32_t> freq{{0u, 1u}};

  // Finds the symbol whose cumulative interval holds target.
  void locate(std::uint32_t target, std::uint32_t &symbol, std::uint32_t &cum,
              std::uint32_t &f) const {
    std::uint32_t below = 0;
    for (const auto &[s, c] : freq) {
      if (c == 0)
        continue;
      if (target < below + c) {
        symbol = s;
        cum = below;
        f = c;
        return;
      }
      below += c;
    }
    throw DecodeError("target beyond histogram total");
  }

  void count(std::uint32_t symbol) {
    if (symbol >= 0x10000)
      return;
    if (total >= 8191) {
      std::uint32_t newTotal = 0;
      for (auto &[s, c] : freq) {
        c >>= 1;
        if (s == 0)
          ++c;
        newTotal += c;
      }
      total = newTotal;
    }
    ++freq[symbol];
    ++total;
  }

  std::uint32_t of(std::uint32_t symbol) const {
    const auto it = freq.find(symbol);
    return it == freq.end() ? 0 : it->second;
  }
};

// Arithmetic decoder over one block's data.
class DataReader {
public:
  DataReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {
    for (int i = 0; i < 16; ++i)
      code_ = (code_ << 1) | nextBit();
  }
  explicit DataReader(const std::vector<std::uint8_t> &d) : DataReader(d.data(), d.size()) {}

  // Bits taken into the code register so far (16 at the start).
  std::size_t loadedBits() const { return loaded_; }
  std::size_t sizeBits() const { return size_ * 8; }

  std::uint8_t u8() {
    const std::uint32_t t = target(256);
    update(t, 1, 256);
    return mirror(static_cast<std::uint8_t>(t));
  }
  std::uint16_t u16() {
    const std::uint16_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }
  std::uint32_t u32() {
    const std::uint32_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
  }
  std::uint64_t u64() {
    const std::uint64_t lo = u32();
    return lo | (static_cast<std::uint64_t>(u32()) << 32);
  }
  std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
  float f32() { return std::bit_cast<float>(u32()); }
  double f64() { return std::bit_cast<double>(u64()); }
  std::string str() {
    const std::uint16_t n = u16();
    std::string s;
    for (std::uint16_t i = 0; i < n; ++i)
      s.push_back(static_cast<char>(u8()));
    return s;
  }
  std::array<float, 16> matrix() {
    std::array<float, 16> m{};
    for (auto &v : m)
      v = f32();
    return m;
  }

  std::uint32_t staticValue(std::uint32_t range) {
    if (range >= 0x3FFF)
      return u32();
    const std::uint32_t t = target(range);
    update(t, 1, range);
    return t;
  }

  // width: 1, 2 or 4 bytes for the escaped plain value.
  std::uint32_t dynamicValue(ReaderHistogram &h, int width) {
    const std::uint32_t t = target(h.total);
    std::uint32_t symbol = 0, cum = 0, f = 0;
    h.locate(t, symbol, cum, f);
    update(cum, f, h.total);
    h.count(symbol);
    if (symbol != 0)
      return symbol - 1;
    const std::uint32_t v = width == 1 ? u8() : width == 2 ? u16() : u32();
    h.count(v + 1);
    return v;
  }

private:
  static std::uint8_t mirror(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
      if (b & (1u << i))
        r = static_cast<std::uint8_t>(r | (0x80u >> i));
    return r;
  }

  std::uint32_t nextBit() {
    const std::size_t k = loaded_++;
    if (k >= size_ * 8)
      return 0;
    return (data_[k / 8] >> (k % 8)) & 1u;
  }

  std::uint32_t target(std::uint32_t total) {
    span_ = high_ - low_ + 1;
    const std::uint64_t t = (static_cast<std::uint64_t>(code_ - low_ + 1) * total - 1) / span_;
    if (t >= total)
      throw DecodeError("decoder out of step");
    return static_cast<std::uint32_t>(t);
  }

  void update(std::uint32_t cum, std::uint32_t f, std::uint32_t total) {
    const std::uint64_t span = high_ - low_ + 1;
    high_ = static_cast<std::uint32_t>(low_ + span * (cum + f) / total - 1);
    low_ = static_cast<std::uint32_t>(low_ + span * cum / total);
    for (;;) {
      if ((low_ & 0x8000) == (high_ & 0x8000)) {
        low_ = (low_ << 1) & 0xFFFF;
        high_ = ((high_ << 1) & 0xFFFF) | 1;
        code_ = ((code_ << 1) & 0xFFFF) | nextBit();
      } else if ((low_ & 0xC000) == 0x4000 && (high_ & 0xC000) == 0x8000) {
        low_ = (low_ & 0x3FFF) << 1;
        high_ = ((high_ & 0x3FFF) << 1) | 0x8001;
        code_ = (((code_ - 0x4000) << 1) & 0xFFFF) | nextBit();
      } else {
        break;
      }
    }
  }

  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t loaded_ = 0;
  std::uint32_t code_ = 0, low_ = 0, high_ = 0xFFFF;
  std::uint64_t span_ = 0;
};

// One framed block as found in a file or inside a chain.
struct RawBlock {
  std::size_t offset = 0; // of the frame, from the start of the enclosing buffer
  std::uint32_t type = 0;
  std::uint32_t metaSize = 0;
  std::vector<std::uint8_t> data;
};

inline std::uint32_t le32(const std::uint8_t *p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Splits bytes [begin, end) of buf into blocks; checks that padding is zero and the
// blocks fill the range exactly. Offsets are relative to buf.
inline std::vector<RawBlock> splitBlocks(const std::vector<std::uint8_t> &buf, std::size_t begin,
                                         std::size_t end, std::size_t maxCount = SIZE_MAX) {
  std::vector<RawBlock> out;
  std::size_t at = begin;
  while (at < end && out.size() < maxCount) {
    if (at % 4 != (begin % 4))
      throw DecodeError("block not aligned at " + std::to_string(at));
    if (end - at < 12)
      throw DecodeError("truncated frame at " + std::to_string(at));
    RawBlock b;
    b.offset = at;
    b.type = le32(&buf[at]);
    const std::uint32_t dataSize = le32(&buf[at + 4]);
    b.metaSize = le32(&buf[at + 8]);
    const std::size_t paddedData = (dataSize + 3u) / 4u * 4u;
    const std::size_t paddedMeta = (b.metaSize + 3u) / 4u * 4u;
    if (end - at - 12 < paddedData + paddedMeta)
      throw DecodeError("block overruns at " + std::to_string(at));
    b.data.assign(buf.begin() + static_cast<std::ptrdiff_t>(at + 12),
                  buf.begin() + static_cast<std::ptrdiff_t>(at + 12 + dataSize));
    for (std::size_t k = at + 12 + dataSize; k < at + 12 + paddedData; ++k)
      if (buf[k] != 0)
        throw DecodeError("non-zero padding at " + std::to_string(k));
    at += 12 + paddedData + paddedMeta;
    out.push_back(std::move(b));
  }
  if (maxCount == SIZE_MAX && at != end)
    throw DecodeError("blocks do not end at the range end");
  return out;
}

struct Header {
  std::int16_t major = -1, minor = -1;
  std::uint32_t profile = 0, declarationSize = 0, encoding = 0;
  std::uint64_t fileSize = 0;
};

inline Header decodeHeader(const RawBlock &b) {
  DataReader r(b.data);
  Header h;
  h.major = r.i16();
  h.minor = r.i16();
  h.profile = r.u32();
  h.declarationSize = r.u32();
  h.fileSize = r.u64();
  h.encoding = r.u32();
  if (h.profile & 0x8)
    r.f64();
  if (r.loadedBits() - 16 != r.sizeBits())
    throw DecodeError("header data not used up exactly");
  return h;
}

struct Chain {
  std::string name;
  std::uint32_t chainType = 0, attributes = 0;
  std::vector<RawBlock> inner;
};

inline Chain decodeChain(const RawBlock &b) {
  if (b.type != 0xFFFFFF14)
    throw DecodeError("not a modifier chain");
  DataReader r(b.data);
  Chain c;
  c.name = r.str();
  c.chainType = r.u32();
  c.attributes = r.u32();
  if (c.attributes & 0x1)
    for (int i = 0; i < 4; ++i)
      r.f32();
  if (c.attributes & 0x2)
    for (int i = 0; i < 6; ++i)
      r.f32();
  std::size_t bytes = (r.loadedBits() - 16) / 8;
  for (; bytes % 4 != 0; ++bytes)
    if (b.data.at(bytes) != 0)
      throw DecodeError("non-zero chain padding");
  const std::uint32_t count = le32(&b.data.at(bytes));
  c.inner = splitBlocks(b.data, bytes + 4, b.data.size());
  if (c.inner.size() != count)
    throw DecodeError("chain count does not match its blocks");
  return c;
}

// Throws unless a block without compressed values ended exactly at its data size.
inline void expectPlainEnd(const DataReader &r, const std::string &what) {
  if (r.loadedBits() - 16 != r.sizeBits())
    throw DecodeError(what + ": " + std::to_string(r.sizeBits() - (r.loadedBits() - 16)) +
                      " bits left over");
}

// Throws unless a block with compressed values has 16 to 23 bits not yet loaded.
inline void expectCompressedEnd(const DataReader &r, const std::string &what) {
  const long long left =
      static_cast<long long>(r.sizeBits()) - static_cast<long long>(r.loadedBits());
  if (left < 16 || left > 23)
    throw DecodeError(what + ": " + std::to_string(left) + " bits not loaded at the end");
}

struct NodeCommon {
  std::string name;
  std::vector<std::pair<std::string, std::array<float, 16>>> parents;
};

inline NodeCommon decodeNodeStart(DataReader &r) {
  NodeCommon n;
  n.name = r.str();
  const std::uint32_t parents = r.u32();
  for (std::uint32_t i = 0; i < parents; ++i) {
    std::string p = r.str();
    n.parents.emplace_back(p, r.matrix());
  }
  return n;
}

struct ViewNode {
  NodeCommon node;
  std::string resource;
  std::uint32_t attributes = 0;
  float nearClip = 0, farClip = 0, projection = 0;
  std::array<float, 4> viewport{};
  std::uint32_t backdrops = 0, overlays = 0;
};

inline ViewNode decodeViewNode(const RawBlock &b) {
  DataReader r(b.data);
  ViewNode v;
  v.node = decodeNodeStart(r);
  v.resource = r.str();
  v.attributes = r.u32();
  v.nearClip = r.f32();
  v.farClip = r.f32();
  v.projection = r.f32();
  for (auto &x : v.viewport)
    x = r.f32();
  v.backdrops = r.u32();
  v.overlays = r.u32();
  if (v.backdrops == 0 && v.overlays == 0)
    expectPlainEnd(r, "view node");
  return v;
}

struct ModelNode {
  NodeCommon node;
  std::string resource;
  std::uint32_t visibility = 0;
};

inline ModelNode decodeModelNode(const RawBlock &b) {
  DataReader r(b.data);
  ModelNode m;
  m.node = decodeNodeStart(r);
  m.resource = r.str();
  m.visibility = r.u32();
  expectPlainEnd(r, "model node");
  return m;
}

struct LightNode {
  NodeCommon node;
  std::string resource;
};

inline LightNode decodeLightNode(const RawBlock &b) {
  DataReader r(b.data);
  LightNode l;
  l.node = decodeNodeStart(r);
  l.resource = r.str();
  expectPlainEnd(r, "light node");
  return l;
}

struct LightResource {
  std::string name;
  std::uint32_t attributes = 0;
  std::uint8_t type = 0;
  std::array<float, 4> colour{};
  std::array<float, 3> attenuation{};
  float spotAngle = 0, intensity = 0;
};

inline LightResource decodeLightResource(const RawBlock &b) {
  DataReader r(b.data);
  LightResource l;
  l.name = r.str();
  l.attributes = r.u32();
  l.type = r.u8();
  for (auto &x : l.colour)
    x = r.f32();
  for (auto &x : l.attenuation)
    x = r.f32();
  l.spotAngle = r.f32();
  l.intensity = r.f32();
  expectPlainEnd(r, "light resource");
  return l;
}

struct ViewResource {
  std::string name;
  std::uint32_t passes = 0;
  std::string root;
  std::uint32_t renderAttributes = 0, fogMode = 0;
  std::array<float, 4> fogColour{};
  float fogNear = 0, fogFar = 0;
};

inline ViewResource decodeViewResource(const RawBlock &b) {
  DataReader r(b.data);
  ViewResource v;
  v.name = r.str();
  v.passes = r.u32();
  if (v.passes != 1)
    throw DecodeError("view resource: expected one pass");
  v.root = r.str();
  v.renderAttributes = r.u32();
  v.fogMode = r.u32();
  for (auto &x : v.fogColour)
    x = r.f32();
  v.fogNear = r.f32();
  v.fogFar = r.f32();
  expectPlainEnd(r, "view resource");
  return v;
}

struct Material {
  std::string name;
  std::uint32_t attributes = 0;
  std::array<float, 3> ambient{}, diffuse{}, specular{}, emissive{};
  float reflectivity = 0, opacity = 0;
};

inline Material decodeMaterial(const RawBlock &b) {
  DataReader r(b.data);
  Material m;
  m.name = r.str();
  m.attributes = r.u32();
  for (auto *c : {&m.ambient, &m.diffuse, &m.specular, &m.emissive})
    for (auto &x : *c)
      x = r.f32();
  m.reflectivity = r.f32();
  m.opacity = r.f32();
  expectPlainEnd(r, "material");
  return m;
}

struct ShaderLayer {
  std::string texture;
  float intensity = 0;
  std::uint8_t blendFunction = 0, blendSource = 0;
  float blendConstant = 0;
  std::uint8_t mode = 0;
  std::array<float, 16> transform{}, wrapTransform{};
  std::uint8_t repeat = 0;
};

struct Shader {
  std::string name;
  std::uint32_t attributes = 0;
  float alphaReference = 0;
  std::uint32_t alphaFunction = 0, blendFunction = 0, passFlags = 0, channels = 0,
                alphaChannels = 0;
  std::string material;
  std::vector<ShaderLayer> layers;
};

inline Shader decodeShader(const RawBlock &b) {
  DataReader r(b.data);
  Shader s;
  s.name = r.str();
  s.attributes = r.u32();
  s.alphaReference = r.f32();
  s.alphaFunction = r.u32();
  s.blendFunction = r.u32();
  s.passFlags = r.u32();
  s.channels = r.u32();
  s.alphaChannels = r.u32();
  s.material = r.str();
  for (int layer = 0; layer < 32; ++layer) {
    if (!(s.channels & (1u << layer)))
      continue;
    ShaderLayer l;
    l.texture = r.str();
    l.intensity = r.f32();
    l.blendFunction = r.u8();
    l.blendSource = r.u8();
    l.blendConstant = r.f32();
    l.mode = r.u8();
    l.transform = r.matrix();
    l.wrapTransform = r.matrix();
    l.repeat = r.u8();
    s.layers.push_back(l);
  }
  expectPlainEnd(r, "shader");
  return s;
}

struct ShadingModifier {
  std::string name;
  std::uint32_t chainIndex = 0, attributes = 0;
  std::vector<std::vector<std::string>> lists;
};

inline ShadingModifier decodeShadingModifier(const RawBlock &b) {
  DataReader r(b.data);
  ShadingModifier m;
  m.name = r.str();
  m.chainIndex = r.u32();
  m.attributes = r.u32();
  const std::uint32_t lists = r.u32();
  for (std::uint32_t i = 0; i < lists; ++i) {
    std::vector<std::string> names(r.u32());
    for (auto &n : names)
      n = r.str();
    m.lists.push_back(names);
  }
  expectPlainEnd(r, "shading modifier");
  return m;
}

struct AnimationModifier {
  std::string name;
  std::uint32_t chainIndex = 0, attributes = 0;
  float timeScale = 0;
  struct Motion {
    std::string name;
    std::uint32_t attributes = 0;
    float offset = 0, timeScale = 0;
  };
  std::vector<Motion> motions;
  float blendTime = 0;
};

inline AnimationModifier decodeAnimationModifier(const RawBlock &b) {
  DataReader r(b.data);
  AnimationModifier a;
  a.name = r.str();
  a.chainIndex = r.u32();
  a.attributes = r.u32();
  a.timeScale = r.f32();
  const std::uint32_t n = r.u32();
  for (std::uint32_t i = 0; i < n; ++i) {
    AnimationModifier::Motion m;
    m.name = r.str();
    m.attributes = r.u32();
    m.offset = r.f32();
    m.timeScale = r.f32();
    a.motions.push_back(m);
  }
  a.blendTime = r.f32();
  expectPlainEnd(r, "animation modifier");
  return a;
}

struct ClodModifier {
  std::string name;
  std::uint32_t chainIndex = 0, attributes = 0;
  float bias = 0, level = 0;
};

inline ClodModifier decodeClodModifier(const RawBlock &b) {
  DataReader r(b.data);
  ClodModifier c;
  c.name = r.str();
  c.chainIndex = r.u32();
  c.attributes = r.u32();
  c.bias = r.f32();
  c.level = r.f32();
  expectPlainEnd(r, "CLOD modifier");
  return c;
}

struct MeshShading {
  std::uint32_t attributes = 0;
  std::vector<std::uint32_t> layerDimensions;
  std::uint32_t originalId = 0;
};

struct MeshDeclaration {
  std::string name;
  std::uint32_t chainIndex = 0, attributes = 0;
  std::array<std::uint32_t, 6> counts{}; // faces, positions, normals, diffuse, specular, tex
  std::vector<MeshShading> shadings;
  std::uint32_t minResolution = 0, maxResolution = 0;
  std::array<std::uint32_t, 3> quality{};
  std::array<float, 5> inverseQuantisation{};
  std::array<float, 3> normalParameters{};
  std::uint32_t bones = 0;
};

inline MeshDeclaration decodeMeshDeclaration(const RawBlock &b) {
  DataReader r(b.data);
  MeshDeclaration d;
  d.name = r.str();
  d.chainIndex = r.u32();
  d.attributes = r.u32();
  for (auto &c : d.counts)
    c = r.u32();
  const std::uint32_t shadings = r.u32();
  for (std::uint32_t i = 0; i < shadings; ++i) {
    MeshShading s;
    s.attributes = r.u32();
    s.layerDimensions.resize(r.u32());
    for (auto &dim : s.layerDimensions)
      dim = r.u32();
    s.originalId = r.u32();
    d.shadings.push_back(s);
  }
  d.minResolution = r.u32();
  d.maxResolution = r.u32();
  for (auto &q : d.quality)
    q = r.u32();
  for (auto &q : d.inverseQuantisation)
    q = r.f32();
  for (auto &q : d.normalParameters)
    q = r.f32();
  d.bones = r.u32();
  if (d.bones == 0)
    expectPlainEnd(r, "mesh declaration");
  return d;
}

struct Corner {
  std::uint32_t position = 0, normal = 0, diffuse = 0, specular = 0;
  std::vector<std::uint32_t> texCoords;
};

struct Face {
  std::uint32_t shading = 0;
  std::array<Corner, 3> corners;
};

struct BaseMesh {
  std::string name;
  std::uint32_t chainIndex = 0;
  std::array<std::uint32_t, 6> counts{};
  std::vector<std::array<float, 3>> positions, normals;
  std::vector<std::array<float, 4>> diffuse, specular, texCoords;
  std::vector<Face> faces;
};

// Needs the declaration for the shading descriptions and whether normals are excluded.
inline BaseMesh decodeBaseMesh(const RawBlock &b, const MeshDeclaration &decl) {
  DataReader r(b.data);
  BaseMesh m;
  m.name = r.str();
  m.chainIndex = r.u32();
  for (auto &c : m.counts)
    c = r.u32();
  for (int k = 0; k < 6; ++k)
    if (m.counts[k] > decl.counts[k])
      throw DecodeError("base mesh count above the declared one");
  const bool noNormals = decl.attributes & 0x1;
  auto readVecs = [&](auto &arr, std::uint32_t n) {
    arr.resize(n);
    for (auto &v : arr)
      for (auto &x : v)
        x = r.f32();
  };
  readVecs(m.positions, m.counts[1]);
  readVecs(m.normals, noNormals ? 0 : m.counts[2]);
  readVecs(m.diffuse, m.counts[3]);
  readVecs(m.specular, m.counts[4]);
  readVecs(m.texCoords, m.counts[5]);
  ReaderHistogram shadingContext;
  m.faces.resize(m.counts[0]);
  for (auto &f : m.faces) {
    f.shading = r.dynamicValue(shadingContext, 4);
    if (f.shading >= decl.shadings.size())
      throw DecodeError("face shading id out of range");
    const MeshShading &sh = decl.shadings[f.shading];
    for (auto &c : f.corners) {
      c.position = r.staticValue(m.counts[1]);
      if (!noNormals)
        c.normal = r.staticValue(m.counts[2]);
      if (sh.attributes & 0x1)
        c.diffuse = r.staticValue(m.counts[3]);
      if (sh.attributes & 0x2)
        c.specular = r.staticValue(m.counts[4]);
      for (std::size_t l = 0; l < sh.layerDimensions.size(); ++l)
        c.texCoords.push_back(r.staticValue(m.counts[5]));
    }
  }
  if (m.counts[0] > 0)
    expectCompressedEnd(r, "base mesh");
  else
    expectPlainEnd(r, "base mesh");
  return m;
}

struct TextureImage {
  std::uint8_t compression = 0, channels = 0;
  std::uint16_t attributes = 0;
  std::uint32_t byteCount = 0;
};

struct TextureDeclaration {
  std::string name;
  std::uint32_t height = 0, width = 0;
  std::uint8_t imageType = 0;
  std::vector<TextureImage> images;
};

inline TextureDeclaration decodeTextureDeclaration(const RawBlock &b) {
  DataReader r(b.data);
  TextureDeclaration t;
  t.name = r.str();
  t.height = r.u32();
  t.width = r.u32();
  t.imageType = r.u8();
  t.images.resize(r.u32());
  for (auto &i : t.images) {
    i.compression = r.u8();
    i.channels = r.u8();
    i.attributes = r.u16();
    if (i.attributes & 0x1)
      throw DecodeError("external texture images are not expected");
    i.byteCount = r.u32();
  }
  expectPlainEnd(r, "texture declaration");
  return t;
}

struct TextureContinuation {
  std::string name;
  std::uint32_t imageIndex = 0;
  std::vector<std::uint8_t> bytes;
};

inline TextureContinuation decodeTextureContinuation(const RawBlock &b, std::uint32_t byteCount) {
  DataReader r(b.data);
  TextureContinuation t;
  t.name = r.str();
  t.imageIndex = r.u32();
  t.bytes.resize(byteCount);
  for (auto &x : t.bytes)
    x = r.u8();
  expectPlainEnd(r, "texture continuation");
  return t;
}

struct KeyFrame {
  float time = 0;
  std::array<float, 3> displacement{};
  std::array<float, 4> rotation{};
  std::array<float, 3> scale{};
};

struct MotionTrack {
  std::string name;
  float displacementIQ = 0, scaleIQ = 0;
  std::vector<KeyFrame> frames; // as stored (differences; rotation absolute)
};

struct Motion {
  std::string name;
  float timeIQ = 0, rotationIQ = 0;
  std::vector<MotionTrack> tracks;
};

// Reads motions whose tracks hold only first and last frames (all plain).
inline Motion decodePlainMotion(const RawBlock &b) {
  DataReader r(b.data);
  Motion m;
  m.name = r.str();
  const std::uint32_t tracks = r.u32();
  m.timeIQ = r.f32();
  m.rotationIQ = r.f32();
  for (std::uint32_t t = 0; t < tracks; ++t) {
    MotionTrack tr;
    tr.name = r.str();
    const std::uint32_t frames = r.u32();
    if (frames > 2)
      throw DecodeError("compressed key frames are not expected");
    tr.displacementIQ = r.f32();
    tr.scaleIQ = r.f32();
    for (std::uint32_t k = 0; k < frames; ++k) {
      KeyFrame f;
      f.time = r.f32();
      for (auto &x : f.displacement)
        x = r.f32();
      for (auto &x : f.rotation)
        x = r.f32();
      for (auto &x : f.scale)
        x = r.f32();
      tr.frames.push_back(f);
    }
    m.tracks.push_back(tr);
  }
  expectPlainEnd(r, "motion");
  return m;
}

// The leading String of a block's data (every block but header and priority has one).
inline std::string blockNameOf(const RawBlock &b) {
  DataReader r(b.data);
  return r.str();
}

inline std::uint32_t decodePriority(const RawBlock &b) {
  DataReader r(b.data);
  const std::uint32_t p = r.u32();
  expectPlainEnd(r, "priority update");
  return p;
}

} // namespace u3dtest
