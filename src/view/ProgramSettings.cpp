#include "view/ProgramSettings.h"

namespace {
std::string &sessionPathStorage() {
  static std::string path;
  return path;
}
} // namespace

std::string currentSessionPath() { return sessionPathStorage(); }

void setCurrentSessionPath(const std::string &path) { sessionPathStorage() = path; }
