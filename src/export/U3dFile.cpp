#include "export/U3dFile.h"

#include "export/U3dBitWriter.h"

namespace {

void putU32(std::vector<std::uint8_t> &out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

constexpr std::size_t kHeaderDataSize = 24;

U3dBlock makeHeader(std::uint32_t declarationSize, std::uint64_t fileSize) {
  U3dBitWriter w;
  w.i16(0); // major version
  w.i16(0); // minor version
  w.u32(0); // profile: compressed, not extensible, no units scale
  w.u32(declarationSize);
  w.u64(fileSize);
  w.u32(106); // UTF-8
  return {u3d::kFileHeader, w.finish()};
}

} // namespace

void appendU3dBlock(std::vector<std::uint8_t> &out, const U3dBlock &block) {
  const std::uint64_t size = block.dataSize();
  putU32(out, block.type);
  putU32(out, static_cast<std::uint32_t>(size));
  putU32(out, 0);
  if (block.streamData)
    block.streamData([&](const void *data, std::size_t n) {
      const auto *bytes = static_cast<const std::uint8_t *>(data);
      out.insert(out.end(), bytes, bytes + n);
      return true;
    });
  else
    out.insert(out.end(), block.data.begin(), block.data.end());
  out.resize(out.size() + static_cast<std::size_t>(u3dPad4(size) - size), 0);
}

U3dBlock makeU3dChain(const std::string &name, std::uint32_t chainType,
                      const std::vector<U3dBlock> &inner) {
  U3dBitWriter w;
  w.string(name);
  w.u32(chainType);
  w.u32(0); // no bounding sphere or box
  std::vector<std::uint8_t> data = w.finish();
  data.resize(u3dPad4(data.size()), 0);
  putU32(data, static_cast<std::uint32_t>(inner.size()));
  for (const U3dBlock &b : inner)
    appendU3dBlock(data, b);
  return {u3d::kModifierChain, std::move(data)};
}

bool isU3dContinuation(std::uint32_t type) {
  return type == u3d::kClodBaseMesh || type == u3d::kClodProgressiveMesh ||
         type == u3d::kTextureContinuation;
}

U3dFileLayout::U3dFileLayout(std::vector<U3dBlock> blocks) : blocks_(std::move(blocks)) {
  std::uint64_t offset = 12 + u3dPad4(kHeaderDataSize);
  bool seenContinuation = false;
  for (const U3dBlock &b : blocks_) {
    if (!seenContinuation && isU3dContinuation(b.type)) {
      seenContinuation = true;
      declarationSize_ = static_cast<std::uint32_t>(offset);
    }
    offset += u3dBlockFileSize(b);
  }
  if (!seenContinuation)
    declarationSize_ = static_cast<std::uint32_t>(offset);
  fileSize_ = offset;
  header_ = makeHeader(declarationSize_, fileSize_);
}

bool U3dFileLayout::write(const Sink &sink) const {
  static const std::uint8_t zeros[4] = {0, 0, 0, 0};
  auto writeBlock = [&](const U3dBlock &b) {
    std::uint8_t frame[12];
    const std::uint64_t size = b.dataSize();
    const std::uint32_t v[3] = {b.type, static_cast<std::uint32_t>(size), 0};
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 4; ++i)
        frame[4 * k + i] = static_cast<std::uint8_t>(v[k] >> (8 * i));
    const auto pad = static_cast<std::size_t>(u3dPad4(size) - size);
    if (!sink(frame, 12))
      return false;
    if (b.streamData) {
      // The streamed block must bring exactly the bytes its frame announced.
      std::uint64_t streamed = 0;
      if (!b.streamData([&](const void *d, std::size_t n) {
            streamed += n;
            return sink(d, n);
          }) ||
          streamed != size)
        return false;
    } else if (!b.data.empty() && !sink(b.data.data(), b.data.size())) {
      return false;
    }
    return pad == 0 || sink(zeros, pad);
  };
  if (!writeBlock(header_))
    return false;
  for (const U3dBlock &b : blocks_)
    if (!writeBlock(b))
      return false;
  return true;
}

std::vector<std::uint8_t> U3dFileLayout::bytes() const {
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(fileSize_));
  appendU3dBlock(out, header_);
  for (const U3dBlock &b : blocks_)
    appendU3dBlock(out, b);
  return out;
}
