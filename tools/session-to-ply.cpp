// session-to-ply: writes a session file's surface as a binary PLY file, so that other
// programs can be given the same geometry: vertices with their normals and the deviation
// as a property named scalar_deviation, and the triangles unless --points-only.
#include "session/SessionModel.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char *kUsage = "usage: session-to-ply IN.ses OUT.ply [--points-only]\n";

int fail(const std::string &message) {
  std::fprintf(stderr, "session-to-ply: %s\n", message.c_str());
  return 1;
}

struct Closer {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

} // namespace

int main(int argc, char **argv) {
  std::string in, out;
  bool pointsOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--points-only")
      pointsOnly = true;
    else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "session-to-ply: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else if (in.empty())
      in = a;
    else if (out.empty())
      out = a;
    else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (in.empty() || out.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  SessionModel m;
  m.SetPath(in.c_str());
  if (!m.ReadSessionFile())
    return fail(m.error());
  const std::size_t n = m.points.size();
  const bool normals = m.normals.present();
  const std::size_t t = pointsOnly ? 0 : m.triangles.size();

  std::unique_ptr<std::FILE, Closer> f(std::fopen(out.c_str(), "wb"));
  if (!f)
    return fail(out + ": cannot create the file");
  std::string header = "ply\nformat binary_little_endian 1.0\ncomment from " + in +
                       "\nelement vertex " + std::to_string(n) +
                       "\nproperty float x\nproperty float y\nproperty float z\n";
  if (normals)
    header += "property float nx\nproperty float ny\nproperty float nz\n";
  header += "property float scalar_deviation\n";
  if (t > 0)
    header += "element face " + std::to_string(t) + "\nproperty list uchar int vertex_indices\n";
  header += "end_header\n";
  bool ok = std::fwrite(header.data(), 1, header.size(), f.get()) == header.size();

  std::vector<char> buf;
  buf.reserve(1 << 22);
  const auto put = [&](const void *p, std::size_t bytes) {
    const char *c = static_cast<const char *>(p);
    buf.insert(buf.end(), c, c + bytes);
    if (buf.size() >= (1u << 22)) {
      ok = ok && std::fwrite(buf.data(), 1, buf.size(), f.get()) == buf.size();
      buf.clear();
    }
  };
  for (std::size_t i = 0; i < n; ++i) {
    put(&m.points[i], 12);
    if (normals)
      put(&m.normals[i], 12);
    const float d = m.deviations.present() ? m.deviations[i] : 0.0f;
    put(&d, 4);
  }
  for (std::size_t i = 0; i < t; ++i) {
    const std::uint8_t three = 3;
    put(&three, 1);
    put(&m.triangles[i], 12);
  }
  ok = ok && std::fwrite(buf.data(), 1, buf.size(), f.get()) == buf.size();
  ok = std::fclose(f.release()) == 0 && ok;
  if (!ok)
    return fail(out + ": writing failed");
  std::printf("%s: %zu vertices, %zu triangles\n", out.c_str(), n, t);
  return 0;
}
