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

} // namespace u3dtest

// Readers of the individual block types.
#include "u3d_decoder_blocks.inc"
