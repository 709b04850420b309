#pragma once
// Reads a whole exported scene with the test decoder into one structure, checking the
// block order on the way.
#include "u3d_decoder.h"

#include <optional>

namespace u3dtest {

struct Scene {
  std::vector<std::uint8_t> bytes;
  Header header;
  std::vector<RawBlock> blocks;   // top level, header first
  std::vector<std::string> order; // "type name" per top-level block, chains as "chain name"
  ViewNode view;
  LightNode light;
  ModelNode model;
  std::vector<std::uint32_t> modelChainTypes;
  ShadingModifier shading;
  AnimationModifier animation;
  ClodModifier clod;
  MeshDeclaration declaration;
  std::optional<BaseMesh> mesh;
  std::size_t meshOffset = 0;
  ViewResource viewResource;
  LightResource lightResource;
  Material material;
  Shader shader;
  TextureDeclaration texture;
  TextureContinuation textureBytes;
  std::size_t textureOffset = 0;
  Motion motion;
  std::vector<std::uint32_t> priorities;
  std::vector<std::uint32_t> chainTypes;
};

inline Scene readScene(std::vector<std::uint8_t> bytes) {
  Scene s;
  s.bytes = std::move(bytes);
  s.blocks = splitBlocks(s.bytes, 0, s.bytes.size());
  if (s.blocks.empty() || s.blocks[0].type != 0x00443355)
    throw DecodeError("no header first");
  s.header = decodeHeader(s.blocks[0]);
  for (std::size_t i = 1; i < s.blocks.size(); ++i) {
    const RawBlock &b = s.blocks[i];
    switch (b.type) {
    case 0xFFFFFF15:
      s.priorities.push_back(decodePriority(b));
      s.order.push_back("priority");
      break;
    case 0xFFFFFF14: {
      const Chain c = decodeChain(b);
      s.order.push_back("chain " + c.name);
      s.chainTypes.push_back(c.chainType);
      if (c.attributes != 0)
        throw DecodeError("chain with bounds");
      if (c.inner.empty())
        throw DecodeError("empty chain");
      const RawBlock &first = c.inner[0];
      if (first.type == 0xFFFFFF24) {
        s.view = decodeViewNode(first);
      } else if (first.type == 0xFFFFFF23) {
        s.light = decodeLightNode(first);
      } else if (first.type == 0xFFFFFF22) {
        s.model = decodeModelNode(first);
        for (const RawBlock &m : c.inner)
          s.modelChainTypes.push_back(m.type);
        for (const RawBlock &m : c.inner) {
          if (m.type == 0xFFFFFF45)
            s.shading = decodeShadingModifier(m);
          else if (m.type == 0xFFFFFF43)
            s.animation = decodeAnimationModifier(m);
          else if (m.type == 0xFFFFFF46)
            s.clod = decodeClodModifier(m);
        }
      } else if (first.type == 0xFFFFFF31) {
        s.declaration = decodeMeshDeclaration(first);
      } else if (first.type == 0xFFFFFF55) {
        s.texture = decodeTextureDeclaration(first);
      } else {
        throw DecodeError("unexpected chain content");
      }
      if (c.inner.size() != 1 && first.type != 0xFFFFFF22)
        throw DecodeError("unexpected modifiers");
      if (c.name != blockNameOf(first))
        throw DecodeError("chain named unlike its object");
      break;
    }
    case 0xFFFFFF52:
      s.viewResource = decodeViewResource(b);
      s.order.push_back("view resource");
      break;
    case 0xFFFFFF51:
      s.lightResource = decodeLightResource(b);
      s.order.push_back("light resource");
      break;
    case 0xFFFFFF54:
      s.material = decodeMaterial(b);
      s.order.push_back("material");
      break;
    case 0xFFFFFF53:
      s.shader = decodeShader(b);
      s.order.push_back("shader");
      break;
    case 0xFFFFFF56:
      s.motion = decodePlainMotion(b);
      s.order.push_back("motion");
      break;
    case 0xFFFFFF3B:
      s.mesh = decodeBaseMesh(b, s.declaration);
      s.meshOffset = b.offset;
      s.order.push_back("base mesh");
      break;
    case 0xFFFFFF5C:
      if (s.texture.images.size() != 1)
        throw DecodeError("texture bytes before their declaration");
      s.textureBytes = decodeTextureContinuation(b, s.texture.images[0].byteCount);
      s.textureOffset = b.offset;
      s.order.push_back("texture bytes");
      break;
    default:
      throw DecodeError("unexpected block type");
    }
  }
  if (s.header.fileSize != s.bytes.size())
    throw DecodeError("file size in the header is wrong");
  return s;
}

} // namespace u3dtest
