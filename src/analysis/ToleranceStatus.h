#pragma once

// Where a deviation lies against the tolerance band. The tolerances are rounded to float, as
// the point cloud and the colour scale take them, so a status always agrees with the colour
// the point is drawn in: a deviation stored as 0.1f is inside a band typed as 0.1.
enum class ToleranceStatus { In, Above, Below, NotANumber };

inline ToleranceStatus toleranceStatus(float deviation, double lower, double upper) {
  if (deviation > static_cast<float>(upper))
    return ToleranceStatus::Above;
  if (deviation < static_cast<float>(lower))
    return ToleranceStatus::Below;
  if (deviation == deviation)
    return ToleranceStatus::In;
  return ToleranceStatus::NotANumber;
}

inline bool isOutsideTolerance(float deviation, double lower, double upper) {
  const ToleranceStatus s = toleranceStatus(deviation, lower, upper);
  return s == ToleranceStatus::Above || s == ToleranceStatus::Below;
}

// "in", "above", "below"; empty for a deviation that is not a number.
inline const char *toleranceStatusName(ToleranceStatus s) {
  switch (s) {
  case ToleranceStatus::In:
    return "in";
  case ToleranceStatus::Above:
    return "above";
  case ToleranceStatus::Below:
    return "below";
  default:
    return "";
  }
}
