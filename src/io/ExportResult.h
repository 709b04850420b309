#pragma once
#include <string>

// Outcome of an export or snapshot write: ok, or a message naming the file and the reason.
struct ExportResult {
  bool ok = false;
  std::string message;

  static ExportResult success() { return {true, {}}; }
  static ExportResult failure(std::string why) { return {false, std::move(why)}; }
};
