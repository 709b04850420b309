// make-session: turns a mesh (OBJ or PLY) into a session file with normals, a deviation
// field and optional nominal points; also writes point text files and large synthetic
// session files for benchmarks.
#include "MeshReader.h"
#include "SessionMaker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *kUsage =
    "usage: make-session MESH.obj|MESH.ply --out OUT.ses [--size MM] [--seed S] [--nominal]\n"
    "       make-session MESH.obj|MESH.ply --points-text OUT.txt [--size MM]\n"
    "       make-session --synthetic --points N --out OUT.ses [--seed S] [--nominal]\n"
    "                    [--no-triangles]\n"
    "  --size     largest extent of the model in millimetres (default 100)\n"
    "  --seed     seed of the deviation field (default 1)\n"
    "  --nominal  add the nominal point block (format word 16)\n"
    "  --no-triangles  a synthetic point cloud: the same points, no triangle block\n";

int fail(const std::string &message) {
  std::fprintf(stderr, "make-session: %s\n", message.c_str());
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  std::string input, out, textOut;
  double size = 100;
  unsigned long long seed = 1;
  long long synthetic = -1;
  bool nominal = false, wantSynthetic = false, triangles = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> const char * {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "make-session: %s needs a value\n%s", a.c_str(), kUsage);
        std::exit(2);
      }
      return argv[++i];
    };
    char *end = nullptr;
    if (a == "--out") {
      out = value();
    } else if (a == "--points-text") {
      textOut = value();
    } else if (a == "--size") {
      const char *v = value();
      size = std::strtod(v, &end);
      if (*end || !(size > 0))
        return fail(std::string("--size takes a positive number, not '") + v + "'");
    } else if (a == "--seed") {
      const char *v = value();
      seed = std::strtoull(v, &end, 10);
      if (*end || !*v)
        return fail(std::string("--seed takes a whole number, not '") + v + "'");
    } else if (a == "--points") {
      const char *v = value();
      synthetic = std::strtoll(v, &end, 10);
      if (*end || synthetic < 1)
        return fail(std::string("--points takes a positive whole number, not '") + v + "'");
    } else if (a == "--synthetic") {
      wantSynthetic = true;
    } else if (a == "--nominal") {
      nominal = true;
    } else if (a == "--no-triangles") {
      triangles = false;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "make-session: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      input = a;
    }
  }
  std::string error;
  if (wantSynthetic) {
    if (synthetic < 1 || out.empty())
      return fail("--synthetic needs --points N and --out OUT.ses");
    std::int64_t written = 0;
    if (!sessionmaker::writeSyntheticSession(out, synthetic, seed, nominal, error, &written,
                                             triangles))
      return fail(error);
    std::printf("%s: %lld points, %lld triangles\n", out.c_str(), synthetic,
                static_cast<long long>(written));
    return 0;
  }
  if (input.empty() || (out.empty() && textOut.empty())) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Mesh mesh;
  if (!meshio::readMeshFile(input, mesh, error))
    return fail(error);
  if (!sessionmaker::fitToSize(mesh, size))
    return fail(input + ": the mesh has no extent");
  if (!textOut.empty()) {
    std::vector<Vec3f> pts;
    pts.reserve(mesh.vertices.size());
    for (const Vec3d &v : mesh.vertices)
      pts.push_back(sessionmaker::toFloat(v));
    if (!sessionmaker::writePointText(textOut, pts, error))
      return fail(error);
    std::printf("%s: %zu points\n", textOut.c_str(), pts.size());
  }
  if (!out.empty()) {
    const sessionmaker::SessionData s = sessionmaker::makeSession(mesh, seed, nominal, size);
    if (!sessionmaker::writeSession(out, s, error))
      return fail(error);
    std::printf("%s: %zu points, %zu triangles%s\n", out.c_str(), s.points.size(),
                s.triangles.size(), nominal ? ", nominal points" : "");
  }
  return 0;
}
