#pragma once
#include <string>
#include <vector>

namespace exporttest {

// A fresh folder under the system's temporary folder, removed with its contents at the end
// of the test.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  // Names of the entries in the folder (hidden ones included), sorted.
  std::vector<std::string> entries() const;

private:
  std::string path_;
};

std::string readWholeFile(const std::string &path);
void writeWholeFile(const std::string &path, const std::string &bytes);
// Runs a shell command, returning its standard output; `status` gets the exit status.
std::string runCommand(const std::string &command, int &status);
// Quotes a path for the shell.
std::string shellQuote(const std::string &s);

} // namespace exporttest
