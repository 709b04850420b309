#include "export/WebPage.h"

#include "export/WebViewerText.h"
#include "io/AtomicFile.h"

#include <string>

namespace {

// Encodes the bytes handed to it as base64 text for the file, three bytes at a time; the last
// one or two bytes wait for finish().
class Base64Writer {
public:
  explicit Base64Writer(AtomicFile &file) : file_(file) { out_.reserve(kLine + 4); }
  bool write(const char *data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      held_[heldCount_++] = static_cast<unsigned char>(data[i]);
      if (heldCount_ == 3)
        emit(3);
    }
    return out_.size() < kLine || flush();
  }
  bool finish() {
    if (heldCount_ > 0)
      emit(heldCount_);
    return flush();
  }

private:
  static constexpr std::size_t kLine = std::size_t{1} << 16;
  void emit(int count) {
    static const char *digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = count; i < 3; ++i)
      held_[i] = 0;
    const unsigned v = (held_[0] << 16) | (held_[1] << 8) | held_[2];
    out_ += digits[(v >> 18) & 63];
    out_ += digits[(v >> 12) & 63];
    out_ += count > 1 ? digits[(v >> 6) & 63] : '=';
    out_ += count > 2 ? digits[v & 63] : '=';
    heldCount_ = 0;
  }
  bool flush() {
    const bool ok = file_.write(out_);
    out_.clear();
    return ok;
  }
  AtomicFile &file_;
  std::string out_;
  unsigned char held_[3] = {0, 0, 0};
  int heldCount_ = 0;
};

std::string htmlEscaped(const std::string &text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '&':
      out += "&amp;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

void writePieces(AtomicFile &file, const char *const *pieces) {
  for (; *pieces; ++pieces)
    file.write(std::string_view(*pieces));
}

} // namespace

ExportResult writeWebPage(const std::string &target, const SessionModel &model,
                          const ColourScale &scale, ShareScene scene) {
  if (scene.maxTriangles == 0)
    scene.maxTriangles = kDefaultPageTriangles;
  return writeAtomically(target, [&](AtomicFile &file) {
    file.write("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>");
    file.write(htmlEscaped(scene.title));
    file.write("</title>\n<style>\n");
    writePieces(file, kWebViewerStyle);
    file.write("</style>\n</head>\n<body>\n<script type=\"application/octet-stream\" "
               "id=\"model-glb\">");
    Base64Writer base64(file);
    ExportResult r = formatGlb(model, scale, scene, [&base64](const char *d, std::size_t s) {
      return base64.write(d, s);
    });
    if (r.ok && !base64.finish())
      r = ExportResult::failure("writing the page failed");
    if (!r.ok)
      return r;
    file.write("</script>\n<script>\n");
    writePieces(file, kWebViewerScript);
    file.write("</script>\n</body>\n</html>\n");
    return ExportResult::success();
  });
}
