#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// Adaptive symbol histogram of one named compression context of a U3D block. Symbol 0 is
// the escape; value v is symbol v + 1. Counts are halved once the total reaches 0x1FFF.
class U3dHistogram {
public:
  U3dHistogram();

  std::uint32_t total() const { return total_; }
  std::uint32_t count(std::uint32_t symbol) const {
    return symbol < counts_.size() ? counts_[symbol] : 0;
  }
  // Sum of the counts of all symbols below symbol.
  std::uint32_t cumulative(std::uint32_t symbol) const;
  void add(std::uint32_t symbol);

private:
  std::vector<std::uint32_t> counts_;
  std::uint32_t total_;
};

// The bit encoder of one U3D block's data: a 16-bit arithmetic coder that writes plain
// values as flat 256-symbol bytes (so blocks without compressed values are their bytes),
// static ranges and adaptive contexts. A fresh writer is used for every block.
class U3dBitWriter {
public:
  void u8(std::uint8_t v);
  void u16(std::uint16_t v);
  void u32(std::uint32_t v);
  void u64(std::uint64_t v);
  void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void f32(float v);
  void f64(double v);
  // U16 byte count and the bytes; names longer than 65535 bytes are cut at that length.
  void string(std::string_view s);
  void f32s(const float *v, std::size_t n);

  // Value in 0..range-1, all equally likely; ranges of 0x3FFF and up store a plain U32.
  void staticU32(std::uint32_t v, std::uint32_t range);
  // Value of the given width (1, 2 or 4 bytes) in an adaptive context.
  void dynamic(U3dHistogram &h, std::uint32_t v, int widthBytes);

  // Closes the block: a trailing zero U32 when any compressed value was written, then
  // zero bits up to a byte boundary. Returns the block data, or with a sink hands the rest
  // to it and returns nothing.
  std::vector<std::uint8_t> finish();

  // Hands the whole bytes to sink whenever about chunkBytes have gathered, so that a block
  // larger than memory allows is never held. The first refusal sticks: sinkOk() turns false
  // and later bytes are dropped.
  using Sink = std::function<bool(const void *data, std::size_t size)>;
  void setSink(Sink sink, std::size_t chunkBytes = std::size_t{1} << 20);
  bool sinkOk() const { return sinkOk_; }
  // Bytes handed to the sink so far.
  std::uint64_t bytesHanded() const { return handed_; }

  std::size_t bitCount() const { return bits_ + accBits_; }
  // Only plain values so far, ending on a byte boundary: what follows codes to the same bytes
  // as it would in a fresh writer.
  bool plainOnByte() const { return atRest() && !compressed_ && accBits_ % 8 == 0; }
  // Reserves room for about n bytes of output.
  void reserve(std::size_t n) { out_.reserve(n); }

private:
  void encode(std::uint32_t cum, std::uint32_t freq, std::uint32_t total);
  // Given the narrowed interval, shifts out what is settled and counts middle straddles.
  void settle(std::uint32_t &low, std::uint32_t &high, std::uint32_t &pending);
  void releaseLongRun(std::uint32_t bits, unsigned settled, std::uint32_t pending);
  // Codes the low count bytes of v as flat byte symbols (the coder not at rest).
  void flatBytes(std::uint32_t v, int count);
  // Appends count bits, given least significant first (count <= 32).
  void emitBits(std::uint32_t bits, unsigned count);
  void flushAccumulator();
  void appendBytes(const std::uint8_t *data, std::size_t n);
  void drain();
  bool atRest() const { return low_ == 0 && high_ == 0xFFFF && pending_ == 0; }

  // Output: whole bytes in out_, then up to 63 further bits in acc_ (bit k of the stream
  // is bit k % 8 of byte k / 8, so the accumulator fills from its low end).
  std::vector<std::uint8_t> out_;
  std::size_t bits_ = 0; // bits in out_ and handed on, always a multiple of 8
  std::uint64_t acc_ = 0;
  unsigned accBits_ = 0;
  std::uint32_t low_ = 0, high_ = 0xFFFF, pending_ = 0;
  bool compressed_ = false;
  Sink sink_;
  std::size_t chunk_ = 0;
  std::uint64_t handed_ = 0;
  bool sinkOk_ = true;
};
