#include "app/Cli.h"

#include "io/AtomicFile.h"
#include "scene/GLArrayStore.h"
#include "session/SessionModel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#ifndef VELMORA_VERSION
#error "VELMORA_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace {
bool parseFinite(const std::string &s, double &out) {
  char *end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return end && end != s.c_str() && *end == '\0' && std::isfinite(out);
}
bool parseInt(const std::string &s, int &out) {
  char *end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (!end || end == s.c_str() || *end != '\0' || v < -1000000000L || v > 1000000000L)
    return false;
  out = static_cast<int>(v);
  return true;
}

const char *const kUsage =
    "usage: velmora-viewer [FILE...]         open each FILE in a window\n"
    "       velmora-viewer --info [--csv] FILE\n"
    "       velmora-viewer --export OUT.wrl|OUT.u3d|OUT.pdf FILE\n"
    "       velmora-viewer --export OUT.glb|OUT.html [--annotations F.json] [--max-triangles N] "
    "FILE\n"
    "       velmora-viewer --snapshot OUT.bmp [--size WxH] [--annotations F.json] FILE\n"
    "       velmora-viewer --report OUT.pdf [--annotations F.json] [--accept P]\n"
    "                      [--field part|lot|operator|approved-by=VALUE]... FILE\n"
    "       velmora-viewer --section X/Y|Y/Z|X/Z --at X,Y,Z [--csv OUT.csv] FILE\n"
    "       velmora-viewer --callouts OUT.csv [--annotations F.json] [--worst N [--spacing D]] "
    "FILE\n"
    "       velmora-viewer -h|--help|--version [--verbose]\n"
    "display options of --info, --export, --snapshot, --report, --section and --callouts:\n"
    "  --tolerance T (T > 0) | --upper U --lower L (U >= L), --bars N (3..50),\n"
    "  --gradient, --extended, --outside-only, --points\n"
    "settings of --info, --export, --snapshot, --report and --callouts: those saved beside\n"
    "FILE (FILE.velmora.json) or in --annotations F.json, unless --no-annotations; display\n"
    "options given win\n";

std::string joined(const std::vector<std::string> &names) {
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i)
    s += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return s;
}
} // namespace

bool parseCliArgs(const std::vector<std::string> &argv, CliArgs &out, std::string &error) {
  std::vector<std::string> display, sectionOnly, snapshotOnly;
  std::string upperText, lowerText;
  bool haveAt = false, optionsEnded = false;
  // --csv is a flag with --info and takes a value with --section; the command may come later,
  // so what follows it is held until the end.
  const std::string *csvValue = nullptr;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string &a = argv[i];
    // A lone "-" and everything after "--" are file names.
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      out.files.push_back(a);
      continue;
    }
    if (a.size() > 2 && a.compare(0, 2, "--") == 0)
      out.given.insert(a);
    std::string v;
    const auto value = [&] {
      if (i + 1 >= argv.size()) {
        error = a + " needs a value";
        return false;
      }
      v = argv[++i];
      return true;
    };
    if (a == "--") {
      optionsEnded = true;
    } else if (a == "-h" || a == "--help") {
      out.help = true;
    } else if (a == "--version") {
      out.version = true;
    } else if (a == "--verbose") {
      out.verbose = true;
    } else if (a == "--info" || a == "--export" || a == "--snapshot" || a == "--report" ||
               a == "--section" || a == "--callouts") {
      if (!out.command.empty()) {
        error = "--" + out.command + " and " + a + " cannot be given together";
        return false;
      }
      out.command = a.substr(2);
      if (a == "--export" || a == "--snapshot" || a == "--report" || a == "--callouts") {
        if (!value())
          return false;
        out.output = v;
      } else if (a == "--section") {
        if (!value())
          return false;
        out.plane = v;
        if (out.plane != "X/Y" && out.plane != "Y/Z" && out.plane != "X/Z") {
          error = "--section takes X/Y, Y/Z or X/Z, not '" + out.plane + "'";
          return false;
        }
      }
    } else if (a == "--csv") {
      out.csv = true;
      if (i + 1 < argv.size() && (argv[i + 1].size() < 2 || argv[i + 1][0] != '-'))
        csvValue = &argv[++i];
      sectionOnly.push_back(a);
    } else if (a == "--at") {
      if (!value())
        return false;
      std::string parts[3];
      int k = 0;
      for (char c : v) {
        if (c == ',') {
          if (++k > 2)
            break;
        } else {
          parts[k] += c;
        }
      }
      if (k != 2 || !parseFinite(parts[0], out.at[0]) || !parseFinite(parts[1], out.at[1]) ||
          !parseFinite(parts[2], out.at[2])) {
        error = "--at takes X,Y,Z (three finite numbers), not '" + v + "'";
        return false;
      }
      haveAt = true;
      sectionOnly.push_back(a);
    } else if (a == "--size") {
      if (!value())
        return false;
      const auto x = v.find('x');
      if (x == std::string::npos || !parseInt(v.substr(0, x), out.width) ||
          !parseInt(v.substr(x + 1), out.height) || out.width < 1 || out.height < 1 ||
          out.width > 16384 || out.height > 16384) {
        error = "--size takes WxH with 1..16384 pixels each, not '" + v + "'";
        return false;
      }
      snapshotOnly.push_back(a);
    } else if (a == "--max-triangles") {
      if (!value())
        return false;
      if (!parseInt(v, out.maxTriangles) || out.maxTriangles < 1) {
        error = "--max-triangles takes a whole number from 1 to 1000000000, not '" + v + "'";
        return false;
      }
      display.push_back(a);
    } else if (a == "--tolerance") {
      double t = 0;
      if (!value())
        return false;
      if (!parseFinite(v, t) || !(t > 0)) {
        error = "--tolerance takes a positive number, not '" + v + "'";
        return false;
      }
      out.display.upperTolerance = t;
      out.display.lowerTolerance = -t;
      display.push_back(a);
    } else if (a == "--upper" || a == "--lower") {
      double t = 0;
      if (!value())
        return false;
      if (!parseFinite(v, t)) {
        error = a + " takes a finite number, not '" + v + "'";
        return false;
      }
      (a == "--upper" ? out.display.upperTolerance : out.display.lowerTolerance) = t;
      (a == "--upper" ? upperText : lowerText) = v;
      display.push_back(a);
    } else if (a == "--bars") {
      if (!value())
        return false;
      if (!parseInt(v, out.display.colourBars) ||
          out.display.colourBars < DisplayLimits::kMinColourBars ||
          out.display.colourBars > DisplayLimits::kMaxColourBars) {
        error = "--bars takes a whole number from 3 to 50, not '" + v + "'";
        return false;
      }
      display.push_back(a);
    } else if (a == "--gradient" || a == "--extended" || a == "--outside-only" || a == "--points") {
      if (a == "--gradient")
        out.display.gradient = true;
      else if (a == "--extended")
        out.display.extendedColours = true;
      else if (a == "--outside-only")
        out.display.pointFilter = PointFilter::OutsideOnly;
      else
        out.display.displayMode = DisplayMode::Points;
      display.push_back(a);
    } else if (const int r = parseRecordOption(argv, i, out, error); r != 0) {
      if (r < 0)
        return false;
      display.push_back(a);
    } else if (const int q = parseReportOption(argv, i, out, error); q != 0) {
      if (q < 0)
        return false;
      display.push_back(a);
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  if (out.verbose && !out.version) {
    error = "--verbose goes with --version";
    return false;
  }
  if (out.help || out.version)
    return true;
  if (out.command.empty()) {
    display.insert(display.end(), sectionOnly.begin(), sectionOnly.end());
    display.insert(display.end(), snapshotOnly.begin(), snapshotOnly.end());
    if (!display.empty()) {
      error = joined(display) + (display.size() == 1 ? " needs" : " need") +
              " one of --info, --export, --snapshot, --report, --section or --callouts";
      return false;
    }
    return true; // the desktop application, with any number of files
  }
  if (out.csv && out.command == "info") {
    if (csvValue)
      out.files.insert(out.files.begin(), *csvValue); // what followed the flag is the input
    std::erase(sectionOnly, std::string("--csv"));
  } else if (out.csv && out.command == "section") {
    if (!csvValue) {
      error = "--csv needs a value";
      return false;
    }
    out.output = *csvValue;
  }
  if (out.command != "section" && !sectionOnly.empty()) {
    error = joined(sectionOnly) + (sectionOnly.size() == 1 ? " only goes" : " only go") +
            " with --section";
    return false;
  }
  if (out.command != "snapshot" && !snapshotOnly.empty()) {
    error = "--size only goes with --snapshot";
    return false;
  }
  if (upperText.empty() != lowerText.empty()) {
    error = "--upper and --lower go together";
    return false;
  }
  if (out.display.upperTolerance < out.display.lowerTolerance) {
    error = "the upper tolerance " + upperText + " is below the lower tolerance " + lowerText;
    return false;
  }
  if (out.command == "section" && !haveAt) {
    error = "--section needs --at X,Y,Z, a point of the plane";
    return false;
  }
  if (out.files.size() != 1) {
    error = out.files.empty() ? "no input FILE given" : "more than one input FILE given";
    return false;
  }
  out.file = out.files.front();
  return checkRecordOptions(out, error) && checkReportOptions(out, error);
}

int runCommandLine(int argc, char **argv, std::vector<std::string> &desktopFiles) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  CliArgs cli;
  std::string error;
  if (!parseCliArgs(args, cli, error)) {
    std::fprintf(stderr, "velmora-viewer: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (cli.help || cli.version) {
    std::fputs(cli.help ? kUsage : "velmora-viewer " VELMORA_VERSION "\n", stdout);
    if (cli.version && cli.verbose)
      std::fputs((describeProbedDrawingDriver() + "\n").c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (cli.command.empty()) {
    desktopFiles = cli.files;
    return -1;
  }
  if (cli.command == "info")
    return runInfo(cli);
  if (cli.command == "export")
    return runExport(cli);
  if (cli.command == "snapshot")
    return runSnapshot(cli);
  if (cli.command == "report")
    return runReport(cli);
  if (cli.command == "callouts")
    return runCallouts(cli);
  return runSection(cli);
}

int cliFail(const std::string &message) {
  std::fprintf(stderr, "velmora-viewer: %s\n", message.c_str());
  return 1;
}

void cliNotes(const std::vector<std::string> &notes) {
  for (const std::string &note : notes)
    std::fprintf(stderr, "velmora-viewer: note: %s\n", note.c_str());
}

bool cliDisplayShown(const CliArgs &args, const SessionModel &model, CliDisplay &shown) {
  shown = cliDisplayFor(args, model);
  if (!shown.ok) {
    cliFail(shown.error);
    return false;
  }
  cliNotes(shown.notes);
  return true;
}

std::string cliReadModel(const CliArgs &args, SessionModel &model) {
  bool isSessionFile = false;
  std::string error;
  if (readModelFile(args.file, model, isSessionFile, error))
    return {};
  return error.empty() ? args.file + ": the file could not be read" : error;
}

std::string outputIsInputProblem(const CliArgs &args) {
  for (const std::string &input : {args.file, args.annotations})
    if (!input.empty())
      if (std::string problem = targetIsInputProblem(args.output, input); !problem.empty())
        return problem;
  return {};
}
