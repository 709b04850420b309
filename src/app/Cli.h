#pragma once
#include "analysis/ColourScale.h"

#include <string>
#include <vector>

// Display options shared by the headless commands; the defaults are those of a freshly
// opened session file.
struct DisplayOptions {
  double upper = 0.25;
  double lower = -0.25;
  int bars = 15;
  bool gradient = false;
  bool extended = false;
  bool outsideOnly = false; // point filter 2
  bool points = false;      // points instead of triangles

  int pointFilter() const { return outsideOnly ? 2 : 0; }
  ColourScale colourScale() const {
    return ColourScale(static_cast<float>(upper), static_cast<float>(lower), bars, pointFilter(),
                       gradient, extended);
  }
};

// Parsed command line of the headless commands.
struct CliArgs {
  std::string command;           // "info", "export", "snapshot", "section", "report"
  std::string file;              // the input FILE
  std::string output;            // --export OUT, --snapshot OUT, --csv OUT, --report OUT
  int width = 900, height = 600; // --size WxH
  std::string plane;             // --section X/Y|Y/Z|X/Z
  double at[3] = {0, 0, 0};      // --at X,Y,Z
  bool csv = false;              // --info --csv: a CSV header and row instead of JSON
  DisplayOptions display;
};

// Whether argv asks for a headless command (then the desktop application is not started).
bool isHeadlessCommand(int argc, char **argv);
// Parses and runs it; returns the process exit status. Errors go to standard error.
int runHeadless(int argc, char **argv);

// The commands, one file each.
int runInfo(const CliArgs &args);
int runExport(const CliArgs &args);
int runSnapshot(const CliArgs &args);
int runSection(const CliArgs &args);
int runReport(const CliArgs &args);

// The --info output (JSON, or CSV with args.csv), with its final line feed; false with a
// message when the file cannot be read.
bool infoText(const CliArgs &args, std::string &out, std::string &error);

// Parses the arguments; on error returns false with a message.
bool parseCliArgs(const std::vector<std::string> &argv, CliArgs &out, std::string &error);
