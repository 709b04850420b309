// The block data encoder against published vectors and against the separate reader.
#include "export/U3dBitWriter.h"
#include "u3d_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <random>
#include <string>
#include <variant>

namespace {

std::string hex(const std::vector<std::uint8_t> &bytes) {
  std::string s;
  char buf[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

TEST(U3dBitWriter, FourShadingIdsMatchTheVector) {
  U3dBitWriter w;
  U3dHistogram shading;
  for (int i = 0; i < 4; ++i)
    w.dynamic(shading, 0, 4);
  EXPECT_EQ(hex(w.finish()), "000000006766000000");
}

TEST(U3dBitWriter, StaticAndDynamicValuesMatchTheVector) {
  U3dBitWriter w;
  U3dHistogram h;
  w.staticU32(5, 1000);
  w.staticU32(999, 1000);
  w.staticU32(2, 3);
  w.dynamic(h, 7, 4);
  w.dynamic(h, 7, 4);
  w.dynamic(h, 1, 4);
  w.staticU32(12345, 20000);
  EXPECT_EQ(hex(w.finish()), "8011ff521500201c00000049d2020000000000");
}

TEST(U3dBitWriter, OneTriangleBaseMeshTailMatchesTheVector) {
  U3dBitWriter w;
  w.string("M");
  w.u32(0);
  for (std::uint32_t c : {1u, 3u, 3u, 3u, 0u, 4u})
    w.u32(c);
  // 3 positions, 3 normals, 3 RGBA colours, 4 texture coordinates: any values.
  for (int i = 0; i < 9 + 9 + 12 + 16; ++i)
    w.f32(static_cast<float>(i) * 0.25f - 1.0f);
  EXPECT_EQ(w.bitCount(), 215u * 8u);
  U3dHistogram shading;
  w.dynamic(shading, 0, 4);
  for (std::uint32_t k = 0; k < 3; ++k) {
    w.staticU32(k, 3);
    w.staticU32(k, 3);
    w.staticU32(k, 3);
    w.staticU32(0, 4);
  }
  const std::vector<std::uint8_t> data = w.finish();
  ASSERT_EQ(data.size(), 226u);
  EXPECT_EQ(hex({data.begin() + 215, data.end()}), "000000008094d13a000000");
}

TEST(U3dBitWriter, PlainValuesAreTheirLittleEndianBytes) {
  U3dBitWriter w;
  w.u8(0xA5);
  w.u16(0x1234);
  w.u32(0xDEADBEEF);
  w.u64(0x0102030405060708ull);
  w.i16(-2);
  w.f32(1.0f);
  w.f64(-2.0);
  w.string("ab");
  EXPECT_EQ(hex(w.finish()), "a53412efbeadde0807060504030201feff0000803f00000000000000c0020061"
                             "62");
}

TEST(U3dBitWriter, ASinkGetsTheSameBytesInChunks) {
  // Plain runs copied at rest, and coded ones, through a sink far smaller than them.
  std::vector<float> values(1000);
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = float(i) * 0.37f - 11.0f;
  const auto write = [&](U3dBitWriter &w) {
    w.u8(7);
    w.f32s(values.data(), values.size());
    w.staticU32(5, 9);
    w.f32s(values.data(), 17);
    return w.finish();
  };
  U3dBitWriter held;
  const std::vector<std::uint8_t> whole = write(held);
  U3dBitWriter streamed;
  std::vector<std::uint8_t> got;
  std::size_t largest = 0;
  streamed.setSink(
      [&](const void *d, std::size_t n) {
        largest = std::max(largest, n);
        got.insert(got.end(), static_cast<const std::uint8_t *>(d),
                   static_cast<const std::uint8_t *>(d) + n);
        return true;
      },
      16);
  EXPECT_TRUE(write(streamed).empty());
  EXPECT_EQ(got, whole);
  EXPECT_LE(largest, 24u); // a chunk and at most one accumulator's flush
}

TEST(U3dHistogram, HalvesBeforeCountingOnceTheTotalReaches8191) {
  U3dHistogram h;
  for (int i = 0; i < 8190; ++i)
    h.add(1);
  EXPECT_EQ(h.total(), 8191u);
  EXPECT_EQ(h.count(1), 8190u);
  h.add(1);
  // 8190 / 2 + 1 for symbol 1; the escape's 1 / 2 + 1 = 1.
  EXPECT_EQ(h.count(0), 1u);
  EXPECT_EQ(h.count(1), 4096u);
  EXPECT_EQ(h.total(), 4097u);
  h.add(0x10000); // beyond the stored symbols: ignored
  EXPECT_EQ(h.total(), 4097u);
}

// A value stream mixing every kind of value the encoder offers.
struct Op {
  enum Kind { U8, U16, U32, U64, F32, Static, Dynamic } kind;
  std::uint64_t value;
  std::uint32_t range = 0; // Static: range; Dynamic: context number
  int width = 4;           // Dynamic: 1, 2 or 4
};

std::vector<Op> randomStream(std::mt19937 &rng, std::size_t n, int contexts) {
  const std::uint32_t ranges[] = {1,     2,     3,     255,   256,   257,     1000,
                                  16381, 16382, 16383, 16384, 65536, 1000000, 0xFFFFFFFFu};
  std::vector<Op> ops;
  std::uniform_int_distribution<int> kind(0, 6);
  for (std::size_t i = 0; i < n; ++i) {
    Op op{static_cast<Op::Kind>(kind(rng)), 0};
    switch (op.kind) {
    case Op::U8:
      op.value = rng() & 0xFF;
      break;
    case Op::U16:
      op.value = rng() & 0xFFFF;
      break;
    case Op::U32:
      op.value = rng();
      break;
    case Op::U64:
      op.value = (static_cast<std::uint64_t>(rng()) << 32) | rng();
      break;
    case Op::F32:
      op.value = rng();
      break;
    case Op::Static:
      op.range = ranges[rng() % std::size(ranges)];
      op.value = rng() % op.range;
      break;
    case Op::Dynamic: {
      op.range = rng() % static_cast<std::uint32_t>(contexts);
      const int widths[] = {1, 2, 4};
      op.width = widths[op.range % 3]; // a context always has one width
      const std::uint64_t mask = op.width == 1 ? 0xFF : op.width == 2 ? 0xFFFF : 0xFFFFFFFF;
      // Mostly repeats from a small set so that symbols hit; sometimes anything.
      op.value = (rng() % 4 == 0 ? rng() : rng() % 12) & mask;
      break;
    }
    }
    ops.push_back(op);
  }
  return ops;
}

std::vector<std::uint8_t> encodeStream(const std::vector<Op> &ops, int contexts) {
  U3dBitWriter w;
  std::vector<U3dHistogram> hs(static_cast<std::size_t>(contexts));
  std::vector<float> run; // consecutive floats go in one f32s call, as the mesh writes them
  for (std::size_t i = 0; i < ops.size(); ++i) {
    const Op &op = ops[i];
    if (op.kind == Op::F32) {
      run.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(op.value)));
      if (i + 1 == ops.size() || ops[i + 1].kind != Op::F32) {
        w.f32s(run.data(), run.size());
        run.clear();
      }
      continue;
    }
    switch (op.kind) {
    case Op::U8:
      w.u8(static_cast<std::uint8_t>(op.value));
      break;
    case Op::U16:
      w.u16(static_cast<std::uint16_t>(op.value));
      break;
    case Op::U32:
      w.u32(static_cast<std::uint32_t>(op.value));
      break;
    case Op::U64:
      w.u64(op.value);
      break;
    case Op::F32:
      break;
    case Op::Static:
      w.staticU32(static_cast<std::uint32_t>(op.value), op.range);
      break;
    case Op::Dynamic:
      w.dynamic(hs[op.range], static_cast<std::uint32_t>(op.value), op.width);
      break;
    }
  }
  return w.finish();
}

void expectStreamDecodes(const std::vector<Op> &ops, const std::vector<std::uint8_t> &data,
                         int contexts) {
  u3dtest::DataReader r(data);
  std::vector<u3dtest::ReaderHistogram> hs(static_cast<std::size_t>(contexts));
  bool compressed = false;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    const Op &op = ops[i];
    std::uint64_t got = 0;
    switch (op.kind) {
    case Op::U8:
      got = r.u8();
      break;
    case Op::U16:
      got = r.u16();
      break;
    case Op::U32:
      got = r.u32();
      break;
    case Op::U64:
      got = r.u64();
      break;
    case Op::F32:
      got = std::bit_cast<std::uint32_t>(r.f32());
      break;
    case Op::Static:
      got = r.staticValue(op.range);
      compressed = true;
      break;
    case Op::Dynamic:
      got = r.dynamicValue(hs[op.range], op.width);
      compressed = true;
      break;
    }
    ASSERT_EQ(got, op.value) << "value " << i << " of kind " << op.kind;
  }
  if (compressed)
    u3dtest::expectCompressedEnd(r, "stream");
  else
    u3dtest::expectPlainEnd(r, "stream");
  EXPECT_EQ(r.u32(), 0u) << "the closing zero";
}

TEST(U3dBitWriter, RandomMixedStreamsRoundTrip) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 40; ++round) {
    const int contexts = 1 + round % 7;
    const std::vector<Op> ops =
        randomStream(rng, 200 + 97 * static_cast<std::size_t>(round), contexts);
    SCOPED_TRACE("round " + std::to_string(round));
    expectStreamDecodes(ops, encodeStream(ops, contexts), contexts);
  }
}

TEST(U3dBitWriter, StaticRangesAroundTheBoundaryRoundTrip) {
  std::mt19937 rng(7);
  std::vector<Op> ops;
  for (std::uint32_t range : {1u, 2u, 256u, 16381u, 16382u, 16383u, 16384u}) {
    for (int i = 0; i < 300; ++i)
      ops.push_back({Op::Static, i % 3 == 0 ? range - 1 : rng() % range, range});
    ops.push_back({Op::Static, 0, range});
  }
  expectStreamDecodes(ops, encodeStream(ops, 1), 1);
}

TEST(U3dBitWriter, LongRunsOfUndecidedBitsRoundTrip) {
  // Choosing, symbol after symbol, the value whose interval holds the midpoint keeps the
  // leading bit undecided, so the coder collects a long run of pending bits. The interval
  // is followed here with the coding rule alone (no bits), to pick those values.
  const std::uint32_t range = 5;
  std::uint32_t low = 0, high = 0xFFFF, pending = 0, longest = 0;
  std::vector<Op> ops;
  for (int i = 0; i < 400; ++i) {
    const std::uint32_t span = high - low + 1;
    std::uint32_t v = static_cast<std::uint32_t>((std::uint64_t{0x8000 - low} * range) / span);
    while (low + span * (v + 1) / range - 1 < 0x8000)
      ++v;
    ops.push_back({Op::Static, v, range});
    const std::uint32_t newHigh = low + span * (v + 1) / range - 1;
    low = low + span * v / range;
    high = newHigh;
    ASSERT_LT(low, 0x8000u);
    ASSERT_GE(high, 0x8000u);
    while ((low & 0xC000) == 0x4000 && (high & 0xC000) == 0x8000) {
      ++pending;
      low = (low & 0x3FFF) << 1;
      high = ((high & 0x3FFF) << 1) | 0x8001;
    }
    longest = std::max(longest, pending);
  }
  ASSERT_GT(longest, 40u);
  ops.push_back({Op::Static, 4, range}); // settles the run towards one side
  ops.push_back({Op::U8, 0xC3});
  expectStreamDecodes(ops, encodeStream(ops, 1), 1);
  // And towards the other side.
  ops[ops.size() - 2].value = 0;
  expectStreamDecodes(ops, encodeStream(ops, 1), 1);
}

TEST(U3dBitWriter, StaticRangeOf16383IsStoredAsAPlainU32) {
  // Before any other compressed value the coder is at rest, so the plain U32 shows as bytes.
  U3dBitWriter w;
  w.staticU32(0x01020304, 16383);
  EXPECT_EQ(hex(w.finish()), "0403020100000000");
  U3dBitWriter narrow;
  narrow.staticU32(0x1234, 16382);
  EXPECT_NE(narrow.finish().size(), 8u);
}

TEST(U3dBitWriter, LongDynamicContextsSurviveRepeatedHalving) {
  std::mt19937 rng(99);
  std::vector<Op> ops;
  std::geometric_distribution<int> skew(0.15);
  // Two interleaved contexts, 30000 symbols each: several halvings, after which rare
  // symbols whose counts dropped to zero must be escaped again.
  for (int i = 0; i < 60000; ++i) {
    const std::uint32_t ctx = static_cast<std::uint32_t>(i % 2);
    std::uint64_t v = static_cast<std::uint64_t>(skew(rng));
    if (i % 997 == 0)
      v = 40000 + (rng() % 30000); // rare large values
    if (i % 4999 == 0)
      v = 0x12345678; // beyond the stored symbols: always escaped
    ops.push_back({Op::Dynamic, ctx == 0 ? v : (v & 0xFFFFFFFF), ctx, 4});
  }
  expectStreamDecodes(ops, encodeStream(ops, 2), 2);
}

TEST(U3dBitWriter, ManyShadingIdsAfterHalvingRoundTrip) {
  // The mesh's one context codes 0 for every face; more than 8191 faces halve it.
  U3dBitWriter w;
  U3dHistogram h;
  for (int i = 0; i < 20000; ++i)
    w.dynamic(h, 0, 4);
  const std::vector<std::uint8_t> data = w.finish();
  u3dtest::DataReader r(data);
  u3dtest::ReaderHistogram rh;
  for (int i = 0; i < 20000; ++i)
    ASSERT_EQ(r.dynamicValue(rh, 4), 0u) << i;
  EXPECT_EQ(rh.total, h.total());
  EXPECT_EQ(rh.of(1), h.count(1));
  u3dtest::expectCompressedEnd(r, "shading ids");
}

} // namespace
