#include "export/ExportFile.h"
#include "export/GltfWriter.h"
#include "support/ModelBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>

using namespace exporttest;
using nlohmann::json;

namespace {

const ColourScale kScale(0.25f, -0.25f, 15, 0, false, false);

// A glTF binary read back: its JSON and the arrays of its accessors.
struct Glb {
  json doc;
  std::vector<char> bin;
  template <typename T> std::vector<T> accessor(int index) const {
    const json &a = doc["accessors"][index];
    const json &v = doc["bufferViews"][a["bufferView"].get<int>()];
    const std::size_t n = a["count"].get<std::size_t>() * (a["type"] == "VEC3" ? 3 : 1);
    EXPECT_EQ(v["byteLength"].get<std::size_t>(), n * sizeof(T));
    std::vector<T> out(n);
    std::memcpy(out.data(), bin.data() + v["byteOffset"].get<std::size_t>(), n * sizeof(T));
    return out;
  }
  const json &primitive() const { return doc["meshes"][0]["primitives"][0]; }
};

std::uint32_t word(const std::vector<char> &b, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

Glb readGlb(const std::vector<char> &b) {
  Glb g;
  EXPECT_GE(b.size(), 28u);
  EXPECT_EQ(word(b, 0), 0x46546C67u);
  EXPECT_EQ(word(b, 4), 2u);
  EXPECT_EQ(word(b, 8), b.size());
  const std::uint32_t jsonLength = word(b, 12);
  EXPECT_EQ(jsonLength % 4, 0u);
  EXPECT_EQ(word(b, 16), 0x4E4F534Au);
  g.doc = json::parse(b.begin() + 20, b.begin() + 20 + jsonLength);
  const std::size_t bin = 20 + jsonLength;
  EXPECT_EQ(word(b, bin + 4), 0x004E4942u);
  EXPECT_EQ(bin + 8 + word(b, bin), b.size());
  g.bin.assign(b.begin() + static_cast<long>(bin + 8), b.end());
  EXPECT_EQ(g.doc["buffers"][0]["byteLength"].get<std::size_t>(), g.bin.size());
  return g;
}

// A square grid of n x n points with two triangles per cell and a deviation that varies.
SessionModel grid(int n) {
  std::vector<TestPoint> points;
  std::vector<std::array<int, 4>> triangles;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      points.push_back(
          {float(x), float(y), 0.1f * float(x % 3), 0.05f * float((x * 7 + y) % 13) - 0.3f});
  for (int y = 0; y + 1 < n; ++y)
    for (int x = 0; x + 1 < n; ++x) {
      const int i = y * n + x;
      triangles.push_back({i, i + 1, i + n, 0});
      triangles.push_back({i + 1, i + n + 1, i + n, 0});
    }
  return makeModel(points, triangles);
}

} // namespace

TEST(GltfWriter, ArraysReadBackAsTheModelAndItsColours) {
  SessionModel model = grid(5);
  model.deviations[3] = std::nanf(""); // no deviation: a marked value, the scale's colour
  ShareScene scene;
  scene.title = "grid.ses";
  scene.callouts = {CalloutRow{CalloutRow::Kind::Banner, 0, "B1", 1, 2, 3, 0.5, "above", "hole"}};
  const Glb g = readGlb(glbBytes(model, kScale, scene));
  const json &p = g.primitive();
  EXPECT_EQ(p["mode"], 4);
  const auto positions = g.accessor<float>(p["attributes"]["POSITION"]);
  const auto normals = g.accessor<float>(p["attributes"]["NORMAL"]);
  const auto colours = g.accessor<float>(p["attributes"]["COLOR_0"]);
  const auto deviations = g.accessor<float>(p["attributes"]["_DEVIATION"]);
  const auto indices = g.accessor<std::uint32_t>(p["indices"]);
  const std::size_t n = std::size_t(model.pointCount);
  ASSERT_EQ(positions.size(), 3 * n);
  ASSERT_EQ(indices.size(), 3 * std::size_t(model.triangleCount));
  float lo = 1e9f, hi = -1e9f;
  for (std::size_t i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(positions[3 * i + std::size_t(k)], model.points[i][k]);
    lo = std::min(lo, model.points[i].z);
    hi = std::max(hi, model.points[i].z);
    EXPECT_NEAR(std::hypot(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]), 1.0, 1e-6);
    EXPECT_EQ(deviations[i],
              i == 3 ? g.doc["extras"]["noDeviation"].get<float>() : model.deviations[i]);
    const Colour c = kScale.colourFor(model.deviations[i]);
    EXPECT_EQ(colours[3 * i], linearFromDisplay(c.r));
    EXPECT_EQ(colours[3 * i + 1], linearFromDisplay(c.g));
    EXPECT_EQ(colours[3 * i + 2], linearFromDisplay(c.b));
  }
  for (std::size_t t = 0; t < std::size_t(model.triangleCount); ++t) {
    EXPECT_EQ(indices[3 * t], std::uint32_t(model.triangles[t].a));
    EXPECT_EQ(indices[3 * t + 2], std::uint32_t(model.triangles[t].c));
  }
  const json &pos = g.doc["accessors"][p["attributes"]["POSITION"].get<int>()];
  EXPECT_EQ(pos["min"][2].get<float>(), lo);
  EXPECT_EQ(pos["max"][2].get<float>(), hi);
  EXPECT_TRUE(g.doc["materials"][0]["extensions"].contains("KHR_materials_unlit"));
  // The legend is the scale's, the callouts the scene's.
  const json &ex = g.doc["extras"];
  ASSERT_EQ(ex["legend"].size(), kScale.entries().size());
  for (std::size_t i = 0; i < ex["legend"].size(); ++i) {
    EXPECT_EQ(ex["legend"][i]["upper"].get<float>(), kScale.entries()[i].upper);
    EXPECT_EQ(ex["legend"][i]["colour"][1].get<double>(), kScale.entries()[i].colour.g);
  }
  EXPECT_EQ(ex["units"], "mm");
  EXPECT_EQ(ex["title"], "grid.ses");
  EXPECT_EQ(ex["callouts"][0]["id"], "B1");
  EXPECT_EQ(ex["callouts"][0]["comment"], "hole");
  EXPECT_FALSE(ex.contains("reducedFrom"));
}

TEST(GltfWriter, PointsModeAndReducedMeshKeepingTheWorstDeviation) {
  SessionModel model = grid(40);
  ShareScene scene;
  scene.points = true;
  Glb g = readGlb(glbBytes(model, kScale, scene));
  EXPECT_EQ(g.primitive()["mode"], 0);
  EXPECT_FALSE(g.primitive().contains("indices"));
  EXPECT_EQ(g.accessor<float>(g.primitive()["attributes"]["_DEVIATION"]).size(), 1600u);

  scene.points = false;
  scene.maxTriangles = 300;
  g = readGlb(glbBytes(model, kScale, scene));
  const auto indices = g.accessor<std::uint32_t>(g.primitive()["indices"]);
  const auto deviations = g.accessor<float>(g.primitive()["attributes"]["_DEVIATION"]);
  EXPECT_LE(indices.size() / 3, 300u);
  EXPECT_GT(indices.size() / 3, 100u);
  EXPECT_EQ(g.doc["extras"]["reducedFrom"], model.triangleCount);
  float worst = 0, kept = 0;
  for (float d : model.deviations)
    worst = std::max(worst, std::fabs(d));
  for (float d : deviations)
    kept = std::max(kept, std::fabs(d));
  EXPECT_EQ(kept, worst);
  for (std::uint32_t i : indices)
    EXPECT_LT(i, deviations.size());
}

TEST(GltfWriter, RefusalsKeepTheExistingFile) {
  TempDir dir;
  const std::string target = dir.file("out.glb"), page = dir.file("out.HTML");
  writeWholeFile(target, "old");
  SessionModel empty = makeModel({});
  empty.path = dir.file("in.ses");
  ExportResult r = exportModelFile(target, empty, kScale);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("the model has no points"), std::string::npos) << r.message;
  SessionModel bad = makeModel({{0, 0, 0, 0}, {1, 0, 0, 0}}, {{0, 1, 2, 0}});
  bad.path = dir.file("in.ses");
  r = exportModelFile(target, bad, kScale);
  EXPECT_NE(r.message.find("does not exist"), std::string::npos) << r.message;
  EXPECT_EQ(readWholeFile(target), "old");
  SessionModel model = grid(3);
  model.path = target;
  EXPECT_FALSE(exportModelFile(target, model, kScale).ok); // never onto its input
  EXPECT_EQ(readWholeFile(target), "old");
  // A point text file may be shared; the page holds the glb under the default budget.
  model.path = dir.file("in.txt");
  ASSERT_TRUE(exportModelFile(page, model, kScale).ok);
  const std::string html = readWholeFile(page);
  EXPECT_NE(html.find("id=\"model-glb\">Z2xURgIAAA"), std::string::npos); // "glTF", version 2
  EXPECT_EQ(html.find(" src="), std::string::npos);                       // nothing to fetch
  EXPECT_EQ(html.find("<link"), std::string::npos);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.HTML", "out.glb"}));
}
