#include "app/Cli.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
bool parseDouble(const std::string &s, double &out) {
  char *end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return end && end != s.c_str() && *end == '\0';
}
bool parseInt(const std::string &s, int &out) {
  char *end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (!end || end == s.c_str() || *end != '\0' || v < -1000000000L || v > 1000000000L)
    return false;
  out = static_cast<int>(v);
  return true;
}
const char *kUsage =
    "usage: velmora-viewer [FILE]\n"
    "       velmora-viewer --info FILE\n"
    "       velmora-viewer --export OUT.wrl|OUT.u3d FILE\n"
    "       velmora-viewer --snapshot OUT.bmp [--size WxH] FILE\n"
    "       velmora-viewer --section X/Y|Y/Z|X/Z --at X,Y,Z [--csv OUT.csv] FILE\n"
    "       velmora-viewer --callouts OUT.csv [--annotations F.json] [--worst N [--spacing D]] "
    "FILE\n"
    "display options: --tolerance T | --upper U --lower L, --bars N, --gradient, --extended,\n"
    "                 --outside-only, --points\n";
} // namespace

bool isHeadlessCommand(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    if (!std::strcmp(a, "--info") || !std::strcmp(a, "--export") || !std::strcmp(a, "--snapshot") ||
        !std::strcmp(a, "--section") || !std::strcmp(a, "--callouts") || !std::strcmp(a, "--help"))
      return true;
  }
  return false;
}

bool parseCliArgs(const std::vector<std::string> &argv, CliArgs &out, std::string &error) {
  std::vector<std::string> files;
  bool haveUpper = false, haveLower = false;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string &a = argv[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0)
      out.given.insert(a);
    const auto value = [&](std::string &v) {
      if (i + 1 >= argv.size()) {
        error = a + " needs a value";
        return false;
      }
      v = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--info") {
      out.command = "info";
    } else if (a == "--export" || a == "--snapshot") {
      out.command = a.substr(2);
      if (!value(out.output))
        return false;
    } else if (a == "--section") {
      out.command = "section";
      if (!value(out.plane))
        return false;
      if (out.plane != "X/Y" && out.plane != "Y/Z" && out.plane != "X/Z") {
        error = "--section takes X/Y, Y/Z or X/Z, not '" + out.plane + "'";
        return false;
      }
    } else if (a == "--csv") {
      if (!value(out.output))
        return false;
    } else if (a == "--at") {
      if (!value(v))
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
      if (k != 2 || !parseDouble(parts[0], out.at[0]) || !parseDouble(parts[1], out.at[1]) ||
          !parseDouble(parts[2], out.at[2])) {
        error = "--at takes X,Y,Z (three numbers), not '" + v + "'";
        return false;
      }
    } else if (a == "--size") {
      if (!value(v))
        return false;
      const auto x = v.find('x');
      if (x == std::string::npos || !parseInt(v.substr(0, x), out.width) ||
          !parseInt(v.substr(x + 1), out.height) || out.width < 1 || out.height < 1 ||
          out.width > 16384 || out.height > 16384) {
        error = "--size takes WxH with 1..16384 pixels each, not '" + v + "'";
        return false;
      }
    } else if (a == "--tolerance") {
      double t;
      if (!value(v) || !parseDouble(v, t)) {
        if (error.empty())
          error = "--tolerance takes a number, not '" + v + "'";
        return false;
      }
      out.display.upper = t;
      out.display.lower = -t;
    } else if (a == "--upper" || a == "--lower") {
      double t;
      if (!value(v) || !parseDouble(v, t)) {
        if (error.empty())
          error = a + " takes a number, not '" + v + "'";
        return false;
      }
      (a == "--upper" ? out.display.upper : out.display.lower) = t;
      (a == "--upper" ? haveUpper : haveLower) = true;
    } else if (a == "--bars") {
      if (!value(v) || !parseInt(v, out.display.bars)) {
        if (error.empty())
          error = "--bars takes a whole number, not '" + v + "'";
        return false;
      }
      if (out.display.bars < 3)
        out.display.bars = 3; // as the settings dialog raises it
    } else if (a == "--gradient") {
      out.display.gradient = true;
    } else if (a == "--extended") {
      out.display.extended = true;
    } else if (a == "--outside-only") {
      out.display.outsideOnly = true;
    } else if (a == "--points") {
      out.display.points = true;
    } else if (const int r = parseRecordOption(argv, i, out, error); r != 0) {
      if (r < 0)
        return false;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      error = "unknown option " + a;
      return false;
    } else {
      files.push_back(a);
    }
  }
  if (haveUpper != haveLower) {
    error = "--upper and --lower go together";
    return false;
  }
  if (out.command.empty()) {
    error = "no command given";
    return false;
  }
  if (out.command == "section" && out.plane.empty()) {
    error = "--section needs a plane";
    return false;
  }
  if (files.size() != 1) {
    error = files.empty() ? "no input FILE given" : "more than one input FILE given";
    return false;
  }
  out.file = files.front();
  return checkRecordOptions(out, error);
}

int runHeadless(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const auto &a : args)
    if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  CliArgs cli;
  std::string error;
  if (!parseCliArgs(args, cli, error)) {
    std::fprintf(stderr, "velmora-viewer: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (cli.command == "info")
    return runInfo(cli);
  if (cli.command == "export")
    return runExport(cli);
  if (cli.command == "snapshot")
    return runSnapshot(cli);
  if (cli.command == "callouts")
    return runCallouts(cli);
  return runSection(cli);
}
