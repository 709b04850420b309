// Any byte string as a point text file: the reader either refuses it with a message (empty, a
// NUL byte, no number) and leaves the model empty, or gives every point a zero deviation and
// status.
#include "FuzzFile.h"
#include "session/SessionModel.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static FuzzFile file;
  SessionModel m;
  m.SetPath(file.write(data, size).c_str());
  if (!m.ReadPointTextFile()) {
    if (m.error().empty() || m.pointCount != 0 || m.points.present())
      std::abort();
    return 0;
  }
  const auto n = static_cast<std::size_t>(m.pointCount);
  if (m.points.size() != n || m.deviations.size() != n || m.pointStatus.size() != n)
    std::abort();
  for (std::size_t i = 0; i < n; ++i)
    if (m.deviations[i] != 0.0f || m.pointStatus[i] != 0)
      std::abort();
  // Every point needs a line with at least one number.
  if (n > size / 2 + 1)
    std::abort();
  m.GetBoundingBox();
  return 0;
}
