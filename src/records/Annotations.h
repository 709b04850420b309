#pragma once
// What an engineer adds to a window, as plain data: the record that is saved beside a session
// file and restored when it is opened again. No Qt and no GL: the window converts its nodes
// and settings to and from these structures, the command line and the tests use them as they
// are. The file format is described in docs/annotations.md.
#include "analysis/DisplaySettings.h"
#include "geometry/Vec3d.h"
#include "geometry/Vec3f.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class SessionModel;

// What a record may hold, defined once: the writer refuses a record beyond these limits, the
// reader accepts everything within them, and editors may refuse beyond them while typing.
// Display ranges are DisplayLimits, those of the settings dialog and the command line.
struct RecordLimits {
  static constexpr std::size_t kMaxCommentBytes = std::size_t{64} << 10;        // CommentRecord
  static constexpr std::size_t kMaxCalloutCommentBytes = std::size_t{64} << 10; // banner, distance
  static constexpr std::size_t kMaxFileNameBytes = 4096;                        // session.file
  static constexpr int kMinColourBars = DisplayLimits::kMinColourBars;
  static constexpr int kMaxColourBars = DisplayLimits::kMaxColourBars;
  static constexpr int kMaxDecimalPlaces = DisplayLimits::kMaxDecimalPlaces;
  static constexpr double kMinCommentSize = 10, kMaxCommentSize = 10000; // pixels
  static constexpr double kMaxCommentAngle = 90;                         // degrees, either way
  static constexpr double kMaxCommentPixels = 1e6; // |x|, |y|: beyond is off any screen
  static constexpr int kMaxViewPixels = 65536;     // camera view width and height
  // How far the camera rotation may be from orthonormal (rounding of many small turns).
  static constexpr double kRotationTolerance = 1e-3;
};

// Which measurement a record belongs to: the session file's name (without folders), its point
// count and a checksum of its point coordinates.
struct ModelIdentity {
  std::string fileName;
  std::int32_t pointCount = 0;
  std::uint32_t checksum = 0; // pointBlockChecksum of the points

  // Reads the whole point array (about 0.1 s for 10,000,000 points): compute it once per
  // loaded model, e.g. together with the nearest-point index, and keep it.
  static ModelIdentity of(const SessionModel &model);
  friend bool operator==(const ModelIdentity &, const ModelIdentity &) = default;
};

// CRC-32 (the zlib/PNG polynomial) of the points as stored in a session file: x, y, z of
// every point as little-endian IEEE floats, 12 bytes per point, in index order.
std::uint32_t pointBlockChecksum(const Vec3f *points, std::size_t count);

// The camera of the view. Every field is optional in a file: the window keeps its own value
// for a missing one (an absent camera leaves the view fitted as after opening).
struct CameraRecord {
  // Accumulated rotation, OpenGL column-major (ViewRotation::accumulated).
  std::optional<std::array<double, 16>> rotation;
  std::optional<double> distance; // > 0
  std::optional<double> panX, panY;
  std::optional<double> fieldOfView; // degrees, 0 < fov < 180
  // Size of the view in pixels when the record was made; comment positions are pixels of
  // this size, so a window of another size may place them proportionally.
  std::optional<int> viewWidth, viewHeight;
  friend bool operator==(const CameraRecord &, const CameraRecord &) = default;
};

// A banner pinned to a model point; its label box hangs at point + boxOffset (world units),
// which is BannerNode::labelAnchor - point.
struct BannerRecord {
  std::int32_t point = 0;
  Vec3d boxOffset;
  std::string comment; // the callout table's comment, UTF-8, at most kMaxCalloutCommentBytes
  friend bool operator==(const BannerRecord &, const BannerRecord &) = default;
};

// A distance between two model points; its label box hangs at the midpoint of the two points
// plus boxOffset (world units).
struct DistanceRecord {
  std::int32_t first = 0, second = 0;
  Vec3d boxOffset;
  std::string comment;
  friend bool operator==(const DistanceRecord &, const DistanceRecord &) = default;
};

// A text comment on the view, as CommentNode holds it.
struct CommentRecord {
  std::string text;        // UTF-8, at most kMaxCommentBytes
  double x = 100, y = 400; // window pixels from the bottom-left corner
  double size = 20;        // pixels, kMinCommentSize..kMaxCommentSize
  double angle = 0;        // degrees counter-clockwise, -90..90
  bool fill = false;
  friend bool operator==(const CommentRecord &, const CommentRecord &) = default;
};

// The section that was created: plane "X/Y", "Y/Z" or "X/Z" through a point.
struct SectionRecord {
  std::string plane = "X/Y";
  Vec3d point;
  friend bool operator==(const SectionRecord &, const SectionRecord &) = default;
};

// The record of one window.
struct Annotations {
  // Format version: written as kFormatMajor.kFormatMinor; a file with another major version
  // is refused, a later minor version of the same major is read (its new fields ignored).
  static constexpr int kFormatMajor = 1;
  static constexpr int kFormatMinor = 0;
  int versionMajor = kFormatMajor, versionMinor = kFormatMinor; // as read

  ModelIdentity session;
  DisplaySettings display;
  CameraRecord camera;
  std::vector<BannerRecord> banners;
  std::vector<DistanceRecord> distances;
  std::vector<CommentRecord> comments;
  std::optional<SectionRecord> section;

  friend bool operator==(const Annotations &, const Annotations &) = default;
};

// Whether a record may be applied to a model. problem is empty when it may; otherwise it says
// why not (another point count or checksum), and the record must be neither applied nor saved
// over. note mentions harmless differences (the record names another file, e.g. after the
// session file was renamed or copied).
struct ModelMatch {
  std::string problem;
  std::string note;
  bool matches() const { return problem.empty(); }
};
ModelMatch matchesModel(const Annotations &annotations, const ModelIdentity &model);

// Checks a record as the settings dialog and the command line check values, so that nothing
// is drawn from a value they would refuse. A part that fails is reset to its default (display
// settings, comment fields) or to "not present" (camera values, the section), a comment whose
// text is too long is dropped, and the rest is kept. Each note names the field, its value and
// what happened, e.g. "display.upperTolerance -0.1 is below the lower tolerance 0.1: the
// tolerances are not applied". No notes means the record is applied as it is. Point indices
// are checked against the model elsewhere (readAnnotations, matchesModel).
std::vector<std::string> sanitize(Annotations &annotations);
// What sanitize would note, without changing the record (the writer refuses such a record).
std::vector<std::string> recordProblems(const Annotations &annotations);

// The sidecar of a session file: sessionPath + ".velmora.json".
std::string sidecarPathFor(const std::string &sessionPath);
