// Any byte string as an annotation file: the reader either refuses it with a message or gives
// a record within the limits whose point indices lie inside its point count, that writes out
// and reads back as the same record.
#include "FuzzFile.h"
#include "records/AnnotationsFile.h"

#include <cstdlib>

namespace {
void check(bool ok) {
  if (!ok)
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static FuzzFile file;
  const AnnotationsReadResult r = readAnnotations(file.write(data, size));
  if (!r.ok) {
    check(!r.error.empty() && r.notes.empty());
    return 0;
  }
  const Annotations &a = r.annotations;
  const auto inside = [&](std::int32_t i) { return i >= 0 && i < a.session.pointCount; };
  using L = AnnotationsLimits;
  check(a.banners.size() <= L::kMaxEntries && a.distances.size() <= L::kMaxEntries &&
        a.comments.size() <= L::kMaxEntries);
  for (const BannerRecord &b : a.banners)
    check(inside(b.point));
  for (const DistanceRecord &d : a.distances)
    check(inside(d.first) && inside(d.second));
  // Every part that reached the record passes the checks the window relies on.
  check(recordProblems(a).empty());
  // What was accepted survives a write and a read unchanged (the version is the current one).
  const AnnotationsReadResult again = parseAnnotations(annotationsJson(a), "again");
  check(again.ok && again.notes.empty());
  Annotations expected = a;
  expected.versionMajor = Annotations::kFormatMajor;
  expected.versionMinor = Annotations::kFormatMinor;
  check(again.annotations == expected);
  return 0;
}
