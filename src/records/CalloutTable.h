#pragma once
#include "io/ExportResult.h"
#include "records/Annotations.h"

#include <string>
#include <vector>

class SessionModel;

// One row of the callout table, as the window's list shows it and the CSV holds it.
struct CalloutRow {
  enum class Kind {
    Banner,      // "B1": the banner's point
    DistanceEnd, // "D1a", "D1b": the first and second point of a distance
    Distance     // "D1": the distance itself
  };
  Kind kind = Kind::Banner;
  int callout = 0; // index into the banners or the distances the row belongs to
  std::string id;
  // A point's coordinates (floats of the model, widened), or for a distance row the vector
  // from the first point to the second (dX, dY, dZ, computed in double precision).
  double x = 0, y = 0, z = 0;
  // The point's deviation (the model's float), or for a distance row the length |d|.
  double deviation = 0;
  // "in", "above" or "below" against the tolerances, as the point's colour has it
  // (toleranceStatus); empty for a distance row and for a deviation that is not a number.
  std::string status;
  std::string comment; // the banner's or the distance's comment (D1 row); empty otherwise
};

// The rows for a model's banners and distances: B1, B2, ... in banner order, then for each
// distance D1a, D1b and D1. An index outside the model (never the case for a record that
// matches the model) gives a row of NaN values. `gradient`: the continuous colours judge.
std::vector<CalloutRow> calloutRows(const SessionModel &model,
                                    const std::vector<BannerRecord> &banners,
                                    const std::vector<DistanceRecord> &distances, double lower,
                                    double upper, bool gradient = false);

// The table as CSV: the header "id,x,y,z,deviation,status,comment", one line per row, lines
// ending in "\n". Point values are printed as the floats they are, distance values as
// doubles, each in the shortest form that reads back exactly (std::to_chars). A comment that
// holds a comma, a double quote, CR or LF is quoted as RFC 4180 says (quotes doubled).
std::string calloutCsv(const std::vector<CalloutRow> &rows);

// One CSV field: as it is, or quoted when it must be.
std::string csvField(const std::string &text);

// Writes calloutCsv(rows) to path atomically. Refused when path is one of the inputs (the
// session file, the annotation file); a failure leaves any existing file untouched.
ExportResult writeCalloutCsv(const std::string &path, const std::vector<CalloutRow> &rows,
                             const std::vector<std::string> &inputs);
