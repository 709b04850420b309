// Any byte string as an OBJ or a PLY mesh for make-session: parsed or refused, and every
// triangle of an accepted mesh names existing vertices.
#include "MeshReader.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  for (bool ply : {false, true}) {
    Mesh mesh;
    std::string error;
    const bool ok =
        ply ? meshio::parsePly(bytes, mesh, error) : meshio::parseObj(bytes, mesh, error);
    if (!ok) {
      if (error.empty())
        std::abort();
      continue;
    }
    for (const auto &t : mesh.triangles)
      for (auto i : t)
        if (i < 0 || static_cast<std::size_t>(i) >= mesh.vertices.size())
          std::abort();
  }
  return 0;
}
