#pragma once
#include <cstddef>
#include <functional>
#include <string>

// Outcome of an export or snapshot write: ok, or a message naming the file and the reason.
struct ExportResult {
  bool ok = false;
  std::string message;

  static ExportResult success() { return {true, {}}; }
  static ExportResult failure(std::string why) { return {false, std::move(why)}; }
};

// Receives a file's bytes in large chunks; returns false to stop the writer.
using ByteSink = std::function<bool(const char *data, std::size_t size)>;
