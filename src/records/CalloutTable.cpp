#include "records/CalloutTable.h"

#include "analysis/SectionCsv.h"
#include "analysis/ToleranceStatus.h"
#include "io/AtomicFile.h"
#include "session/SessionModel.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

struct PointValues {
  Vec3d p;
  float deviation;
  bool valid;
};

PointValues valuesOf(const SessionModel &model, std::int32_t index) {
  const auto n = static_cast<std::size_t>(std::max(model.pointCount, 0));
  const auto i = static_cast<std::size_t>(index);
  if (index < 0 || i >= n || i >= model.points.size()) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {{nan, nan, nan}, std::numeric_limits<float>::quiet_NaN(), false};
  }
  const Vec3f &p = model.points[i];
  const float d = i < model.deviations.size() ? model.deviations[i] : 0.0f;
  return {{p.x, p.y, p.z}, d, true};
}

CalloutRow pointRow(CalloutRow::Kind kind, int callout, std::string id, const PointValues &v,
                    double lower, double upper, bool gradient) {
  CalloutRow r;
  r.kind = kind;
  r.callout = callout;
  r.id = std::move(id);
  r.x = v.p.x;
  r.y = v.p.y;
  r.z = v.p.z;
  r.deviation = v.deviation;
  r.status = toleranceStatusName(toleranceStatus(v.deviation, lower, upper, gradient));
  return r;
}

} // namespace

std::vector<CalloutRow> calloutRows(const SessionModel &model,
                                    const std::vector<BannerRecord> &banners,
                                    const std::vector<DistanceRecord> &distances, double lower,
                                    double upper, bool gradient) {
  std::vector<CalloutRow> rows;
  rows.reserve(banners.size() + 3 * distances.size());
  for (std::size_t i = 0; i < banners.size(); ++i) {
    rows.push_back(pointRow(CalloutRow::Kind::Banner, static_cast<int>(i),
                            "B" + std::to_string(i + 1), valuesOf(model, banners[i].point), lower,
                            upper, gradient));
    rows.back().comment = banners[i].comment;
  }
  for (std::size_t i = 0; i < distances.size(); ++i) {
    const std::string id = "D" + std::to_string(i + 1);
    const PointValues a = valuesOf(model, distances[i].first);
    const PointValues b = valuesOf(model, distances[i].second);
    rows.push_back(pointRow(CalloutRow::Kind::DistanceEnd, static_cast<int>(i), id + "a", a, lower,
                            upper, gradient));
    rows.push_back(pointRow(CalloutRow::Kind::DistanceEnd, static_cast<int>(i), id + "b", b, lower,
                            upper, gradient));
    CalloutRow d;
    d.kind = CalloutRow::Kind::Distance;
    d.callout = static_cast<int>(i);
    d.id = id;
    d.x = b.p.x - a.p.x;
    d.y = b.p.y - a.p.y;
    d.z = b.p.z - a.p.z;
    d.deviation = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    d.comment = distances[i].comment;
    rows.push_back(std::move(d));
  }
  return rows;
}

std::string csvField(const std::string &text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos)
    return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"')
      out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string calloutCsv(const std::vector<CalloutRow> &rows) {
  std::string out = "id,x,y,z,deviation,status,comment\n";
  for (const CalloutRow &r : rows) {
    out += r.id;
    const bool point = r.kind != CalloutRow::Kind::Distance;
    for (double v : {r.x, r.y, r.z, r.deviation}) {
      out += ',';
      if (point)
        appendShortest(out, static_cast<float>(v));
      else
        appendShortest(out, v);
    }
    out += ',';
    out += r.status;
    out += ',';
    out += csvField(r.comment);
    out += '\n';
  }
  return out;
}

ExportResult writeCalloutCsv(const std::string &path, const std::vector<CalloutRow> &rows,
                             const std::vector<std::string> &inputs) {
  for (const std::string &input : inputs)
    if (const std::string problem = targetIsInputProblem(path, input); !problem.empty())
      return ExportResult::failure(problem);
  AtomicFile out(path, std::size_t{1} << 20);
  out.write(calloutCsv(rows));
  if (!out.commit())
    return ExportResult::failure(out.error());
  return ExportResult::success();
}
