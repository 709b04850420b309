#pragma once
#include "records/Annotations.h"
#include "report/InspectionReport.h"

#include <string>
#include <vector>

// The annotation record whose callouts a report lists.
struct ReportRecord {
  bool ok = true;     // false: the record asked for cannot be used; error says why
  bool found = false; // a record applies
  std::string path;   // its file
  Annotations annotations;
  std::string error;
  std::vector<std::string> notes; // what was clipped, or why the sidecar was left out
};

// The record named by explicitPath, which must be readable and belong to the model, or else
// the sidecar beside the model's file: none when there is none, and none with a note when it
// does not belong to the model or cannot be read (it is never applied, and never changed).
ReportRecord reportRecordFor(const SessionModel &model, const std::string &explicitPath);
