#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Block type codes of the U3D blocks the exported scene uses.
namespace u3d {
inline constexpr std::uint32_t kFileHeader = 0x00443355;
inline constexpr std::uint32_t kModifierChain = 0xFFFFFF14;
inline constexpr std::uint32_t kPriorityUpdate = 0xFFFFFF15;
inline constexpr std::uint32_t kModelNode = 0xFFFFFF22;
inline constexpr std::uint32_t kLightNode = 0xFFFFFF23;
inline constexpr std::uint32_t kViewNode = 0xFFFFFF24;
inline constexpr std::uint32_t kClodMeshDeclaration = 0xFFFFFF31;
inline constexpr std::uint32_t kClodBaseMesh = 0xFFFFFF3B;
inline constexpr std::uint32_t kClodProgressiveMesh = 0xFFFFFF3C;
inline constexpr std::uint32_t kAnimationModifier = 0xFFFFFF43;
inline constexpr std::uint32_t kShadingModifier = 0xFFFFFF45;
inline constexpr std::uint32_t kClodModifier = 0xFFFFFF46;
inline constexpr std::uint32_t kLightResource = 0xFFFFFF51;
inline constexpr std::uint32_t kViewResource = 0xFFFFFF52;
inline constexpr std::uint32_t kLitTextureShader = 0xFFFFFF53;
inline constexpr std::uint32_t kMaterial = 0xFFFFFF54;
inline constexpr std::uint32_t kTextureDeclaration = 0xFFFFFF55;
inline constexpr std::uint32_t kMotion = 0xFFFFFF56;
inline constexpr std::uint32_t kTextureContinuation = 0xFFFFFF5C;
} // namespace u3d

// Where encoded bytes go, piece by piece; false stops the writing.
using U3dSink = std::function<bool(const void *data, std::size_t size)>;

// One U3D block: its type and its encoded data (metadata is never written). A block too large
// to hold (the measured mesh) has no data but its size and what encodes it into a sink.
struct U3dBlock {
  U3dBlock() = default;
  U3dBlock(std::uint32_t t, std::vector<std::uint8_t> d) : type(t), data(std::move(d)) {}

  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  std::uint64_t streamedSize = 0;
  std::function<bool(const U3dSink &)> streamData;

  std::uint64_t dataSize() const { return streamData ? streamedSize : data.size(); }
};

inline std::uint64_t u3dPad4(std::uint64_t n) { return (n + 3) & ~std::uint64_t{3}; }

// Bytes the block takes in a file: frame, data and padding.
inline std::uint64_t u3dBlockFileSize(const U3dBlock &b) { return 12 + u3dPad4(b.dataSize()); }

// Appends the block with its frame and zero padding (streamed data included).
void appendU3dBlock(std::vector<std::uint8_t> &out, const U3dBlock &block);

// A modifier chain wrapping complete blocks: the object first, then its modifiers.
U3dBlock makeU3dChain(const std::string &name, std::uint32_t chainType,
                      const std::vector<U3dBlock> &inner);

// Whether a block type completes an object declared earlier (geometry or image bytes).
bool isU3dContinuation(std::uint32_t type);

// A whole U3D file: the header is derived from the blocks that follow it (declaration
// size, file size), so it is built last and written first.
class U3dFileLayout {
public:
  explicit U3dFileLayout(std::vector<U3dBlock> blocks);

  std::uint64_t fileSize() const { return fileSize_; }
  std::uint32_t declarationSize() const { return declarationSize_; }
  const U3dBlock &header() const { return header_; }
  const std::vector<U3dBlock> &blocks() const { return blocks_; }

  // Hands header and blocks, in file order, to sink; stops with false at the first refusal.
  using Sink = U3dSink;
  bool write(const Sink &sink) const;
  std::vector<std::uint8_t> bytes() const;

private:
  std::vector<U3dBlock> blocks_;
  U3dBlock header_;
  std::uint64_t fileSize_ = 0;
  std::uint32_t declarationSize_ = 0;
};
