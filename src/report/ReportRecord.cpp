#include "report/ReportRecord.h"

#include "records/AnnotationsFile.h"
#include "records/CalloutTable.h"
#include "session/SessionModel.h"

ReportRecord reportRecordFor(const SessionModel &model, const std::string &explicitPath) {
  ReportRecord r;
  r.path = explicitPath.empty() ? sidecarPathFor(model.path) : explicitPath;
  AnnotationsReadResult read = readAnnotationsFor(r.path, ModelIdentity::of(model));
  r.notes = std::move(read.notes);
  if (read.ok) {
    r.found = true;
    r.annotations = std::move(read.annotations);
  } else if (!explicitPath.empty()) {
    r.ok = false;
    r.error = read.error;
  } else if (!read.absent) {
    r.notes.push_back(read.error + "; the report has no callout table");
  }
  return r;
}
