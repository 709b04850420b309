#pragma once
// Triangle meshes from OBJ and PLY files, for the make-session tool. Header-only because each
// tools/*.cpp is its own program.
#include "geometry/Vec3d.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// Vertices and triangles (0-based corner indices) of a surface mesh.
struct Mesh {
  std::vector<Vec3d> vertices;
  std::vector<std::array<std::int32_t, 3>> triangles;
};

namespace meshio {

inline bool parseDoubleToken(std::string_view tok, double &out) {
  std::string s(tok);
  char *end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return !s.empty() && end == s.c_str() + s.size();
}

inline bool parseLongToken(std::string_view tok, long long &out) {
  std::string s(tok);
  char *end = nullptr;
  errno = 0;
  out = std::strtoll(s.c_str(), &end, 10);
  return !s.empty() && end == s.c_str() + s.size() && errno == 0;
}

inline std::vector<std::string_view> splitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r')
      ++j;
    if (j > i)
      words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

// OBJ: "v x y z" and "f" lines; face corners may be "a", "a/b", "a//c" or "a/b/c", indices
// are 1-based or negative (relative to the vertices read so far); polygons become fans.
inline bool parseObj(std::string_view text, Mesh &mesh, std::string &error) {
  mesh = {};
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos)
      eol = text.size();
    const std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    const auto w = splitWords(line);
    if (w.empty())
      continue;
    if (w[0] == "v") {
      Vec3d v;
      if (w.size() < 4 || !parseDoubleToken(w[1], v.x) || !parseDoubleToken(w[2], v.y) ||
          !parseDoubleToken(w[3], v.z)) {
        error = "line " + std::to_string(lineNo) + ": a vertex needs three numbers";
        return false;
      }
      mesh.vertices.push_back(v);
    } else if (w[0] == "f") {
      std::vector<std::int32_t> corners;
      for (std::size_t k = 1; k < w.size(); ++k) {
        const std::string_view tok = w[k].substr(0, w[k].find('/'));
        long long idx = 0;
        const auto nv = static_cast<long long>(mesh.vertices.size());
        if (!parseLongToken(tok, idx) || idx == 0 || idx > nv || idx < -nv) {
          error = "line " + std::to_string(lineNo) + ": face corner '" + std::string(w[k]) +
                  "' does not name one of the " + std::to_string(nv) + " vertices so far";
          return false;
        }
        corners.push_back(static_cast<std::int32_t>(idx > 0 ? idx - 1 : nv + idx));
      }
      if (corners.size() < 3) {
        error = "line " + std::to_string(lineNo) + ": a face needs at least three corners";
        return false;
      }
      for (std::size_t k = 1; k + 1 < corners.size(); ++k)
        mesh.triangles.push_back({corners[0], corners[k], corners[k + 1]});
    }
  }
  return true;
}

// PLY property types by their size and kind.
struct PlyType {
  int size = 0;
  bool isFloat = false, isSigned = false;
};

inline bool plyTypeFromName(std::string_view n, PlyType &t) {
  if (n == "char" || n == "int8")
    t = {1, false, true};
  else if (n == "uchar" || n == "uint8")
    t = {1, false, false};
  else if (n == "short" || n == "int16")
    t = {2, false, true};
  else if (n == "ushort" || n == "uint16")
    t = {2, false, false};
  else if (n == "int" || n == "int32")
    t = {4, false, true};
  else if (n == "uint" || n == "uint32")
    t = {4, false, false};
  else if (n == "float" || n == "float32")
    t = {4, true, true};
  else if (n == "double" || n == "float64")
    t = {8, true, true};
  else
    return false;
  return true;
}

struct PlyProperty {
  std::string name;
  PlyType type;
  bool isList = false;
  PlyType countType;
};

struct PlyElement {
  std::string name;
  long long count = 0;
  std::vector<PlyProperty> props;
};

// Reads values one at a time from an ASCII or a little-endian binary PLY body.
class PlyBody {
public:
  PlyBody(std::string_view data, bool ascii) : data_(data), ascii_(ascii) {}

  bool read(const PlyType &t, double &out) {
    if (ascii_) {
      while (pos_ < data_.size() && std::strchr(" \t\r\n", data_[pos_]))
        ++pos_;
      std::size_t end = pos_;
      while (end < data_.size() && !std::strchr(" \t\r\n", data_[end]))
        ++end;
      if (end == pos_)
        return false;
      const bool ok = parseDoubleToken(data_.substr(pos_, end - pos_), out);
      pos_ = end;
      return ok;
    }
    if (data_.size() - pos_ < static_cast<std::size_t>(t.size))
      return false;
    const char *p = data_.data() + pos_;
    pos_ += static_cast<std::size_t>(t.size);
    if (t.isFloat) {
      if (t.size == 4) {
        float f;
        std::memcpy(&f, p, 4);
        out = f;
      } else {
        std::memcpy(&out, p, 8);
      }
      return true;
    }
    std::uint64_t u = 0;
    std::memcpy(&u, p, static_cast<std::size_t>(t.size)); // little-endian host
    if (t.isSigned && t.size < 8 && (u >> (8 * t.size - 1)) & 1)
      u |= ~std::uint64_t{0} << (8 * t.size);
    out = t.isSigned ? static_cast<double>(static_cast<std::int64_t>(u)) : static_cast<double>(u);
    return true;
  }

private:
  std::string_view data_;
  std::size_t pos_ = 0;
  bool ascii_;
};

// PLY, ascii or binary_little_endian: vertex x, y, z of any numeric type; faces from a
// "face" element's vertex_indices (or vertex_index) lists, fanned, or from a "tristrips"
// element whose lists hold strips separated by -1 with alternating winding. Other elements
// and properties are skipped.
inline bool parsePly(std::string_view bytes, Mesh &mesh, std::string &error) {
  mesh = {};
  std::size_t pos = 0;
  const auto nextLine = [&](std::string_view &line) {
    if (pos >= bytes.size())
      return false;
    std::size_t eol = bytes.find('\n', pos);
    if (eol == std::string_view::npos)
      eol = bytes.size();
    line = bytes.substr(pos, eol - pos);
    pos = eol + 1;
    return true;
  };
  std::string_view line;
  if (!nextLine(line) || splitWords(line).size() != 1 || splitWords(line)[0] != "ply") {
    error = "not a PLY file";
    return false;
  }
  bool ascii = false, haveFormat = false, haveEnd = false;
  std::vector<PlyElement> elements;
  while (nextLine(line)) {
    const auto w = splitWords(line);
    if (w.empty() || w[0] == "comment" || w[0] == "obj_info")
      continue;
    if (w[0] == "format" && w.size() >= 2) {
      if (w[1] == "ascii")
        ascii = true;
      else if (w[1] != "binary_little_endian") {
        error = "PLY format '" + std::string(w[1]) + "' is not supported";
        return false;
      }
      haveFormat = true;
    } else if (w[0] == "element" && w.size() == 3) {
      PlyElement e;
      e.name = std::string(w[1]);
      if (!parseLongToken(w[2], e.count) || e.count < 0) {
        error = "bad element count in '" + std::string(line) + "'";
        return false;
      }
      elements.push_back(std::move(e));
    } else if (w[0] == "property" && !elements.empty()) {
      PlyProperty p;
      bool ok;
      if (w.size() == 5 && w[1] == "list") {
        p.isList = true;
        ok = plyTypeFromName(w[2], p.countType) && plyTypeFromName(w[3], p.type);
        p.name = std::string(w[4]);
      } else {
        ok = w.size() == 3 && plyTypeFromName(w[1], p.type);
        p.name = ok ? std::string(w[2]) : "";
      }
      if (!ok) {
        error = "unsupported property line '" + std::string(line) + "'";
        return false;
      }
      elements.back().props.push_back(std::move(p));
    } else if (w[0] == "end_header") {
      haveEnd = true;
      break;
    } else {
      error = "unexpected header line '" + std::string(line) + "'";
      return false;
    }
  }
  if (!haveFormat || !haveEnd) {
    error = "incomplete PLY header";
    return false;
  }

  PlyBody body(bytes.substr(std::min(pos, bytes.size())), ascii);
  bool haveVertices = false;
  for (const PlyElement &e : elements) {
    const bool isVertex = e.name == "vertex";
    const bool isFace = e.name == "face";
    const bool isStrip = e.name == "tristrips";
    if (isVertex)
      haveVertices = true;
    if ((isFace || isStrip) && !haveVertices) {
      error = "faces come before the vertices";
      return false;
    }
    // Records without properties take no bytes; a forged count of them must not spin.
    if (e.props.empty())
      continue;
    // Every record takes at least a byte, so the data bounds a forged count.
    if (isVertex)
      mesh.vertices.reserve(static_cast<std::size_t>(
          std::min<long long>(e.count, static_cast<long long>(bytes.size()))));
    const auto nv = static_cast<long long>(mesh.vertices.size());
    for (long long r = 0; r < e.count; ++r) {
      Vec3d v;
      for (const PlyProperty &p : e.props) {
        if (!p.isList) {
          double value;
          if (!body.read(p.type, value)) {
            error = "the " + e.name + " data ends early";
            return false;
          }
          if (isVertex && (p.name == "x" || p.name == "y" || p.name == "z"))
            v[p.name[0] - 'x'] = value;
          continue;
        }
        double countValue;
        if (!body.read(p.countType, countValue) || countValue < 0 || countValue > 1e9) {
          error = "bad list length in the " + e.name + " data";
          return false;
        }
        const bool indices =
            (isFace || isStrip) && (p.name == "vertex_indices" || p.name == "vertex_index");
        std::vector<long long> list;
        for (long long k = 0; k < static_cast<long long>(countValue); ++k) {
          double value;
          if (!body.read(p.type, value)) {
            error = "the " + e.name + " data ends early";
            return false;
          }
          if (indices) {
            // Float-typed index lists can hold anything; an index beyond any vertex count is
            // refused here, before a conversion that would be undefined.
            if (!(value >= -1.0 && value < 4294967296.0)) {
              error = "a " + e.name + " index is outside the vertices";
              return false;
            }
            list.push_back(static_cast<long long>(value));
          }
        }
        if (!indices)
          continue;
        for (long long idx : list)
          if ((idx < 0 && !(isStrip && idx == -1)) || idx >= nv) {
            error = "a " + e.name + " index " + std::to_string(idx) + " is outside the " +
                    std::to_string(nv) + " vertices";
            return false;
          }
        if (isFace) {
          for (std::size_t k = 1; k + 1 < list.size(); ++k)
            mesh.triangles.push_back({static_cast<std::int32_t>(list[0]),
                                      static_cast<std::int32_t>(list[k]),
                                      static_cast<std::int32_t>(list[k + 1])});
          continue;
        }
        // Strips: every new index makes a triangle with the two before it; every second
        // triangle is flipped so that all keep the strip's winding. Degenerate joins are
        // dropped.
        std::size_t start = 0;
        while (start < list.size()) {
          std::size_t stop = start;
          while (stop < list.size() && list[stop] != -1)
            ++stop;
          for (std::size_t k = start; k + 2 < stop; ++k) {
            const auto a = static_cast<std::int32_t>(list[k]);
            const auto b = static_cast<std::int32_t>(list[k + 1]);
            const auto c = static_cast<std::int32_t>(list[k + 2]);
            if (a == b || b == c || a == c)
              continue;
            if ((k - start) % 2 == 0)
              mesh.triangles.push_back({a, b, c});
            else
              mesh.triangles.push_back({b, a, c});
          }
          start = stop + 1;
        }
      }
      if (isVertex)
        mesh.vertices.push_back(v);
    }
  }
  return true;
}

inline bool readMeshFile(const std::string &path, Mesh &mesh, std::string &error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open the file";
    return false;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  const std::string bytes = ss.str();
  std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  for (char &c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool ok = ext == ".ply" ? parsePly(bytes, mesh, error) : parseObj(bytes, mesh, error);
  if (!ok)
    error = path + ": " + error;
  return ok;
}

} // namespace meshio
