#include "export/VrmlWriter.h"
#include "support/ModelBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using namespace exporttest;

namespace {

std::string golden(const std::string &name) {
  return readWholeFile(std::string(VELMORA_TEST_DATA) + "/vrml/" + name);
}

// The colour cut exactly as described for the file: "%f" into a 10-character buffer, cut two
// characters after the first '.', parse back, print with "%g".
std::string referenceComponentText(double c) {
  char buf[10];
  std::snprintf(buf, sizeof buf, "%f", c);
  if (char *dot = static_cast<char *>(std::memchr(buf, '.', std::strlen(buf))))
    if (dot + 3 < buf + sizeof buf)
      dot[3] = '\0';
  const double cut = std::strtod(buf, nullptr);
  char out[32];
  std::snprintf(out, sizeof out, "%g", cut);
  return out;
}

std::string referenceFloatText(float v) {
  char out[32];
  std::snprintf(out, sizeof out, "%g", static_cast<double>(v));
  return out;
}

std::string fastFloatText(float v) {
  char out[32];
  return std::string(out, vrmltext::writeFloat(out, v));
}

const ColourScale kGradient(0.25f, -0.25f, 15, 0, true, false);
const ColourScale kBandsExtended(0.25f, -0.25f, 15, 0, false, true);

SessionModel gradientModel() {
  return makeModel({{12.5f, 1.0f, 123.456789f, 0.125f},
                    {-0.5f, 1e-7f, 1234567.0f, 0.0f},
                    {0.0001f, 0.00001f, -98765.4321f, 0.125f},
                    {3, -4, 5e10f, 1.0f / 12.0f},
                    {0, -0.0f, 7, 0.25f},
                    {2.5e-5f, 999999.0f, 999999.5f, -0.0625f}},
                   {{0, 1, 2, 7}, {2, 3, 0, 99}, {3, 4, 5, -3}});
}

SessionModel bandsModel() {
  return makeModel({{0, 0, 0, -0.3f},
                    {1, 0, 0, 0.3f},
                    {1, 1, 0, -0.25f},
                    {0, 1, 0, 0.0f},
                    {0.5f, 0.5f, 1, -0.2f}});
}

} // namespace

// The general format with 6 significant digits, against the C library, over edge cases and
// a large random sample of bit patterns and of typical coordinate ranges.
TEST(VrmlNumbers, FloatTextEqualsPrintfGeneralFormat) {
  const float edges[] = {0.0f,
                         -0.0f,
                         1.0f,
                         -1.0f,
                         12.5f,
                         123.456789f,
                         0.1f,
                         0.0001f,
                         0.00001f,
                         0.000099999f,
                         9.99999e-5f,
                         1e-5f,
                         9.999995e-6f,
                         999999.0f,
                         999999.5f,
                         999998.5f,
                         99999.95f,
                         999999.4f,
                         1e6f,
                         1234567.0f,
                         1234565.0f,
                         1234575.0f,
                         0.5f,
                         2.5f,
                         0.1234565f,
                         1e-45f,
                         std::numeric_limits<float>::min(),
                         std::numeric_limits<float>::max(),
                         std::numeric_limits<float>::lowest(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN(),
                         -std::numeric_limits<float>::quiet_NaN()};
  for (float v : edges)
    EXPECT_EQ(fastFloatText(v), referenceFloatText(v)) << "bits of " << v;

  std::mt19937 rng(12345);
  std::uniform_int_distribution<std::uint32_t> bits;
  int mismatches = 0;
  for (int i = 0; i < 2000000 && mismatches < 10; ++i) {
    float v;
    if (i % 2 == 0) {
      const std::uint32_t b = bits(rng);
      std::memcpy(&v, &b, 4);
    } else {
      // Coordinates of measured parts: mm values with a few decimals, and tiny offsets.
      const double scale = std::pow(10.0, static_cast<int>(bits(rng) % 14) - 7);
      v = static_cast<float>((static_cast<double>(bits(rng)) / 4294967296.0 - 0.5) * scale);
    }
    const std::string a = fastFloatText(v), b = referenceFloatText(v);
    if (a != b) {
      ++mismatches;
      ADD_FAILURE() << std::hexfloat << v << ": " << a << " != " << b;
    }
  }
  // Every value on either side of each power of ten in the fast range.
  for (int e = -6; e <= 7; ++e) {
    float p = static_cast<float>(std::pow(10.0, e));
    float lo = p, hi = p;
    for (int k = 0; k < 50; ++k) {
      lo = std::nextafter(lo, 0.0f);
      hi = std::nextafter(hi, 1e30f);
      EXPECT_EQ(fastFloatText(lo), referenceFloatText(lo));
      EXPECT_EQ(fastFloatText(hi), referenceFloatText(hi));
    }
  }
}

// The colour cut against the literal text procedure: truncation after rounding to six
// decimals, near every hundredth, for random doubles and for float-born components.
TEST(VrmlNumbers, ColourCutEqualsTextProcedure) {
  EXPECT_EQ(vrmltext::componentText(2.0 / 3.0), "0.66");
  EXPECT_EQ(vrmltext::componentText(1.0), "1");
  EXPECT_EQ(vrmltext::componentText(0.0), "0");
  EXPECT_EQ(vrmltext::componentText(0.0099999996), "0.01"); // "%f" rounds up first
  EXPECT_EQ(vrmltext::componentText(0.0099994), "0");
  EXPECT_EQ(vrmltext::componentText(0.999), "0.99");
  EXPECT_EQ(vrmltext::cutComponent(2.0 / 3.0), 0.66);

  std::vector<double> values = {-0.0, 1.0 / 128, 0.5,       0.3,          0.7,   0.29,
                                0.57, 0.58,      0.9999995, 0.9999994999, 1e-300};
  for (int h = 0; h <= 100; ++h) {
    const double base = h / 100.0;
    for (double centre : {base, base - 5e-7, base + 5e-7}) {
      double lo = centre, hi = centre;
      for (int k = 0; k < 20; ++k) {
        lo = std::nextafter(lo, -1.0);
        hi = std::nextafter(hi, 2.0);
        values.push_back(lo);
        values.push_back(hi);
      }
      values.push_back(centre);
    }
  }
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 300000; ++i) {
    values.push_back(unit(rng));
    values.push_back(static_cast<float>(unit(rng))); // the scale's components come from floats
  }
  // Values the scale never gives, still handled by the same rule.
  values.insert(values.end(), {-0.25, -1.0, 1.5, 1.004, 99.999999});
  for (double c : values) {
    if (c < 0 && c > -1e-6)
      continue; // negative tiny values print as "-0" both ways; covered by -0.0 above
    ASSERT_EQ(vrmltext::componentText(c), referenceComponentText(c))
        << std::hexfloat << c << " = " << std::defaultfloat << c;
  }
}

// Hand-written files: number forms (integers, decimals, exponents, -0, rounding carries),
// shared deviations giving the same colour text, components 1 and 0, two thirds cut to 0.66,
// triangles with their fourth integer dropped, the trailing separators.
TEST(VrmlWriter, GoldenTexts) {
  EXPECT_EQ(vrmlText(gradientModel(), kGradient), golden("gradient.wrl"));
  EXPECT_EQ(vrmlText(bandsModel(), kBandsExtended), golden("bands-extended.wrl"));
  EXPECT_EQ(vrmlText(SessionModel{}, kGradient), golden("empty.wrl"));

  // A negative triangle count means no triangles, like zero.
  SessionModel noTriangles = bandsModel();
  noTriangles.triangleCount = -1;
  EXPECT_EQ(vrmlText(noTriangles, kBandsExtended), golden("bands-extended.wrl"));

  // Without extended colours the values beyond the tolerance are white.
  const std::string plain = vrmlText(bandsModel(), ColourScale(0.25f, -0.25f, 15, 0, false, false));
  EXPECT_NE(plain.find("\t\t\tcolor[1 1 1, 1 1 1, 1 1 1, 0 1 0, 0 0.4 1, ]\n"), std::string::npos)
      << plain;
}

// An independent VRML reader accepts every file and sees the model's points, colours and
// triangles.
TEST(VrmlWriter, IndependentReaderSeesTheModel) {
  if (!haveVrmlReader())
    GTEST_SKIP() << "tovrmlx3d (package view3dscene) is not installed";
  TempDir dir;

  // A random model of some size with a band scale.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> coord(-500.0f, 500.0f), dev(-0.4f, 0.4f);
  std::vector<TestPoint> pts;
  for (int i = 0; i < 3000; ++i)
    pts.push_back({coord(rng), coord(rng), coord(rng), dev(rng)});
  std::vector<std::array<int, 4>> tris;
  std::uniform_int_distribution<int> idx(0, 2999);
  for (int i = 0; i < 5000; ++i)
    tris.push_back({idx(rng), idx(rng), idx(rng), i});
  const SessionModel big = makeModel(pts, tris);
  const ColourScale bands(0.25f, -0.25f, 15, 0, false, false);

  struct Case {
    std::string name;
    const SessionModel *model;
    const ColourScale *scale;
  };
  const SessionModel gm = gradientModel(), bm = bandsModel(), empty;
  const Case cases[] = {{"gradient", &gm, &kGradient},
                        {"bands", &bm, &kBandsExtended},
                        {"empty", &empty, &kGradient},
                        {"random", &big, &bands}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name + ".wrl");
    ASSERT_TRUE(writeVrmlFile(path, *c.model, *c.scale).ok);
    const ParsedCounts r = readWithVrmlReader(path);
    ASSERT_TRUE(r.parsed) << r.diagnostics;
    const auto n = static_cast<std::size_t>(c.model->pointCount);
    ASSERT_EQ(r.points.size(), 3 * n);
    ASSERT_EQ(r.colours.size(), 3 * n);
    const std::size_t t = c.model->triangleCount > 0 ? c.model->triangleCount : 0;
    ASSERT_EQ(r.indices.size(), 4 * t);
    for (std::size_t i = 0; i < n; ++i) {
      const Vec3f &p = c.model->points[i];
      const float xyz[3] = {p.x, p.y, p.z};
      for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(r.points[3 * i + k], xyz[k], std::fabs(xyz[k]) * 1e-5 + 1e-30) << i;
      const Colour col = c.scale->colourFor(c.model->deviations[i]);
      const double rgb[3] = {col.r, col.g, col.b};
      for (int k = 0; k < 3; ++k) {
        // Cut to hundredths: never above the colour, less than 0.01 below it.
        EXPECT_LE(r.colours[3 * i + k], rgb[k] + 1e-6) << i;
        EXPECT_GT(r.colours[3 * i + k], rgb[k] - 0.01 - 1e-6) << i;
      }
    }
    for (std::size_t i = 0; i < t; ++i) {
      const Triangle &tr = c.model->triangles[i];
      EXPECT_EQ(r.indices[4 * i], tr.a);
      EXPECT_EQ(r.indices[4 * i + 1], tr.b);
      EXPECT_EQ(r.indices[4 * i + 2], tr.c);
      EXPECT_EQ(r.indices[4 * i + 3], -1);
    }
  }
}

// Failures report the file and leave an existing file as it was, with no temporary left.
TEST(VrmlWriter, FailuresKeepExistingFiles) {
  TempDir dir;
  writeWholeFile(dir.file("plain"), "x");
  for (const std::string &path :
       {dir.file("missing/out.wrl"), dir.file("plain/out.wrl"), std::string("/proc/out.wrl")}) {
    const ExportResult r = writeVrmlFile(path, gradientModel(), kGradient);
    EXPECT_FALSE(r.ok) << path;
    EXPECT_NE(r.message.find(path), std::string::npos) << r.message;
  }

  // Models whose counts do not match their arrays are refused without touching the target.
  const std::string keep = dir.file("keep.wrl");
  writeWholeFile(keep, "old");
  SessionModel badIndex = gradientModel();
  badIndex.triangles[1].b = 6; // one past the last point
  SessionModel negIndex = gradientModel();
  negIndex.triangles[0].c = -1;
  SessionModel shortPoints = gradientModel();
  shortPoints.pointCount = 7;
  SessionModel missingTriangles = bandsModel();
  missingTriangles.triangleCount = 2;
  SessionModel negativeCount = bandsModel();
  negativeCount.pointCount = -5;
  for (const SessionModel *m :
       {&badIndex, &negIndex, &shortPoints, &missingTriangles, &negativeCount}) {
    const ExportResult r = writeVrmlFile(keep, *m, kGradient);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.empty());
  }
  EXPECT_NE(writeVrmlFile(keep, badIndex, kGradient).message.find("triangle 1"), std::string::npos);
  EXPECT_EQ(readWholeFile(keep), "old");

  // A successful write replaces it completely.
  ASSERT_TRUE(writeVrmlFile(keep, bandsModel(), kBandsExtended).ok);
  EXPECT_EQ(readWholeFile(keep), golden("bands-extended.wrl"));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"keep.wrl", "plain"}));
}

// A sink that refuses part way makes the writer stop and report failure.
TEST(VrmlWriter, RefusingSinkStopsTheWriter) {
  std::vector<TestPoint> pts(200000, TestPoint{1.25f, -2.5f, 3.75f, 0.1f});
  const SessionModel m = makeModel(pts);
  std::size_t calls = 0, bytes = 0;
  const ExportResult r = formatVrml(m, kGradient, [&](const char *, std::size_t n) {
    ++calls;
    bytes += n;
    return calls < 2;
  });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(calls, 2u);
  EXPECT_LT(bytes, vrmlText(m, kGradient).size());
}
