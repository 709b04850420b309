#pragma once
// Reading and writing the annotation record of a window (the sidecar NAME.ses.velmora.json).
// The format is described in docs/annotations.md.
//
// How a window uses it: compute ModelIdentity::of(model) once after loading (it may run on the
// worker thread that builds the nearest-point index). On opening, readAnnotationsFor(
// sidecarPathFor(path), identity): absent means nothing to restore; a refusal is shown and the
// model opens plainly; otherwise apply the record and show its notes. To save, fill an
// Annotations from the window and writeAnnotations(sidecarPathFor(path), record, path); the
// default ExistingFile::Keep refuses to replace a refused or foreign sidecar, so "Save as"
// passes ExistingFile::Replace after the file dialog has asked. Unsaved changes are a record
// that differs (operator==) from the one last saved or restored.
#include "io/ExportResult.h"
#include "records/Annotations.h"
#include "records/FileIdentity.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Limits of a record file. Beyond kMaxFileBytes, kMaxDepth and kMaxValues a file is refused;
// longer lists keep their first kMaxEntries with a note. The writer refuses a record beyond
// them. The limits of single fields are RecordLimits (Annotations.h).
struct AnnotationsLimits {
  static constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
  static constexpr int kMaxDepth = 16;               // nesting of arrays and objects
  static constexpr std::size_t kMaxValues = 2000000; // JSON values in the whole file
  static constexpr std::size_t kMaxEntries = 10000;  // banners, distances, comments (each)
};

// Outcome of reading a record: either ok with the annotations (and notes about any part that
// was not applied), or refused with a message naming the file and the reason. A refused
// record must not be applied; reading never changes any file.
struct AnnotationsReadResult {
  bool ok = false;
  bool absent = false;     // refused because there is no file at the path (nothing to restore)
  Annotations annotations; // already sanitized
  std::string error;
  std::vector<std::string> notes;
  // The identity of exactly the bytes that were parsed (read once), also when they were
  // refused; empty when nothing was read (no file, not a regular file, parseAnnotations).
  std::optional<FileIdentity> identity;
};

// Reads and checks a record file. What is refused and what is not applied:
//  - refused: no such file, not a regular file, larger than kMaxFileBytes, not JSON
//    (truncated, invalid UTF-8), nested deeper than kMaxDepth or holding more than kMaxValues
//    values, another "format" or major version, a missing or malformed "session" part, any
//    known field of the wrong JSON type (numbers must be finite, whole where a count or index
//    is meant), a point index outside 0..points-1;
//  - not applied, with a note: whatever sanitize() resets (values outside the ranges of the
//    settings dialog, a camera that makes no sense, texts beyond RecordLimits), lists longer
//    than kMaxEntries (the first are kept), unknown words in a setting (its default is used);
//  - ignored: fields this build does not know, so later minor versions read here.
// Texts are read in full: everything the writer writes reads back the same.
AnnotationsReadResult readAnnotations(const std::string &path);
// The same checks on text in memory; `name` stands for the file in messages.
AnnotationsReadResult parseAnnotations(std::string_view text, const std::string &name);
// readAnnotations followed by matchesModel: ok only when the record may be applied to the
// model; a mismatch is an error, a harmless difference a note.
AnnotationsReadResult readAnnotationsFor(const std::string &path, const ModelIdentity &model);

// The record as the JSON text that writeAnnotations stores (UTF-8, two-space indent; the
// annotations' version fields are ignored, the current version is written). Bytes that are
// not valid UTF-8 in a text become U+FFFD; line breaks and control characters are escaped,
// so every text reads back byte for byte.
std::string annotationsJson(const Annotations &annotations);

// What to do when the target already exists and is not a record of the same model (another
// model's record, a file that is not a record, a record this build refuses to read).
enum class ExistingFile {
  Keep,   // refuse the write and leave the file as it is (Save to the sidecar)
  Replace // the user chose to replace that file (Save as, after the file dialog asked)
};

// Outcome of a write: ExportResult, and on success the identity of the bytes now at the target.
struct AnnotationsWriteResult : ExportResult {
  std::optional<FileIdentity> identity;
};

// Why the record would not read back as it is, or empty: recordProblems() (values the reader
// would not apply, texts beyond RecordLimits), point indices outside the model, more than
// kMaxEntries entries in a list, or a file beyond kMaxFileBytes.
std::string annotationsWriteProblem(const Annotations &annotations);

// Writes the record atomically (temporary file, fsync, rename). Refused with a message when
// the target is the session file itself (sessionPath), when annotationsWriteProblem() names a
// problem (nothing is cut to fit) or, with ExistingFile::Keep, an existing file that is not a
// record matching annotations.session. A failure leaves any existing file untouched.
AnnotationsWriteResult writeAnnotations(const std::string &path, const Annotations &annotations,
                                        const std::string &sessionPath,
                                        ExistingFile existing = ExistingFile::Keep);
