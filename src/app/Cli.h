#pragma once
#include "records/Annotations.h"

class SessionModel;

#include <set>
#include <string>
#include <utility>
#include <vector>

// Parsed command line: a headless command, the desktop application with its files, or a
// request for the usage or the version.
struct CliArgs {
  std::string command; // "info", "export", "snapshot", "report", "section"; empty: the window
  std::string file;    // the input FILE of a command
  std::vector<std::string> files; // every FILE argument (the windows to open)
  std::string output;             // --export OUT, --snapshot OUT, --report OUT, --csv OUT
  int width = 900, height = 600;  // --size WxH
  std::string plane;              // --section X/Y|Y/Z|X/Z
  double at[3] = {0, 0, 0};       // --at X,Y,Z
  bool csv = false;               // --info --csv: a CSV header and row instead of JSON
  DisplaySettings display;        // the display options, over the defaults
  bool noAnnotations = false;     // --no-annotations: no record's settings, not even the sidecar
  bool help = false;              // -h, --help
  bool version = false;           // --version
  bool verbose = false;           // --verbose (with --version: the drawing driver too)
  std::string annotations;        // --annotations F.json: a saved annotation record to apply
  int worst = 0;                  // --worst N (1..100): call out the N worst points; 0 without
  double spacing = -1;            // --spacing D (mm) between worst points; < 0: the default
  std::set<std::string> given;    // every option on the command line, e.g. "--tolerance"
  double accept = 100;            // --accept P: the report passes with at least P % inside
  std::vector<std::pair<std::string, std::string>> fields; // --field NAME=VALUE, in order
  int maxTriangles = 0; // --max-triangles N: the triangle budget of a .glb or .html; 0 without
};

// Parses the arguments (without the program name) and checks that they fit together: unknown
// options, bad or missing values and options without their command are errors. On error
// returns false with a message (exit status 2).
bool parseCliArgs(const std::vector<std::string> &argv, CliArgs &out, std::string &error);

// Does everything the command line asks for except opening windows: usage, version, errors
// and the headless commands, without touching a window system. Returns the exit status, or
// -1 when the desktop application is to start and open desktopFiles.
int runCommandLine(int argc, char **argv, std::vector<std::string> &desktopFiles);

// The commands, one file each; each returns the exit status and writes errors to stderr.
// What they share: an error line "velmora-viewer: MESSAGE" on stderr and exit status 1; notes
// (what was clipped or left out) as "velmora-viewer: note: ..." lines; the refusal of an output
// that is one of the inputs (the file or --annotations), empty when there is none.
int cliFail(const std::string &message);
void cliNotes(const std::vector<std::string> &notes);
std::string outputIsInputProblem(const CliArgs &args);
int runInfo(const CliArgs &args);
int runExport(const CliArgs &args);
int runSnapshot(const CliArgs &args);
int runSection(const CliArgs &args);
int runReport(const CliArgs &args);
int runCallouts(const CliArgs &args);

// The options of annotation records (--annotations, --worst, --spacing), parsed in
// CliCallouts.cpp: 1 when argv[i] was one of them (i then points at its last value), 0 when
// it is not, -1 with a message when its value is wrong.
int parseRecordOption(const std::vector<std::string> &argv, std::size_t &i, CliArgs &out,
                      std::string &error);
// The report's options (--accept P, --field NAME=VALUE), parsed in CliReport.cpp like the
// record options; checkReportOptions refuses them with another command.
int parseReportOption(const std::vector<std::string> &argv, std::size_t &i, CliArgs &out,
                      std::string &error);
bool checkReportOptions(const CliArgs &args, std::string &error);
// Whether the command is an export to glTF or a web page, which take a record and a budget.
bool sharedExport(const CliArgs &args);
// Whether the record options fit the command; false with a message when not.
bool checkRecordOptions(const CliArgs &args, std::string &error);
// A saved record's display settings, overridden by the display options given on the command
// line (tolerances and bars when given; the switches when set).
DisplaySettings displaySettingsFor(const CliArgs &args, DisplaySettings saved);

// The settings a headless command counts and draws with: the record of --annotations or the
// sidecar beside the file (unless --no-annotations), under the display options given. A
// sidecar that does not belong to the model or cannot be read is left out with a note.
struct CliDisplay {
  bool ok = true;
  std::string error;              // --annotations could not be used
  std::vector<std::string> notes; // for cliNotes
  bool found = false;             // a record applies
  std::string recordPath;         // its file
  Annotations record;             // its callouts and camera, with `settings` as display
  DisplaySettings settings;       // what to show
  std::string toleranceSource;    // "default", "record" or "options"
};
CliDisplay cliDisplayFor(const CliArgs &args, const SessionModel &model);
// cliDisplayFor with its outcome written to stderr: the notes, or the error (false).
bool cliDisplayShown(const CliArgs &args, const SessionModel &model, CliDisplay &shown);
// Reads args.file with the reader its name asks for; the refusal, or empty when read.
std::string cliReadModel(const CliArgs &args, SessionModel &model);
// How the report names the tolerances' source: "default", "command line", "from NAME".
std::string toleranceSourceText(const CliDisplay &display);

// The --info output (JSON, or CSV with args.csv), with its final line feed; false with a
// message when the file cannot be read.
bool infoText(const CliArgs &args, std::string &out, std::string &error);
