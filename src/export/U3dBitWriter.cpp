#include "export/U3dBitWriter.h"

#include <algorithm>
#include <array>
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

constexpr std::array<std::uint8_t, 256> kReversed = [] {
  std::array<std::uint8_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i)
    t[i] = reverse8(static_cast<std::uint8_t>(i));
  return t;
}();

inline std::uint32_t reverseLow16(std::uint16_t v) {
  return static_cast<std::uint32_t>(kReversed[v & 0xFF]) << 8 | kReversed[v >> 8];
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

void U3dBitWriter::flushAccumulator() {
  std::uint8_t bytes[8];
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<std::uint8_t>(acc_ >> (8 * i));
  out_.insert(out_.end(), bytes, bytes + 8);
  bits_ += 64;
  acc_ = 0;
  accBits_ = 0;
  if (sink_ && out_.size() >= chunk_)
    drain();
}

void U3dBitWriter::appendBytes(const std::uint8_t *data, std::size_t n) {
  while (n > 0) {
    // With a sink, never more than a chunk held (a drain follows every full one).
    const std::size_t room =
        sink_ ? std::max<std::size_t>(chunk_ > out_.size() ? chunk_ - out_.size() : 0, 1) : n;
    const std::size_t piece = std::min(n, room);
    out_.insert(out_.end(), data, data + piece);
    bits_ += 8 * piece;
    data += piece;
    n -= piece;
    if (sink_ && out_.size() >= chunk_)
      drain();
  }
}

void U3dBitWriter::setSink(Sink sink, std::size_t chunkBytes) {
  sink_ = std::move(sink);
  chunk_ = chunkBytes;
  out_.reserve(chunkBytes + 8);
}

void U3dBitWriter::drain() {
  if (sinkOk_ && !out_.empty())
    sinkOk_ = sink_(out_.data(), out_.size());
  handed_ += out_.size();
  out_.clear();
}

[[gnu::always_inline]] inline void U3dBitWriter::emitBits(std::uint32_t bits, unsigned count) {
  acc_ |= static_cast<std::uint64_t>(bits) << accBits_;
  const unsigned room = 64 - accBits_;
  if (count < room) {
    accBits_ += count;
    return;
  }
  // The accumulator is full: flush it and keep the bits that did not fit.
  const unsigned rest = count - room;
  flushAccumulator();
  if (rest > 0) {
    acc_ = static_cast<std::uint64_t>(bits) >> (count - rest);
    accBits_ = rest;
  }
}

// Inlined into the coding paths: it is most of the encoder's time. Written without
// branches on the data, which an arithmetic coder's output cannot predict.
[[gnu::always_inline]] inline void U3dBitWriter::settle(std::uint32_t &low, std::uint32_t &high,
                                                        std::uint32_t &pending) {
  // Leading bits on which low and high agree are settled; shift them out at once. The
  // first of them releases the pending opposite bits of earlier middle straddles.
  const std::uint32_t differ = (low ^ high) & 0xFFFF;
  const unsigned settled = differ ? static_cast<unsigned>(std::countl_zero(differ)) - 16 : 16;
  if (settled > 0) {
    // The settled bits of low in stream order: its bit 15 first.
    const std::uint32_t bits =
        reverseLow16(static_cast<std::uint16_t>(low)) & ((1u << settled) - 1);
    if (pending <= 16) [[likely]] {
      // First bit, the run of opposite bits, then the rest: one group of at most 32 bits
      // (just the settled bits when nothing is pending).
      const std::uint32_t first = bits & 1;
      const std::uint32_t run = (first - 1) & ((1u << pending) - 1);
      emitBits(first | run << 1 | (bits >> 1) << (1 + pending), settled + pending);
    } else {
      releaseLongRun(bits, settled, pending);
    }
    pending = 0;
    low = (low << settled) & 0xFFFF;
    high = ((high << settled) & 0xFFFF) | ((1u << settled) - 1);
  }
  // Middle straddles: low reads 01..., high 10.... Each shift drops bit 14 of both and
  // counts one pending bit; they go on while low has a 1 and high a 0 below bit 15, so the
  // whole run is taken at once. Low and high now differ at bit 15 (or are 0 and 0xFFFF),
  // so a run of none leaves them as they are.
  const auto straddle = static_cast<std::uint16_t>(((low & ~high) & 0x7FFF) << 1);
  const auto k = static_cast<unsigned>(std::countl_one(straddle));
  pending += k;
  low = (low << k) & 0x7FFF;
  high = 0x8000 | ((high << k) & 0x7FFF) | ((1u << k) - 1);
}

void U3dBitWriter::releaseLongRun(std::uint32_t bits, unsigned settled, std::uint32_t pending) {
  const std::uint32_t first = bits & 1;
  emitBits(first, 1);
  while (pending > 0) {
    const unsigned n = pending > 32 ? 32 : pending;
    emitBits(first ? 0 : (n == 32 ? 0xFFFFFFFFu : (1u << n) - 1), n);
    pending -= n;
  }
  emitBits(bits >> 1, settled - 1);
}

void U3dBitWriter::encode(std::uint32_t cum, std::uint32_t freq, std::uint32_t total) {
  // span <= 0x10000 and cum + freq <= total < 0x10000: the products fit in 32 bits.
  const std::uint32_t span = high_ - low_ + 1;
  std::uint32_t low = low_ + span * cum / total, high = low_ + span * (cum + freq) / total - 1;
  settle(low, high, pending_);
  low_ = low;
  high_ = high;
}

void U3dBitWriter::u8(std::uint8_t v) {
  if (atRest()) {
    // A flat byte symbol at rest leaves the state unchanged and emits the value's bits
    // least significant first: the coding loop's result without its arithmetic.
    emitBits(v, 8);
    return;
  }
  flatBytes(v, 1);
}

void U3dBitWriter::u16(std::uint16_t v) {
  if (atRest())
    emitBits(v, 16);
  else
    flatBytes(v, 2);
}

void U3dBitWriter::u32(std::uint32_t v) {
  if (atRest())
    emitBits(v, 32);
  else
    flatBytes(v, 4);
}

// The state is kept in locals across the bytes of one value: most compressed bytes of a
// big mesh are the four flat bytes of a corner's index.
void U3dBitWriter::flatBytes(std::uint32_t v, int count) {
  std::uint32_t low = low_, high = high_, pending = pending_;
  for (int i = 0; i < count; ++i, v >>= 8) {
    const std::uint32_t span = high - low + 1;
    const std::uint32_t r = kReversed[v & 0xFF];
    high = low + ((span * (r + 1)) >> 8) - 1;
    low = low + ((span * r) >> 8);
    settle(low, high, pending);
  }
  low_ = low;
  high_ = high;
  pending_ = pending;
}

void U3dBitWriter::u64(std::uint64_t v) {
  u32(static_cast<std::uint32_t>(v));
  u32(static_cast<std::uint32_t>(v >> 32));
}

void U3dBitWriter::f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }

void U3dBitWriter::f32s(const float *v, std::size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    if (atRest() && accBits_ % 8 == 0) {
      // At rest on a byte boundary a plain value is its little-endian bytes: copy them.
      std::uint8_t held[8];
      const unsigned whole = accBits_ / 8;
      for (unsigned i = 0; i < whole; ++i)
        held[i] = static_cast<std::uint8_t>(acc_ >> (8 * i));
      acc_ = 0;
      accBits_ = 0;
      appendBytes(held, whole);
      appendBytes(reinterpret_cast<const std::uint8_t *>(v), n * sizeof(float));
      return;
    }
  }
  for (std::size_t i = 0; i < n; ++i)
    f32(v[i]);
}

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
  // The partial accumulator's bytes; the unused high bits are the zero padding.
  for (unsigned i = 0; i < accBits_; i += 8)
    out_.push_back(static_cast<std::uint8_t>(acc_ >> i));
  std::vector<std::uint8_t> data;
  if (sink_)
    drain();
  else
    data.swap(out_);
  bits_ = 0;
  acc_ = 0;
  accBits_ = 0;
  low_ = 0;
  high_ = 0xFFFF;
  pending_ = 0;
  compressed_ = false;
  return data;
}
