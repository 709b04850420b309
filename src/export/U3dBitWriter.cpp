#include "export/U3dBitWriter.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint32_t kHalveAt = 0x1FFF;
constexpr std::uint32_t kMaxStoredSymbol = 0xFFFF;
constexpr std::uint32_t kLargestStaticRange = 0x3FFE;

constexpr std::uint8_t reverse8(std::uint8_t v) {
  v = static_cast<std::uint8_t>((v & 0xF0) >> 4 | (v & 0x0F) << 4);
  v = static_cast<std::uint8_t>((v & 0xCC) >> 2 | (v & 0x33) << 2);
  v = static_cast<std::uint8_t>((v & 0xAA) >> 1 | (v & 0x55) << 1);
  return v;
}

} // namespace

U3dHistogram::U3dHistogram() : counts_(2, 0), total_(1) { counts_[0] = 1; }

std::uint32_t U3dHistogram::cumulative(std::uint32_t symbol) const {
  std::uint32_t sum = 0;
  const std::size_t end = symbol < counts_.size() ? symbol : counts_.size();
  for (std::size_t i = 0; i < end; ++i)
    sum += counts_[i];
  return sum;
}

void U3dHistogram::add(std::uint32_t symbol) {
  if (symbol > kMaxStoredSymbol)
    return;
  // Halving is decided by the total before this symbol is counted; readers do the same.
  if (total_ >= kHalveAt) {
    std::uint32_t sum = 0;
    for (auto &c : counts_) {
      c /= 2;
      sum += c;
    }
    counts_[0] += 1;
    total_ = sum + 1;
  }
  if (symbol >= counts_.size())
    counts_.resize(symbol + 1, 0);
  counts_[symbol] += 1;
  total_ += 1;
}

void U3dBitWriter::emitBit(unsigned b) {
  const std::size_t bitInByte = bits_ & 7;
  if (bitInByte == 0)
    out_.push_back(0);
  if (b)
    out_.back() = static_cast<std::uint8_t>(out_.back() | (1u << bitInByte));
  ++bits_;
}

void U3dBitWriter::emitByteAtRest(std::uint8_t v) {
  // At rest a flat byte symbol leaves the coder's state unchanged and emits the value's
  // bits least significant first: the same as the coding loop, without the arithmetic.
  const std::size_t shift = bits_ & 7;
  if (shift == 0) {
    out_.push_back(v);
  } else {
    out_.back() = static_cast<std::uint8_t>(out_.back() | (v << shift));
    out_.push_back(static_cast<std::uint8_t>(v >> (8 - shift)));
  }
  bits_ += 8;
}

void U3dBitWriter::encode(std::uint32_t cum, std::uint32_t freq, std::uint32_t total) {
  const std::uint64_t span = static_cast<std::uint64_t>(high_) - low_ + 1;
  const std::uint32_t oldLow = low_;
  high_ = static_cast<std::uint32_t>(oldLow + span * (cum + freq) / total - 1);
  low_ = static_cast<std::uint32_t>(oldLow + span * cum / total);
  while (((low_ ^ high_) & 0x8000) == 0) {
    const unsigned b = (low_ >> 15) & 1;
    emitBit(b);
    for (; pending_ > 0; --pending_)
      emitBit(1 - b);
    low_ = (low_ << 1) & 0xFFFF;
    high_ = ((high_ << 1) & 0xFFFF) | 1;
  }
  while ((low_ & 0xC000) == 0x4000 && (high_ & 0xC000) == 0x8000) {
    ++pending_;
    low_ = (low_ & 0x3FFF) << 1;
    high_ = ((high_ & 0x3FFF) << 1) | 0x8001;
  }
}

void U3dBitWriter::u8(std::uint8_t v) {
  if (atRest())
    emitByteAtRest(v);
  else
    encode(reverse8(v), 1, 256);
}

void U3dBitWriter::u16(std::uint16_t v) {
  u8(static_cast<std::uint8_t>(v));
  u8(static_cast<std::uint8_t>(v >> 8));
}

void U3dBitWriter::u32(std::uint32_t v) {
  u16(static_cast<std::uint16_t>(v));
  u16(static_cast<std::uint16_t>(v >> 16));
}

void U3dBitWriter::u64(std::uint64_t v) {
  u32(static_cast<std::uint32_t>(v));
  u32(static_cast<std::uint32_t>(v >> 32));
}

void U3dBitWriter::f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }

void U3dBitWriter::f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }

void U3dBitWriter::string(std::string_view s) {
  const std::size_t n = s.size() > 0xFFFF ? 0xFFFF : s.size();
  u16(static_cast<std::uint16_t>(n));
  for (std::size_t i = 0; i < n; ++i)
    u8(static_cast<std::uint8_t>(s[i]));
}

void U3dBitWriter::staticU32(std::uint32_t v, std::uint32_t range) {
  compressed_ = true;
  if (range > kLargestStaticRange) {
    u32(v);
    return;
  }
  if (range <= 1)
    return; // the only possible value is implied
  encode(v, 1, range);
}

void U3dBitWriter::dynamic(U3dHistogram &h, std::uint32_t v, int widthBytes) {
  compressed_ = true;
  const std::uint32_t s = v + 1;
  const std::uint32_t c = s <= kMaxStoredSymbol ? h.count(s) : 0;
  if (c > 0) {
    encode(h.cumulative(s), c, h.total());
    h.add(s);
    return;
  }
  encode(0, h.count(0), h.total());
  h.add(0);
  if (widthBytes == 1)
    u8(static_cast<std::uint8_t>(v));
  else if (widthBytes == 2)
    u16(static_cast<std::uint16_t>(v));
  else
    u32(v);
  h.add(s);
}

std::vector<std::uint8_t> U3dBitWriter::finish() {
  if (compressed_)
    u32(0);
  std::vector<std::uint8_t> data;
  data.swap(out_);
  bits_ = 0;
  low_ = 0;
  high_ = 0xFFFF;
  pending_ = 0;
  compressed_ = false;
  return data;
}
