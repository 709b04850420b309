#pragma once

// Where a deviation lies against the tolerance band. The colour scale decides it
// (ColourScale::verdict), from the same lookup that gives the point its colour, so a status,
// a count and a colour never disagree, not even on a limit.
enum class ToleranceStatus { In, Above, Below, NotANumber };

// The status that the colours for these tolerances (each rounded to float, as the point cloud
// takes them) give a deviation: the band colours in either layout, or with `gradient` the
// continuous ones. Band count, layout and extended colours do not change it. With the bands a
// deviation equal to the lower tolerance is below (it takes the below-range entry) and one
// equal to the upper tolerance is in; with the gradient both limits are in.
ToleranceStatus toleranceStatus(float deviation, double lower, double upper, bool gradient = false);

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
