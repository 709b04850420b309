#pragma once
#include "analysis/ColourScale.h"

#include <set>
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
  std::string command;           // "info", "export", "snapshot", "section"
  std::string file;              // the input FILE
  std::string output;            // --export OUT, --snapshot OUT, --csv OUT
  int width = 900, height = 600; // --size WxH
  std::string plane;             // --section X/Y|Y/Z|X/Z
  double at[3] = {0, 0, 0};      // --at X,Y,Z
  DisplayOptions display;
  std::string annotations;     // --annotations F.json: a saved annotation record to apply
  int worst = 0;               // --worst N (1..100): call out the N worst points; 0 without
  double spacing = -1;         // --spacing D (mm) between worst points; < 0: the default
  std::set<std::string> given; // every option on the command line, e.g. "--tolerance"
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
int runCallouts(const CliArgs &args);

// The options of annotation records (--callouts, --annotations, --worst, --spacing), parsed
// in CliCallouts.cpp: 1 when argv[i] was one of them (i then points at its last value), 0 when
// it is not, -1 with a message when its value is wrong.
int parseRecordOption(const std::vector<std::string> &argv, std::size_t &i, CliArgs &out,
                      std::string &error);
// Whether the record options fit the command; false with a message when not.
bool checkRecordOptions(const CliArgs &args, std::string &error);

// Parses the arguments; on error returns false with a message.
bool parseCliArgs(const std::vector<std::string> &argv, CliArgs &out, std::string &error);
