// Any byte string as a session file: the reader either refuses it with a message or fills
// a model whose arrays hold what the counts say and whose triangles index real points.
#include "FuzzFile.h"
#include "session/SessionModel.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static FuzzFile file;
  SessionModel m;
  m.SetPath(file.write(data, size).c_str());
  if (!m.ReadSessionFile()) {
    if (m.error().empty() || m.pointCount != 0 || m.points.present())
      std::abort();
    return 0;
  }
  const auto n = static_cast<std::size_t>(m.pointCount);
  if (m.points.size() != n || m.normals.size() != n || m.deviations.size() != n)
    std::abort();
  if (m.hasNominalPoints() && m.nominalPoints.size() != n)
    std::abort();
  if (m.triangleCount > 0 && m.triangles.size() != static_cast<std::size_t>(m.triangleCount))
    std::abort();
  // Normal indices are held for every triangle, and only when one is not its position.
  std::size_t same = 0;
  while (same < m.triangles.size() && m.normalIndexOf(same) == static_cast<std::int32_t>(same))
    ++same;
  if (m.triangleNormalIndices.present() &&
      (m.triangleNormalIndices.size() != m.triangles.size() || same == m.triangles.size()))
    std::abort();
  // Touch every value, as drawing would; the sanitizers see any read outside the arrays.
  volatile float sink = 0;
  for (std::size_t i = 0; i < n; ++i)
    sink = sink + m.points[i].x + m.normals[i].y + m.deviations[i];
  m.GetBoundingBox();
  if (m.hasTriangles())
    m.ComputeTriangleNormals(static_cast<std::uint32_t>(m.triangleCount));
  return 0;
}
