#include "support/PdfProbe.h"

#include "export/support/TempDir.h"

#include <cstdlib>

namespace reporttest {
using exporttest::runCommand;
using exporttest::shellQuote;

bool qpdfCheckClean(const std::string &pdf, std::string &output) {
  int status = -1;
  output = runCommand("qpdf --check " + shellQuote(pdf) + " 2>&1", status);
  return status == 0 && output.find("No syntax or stream encoding errors") != std::string::npos &&
         output.find("WARNING") == std::string::npos;
}

bool preflightA1b(const std::string &pdf, std::string &output) {
  static const char *jars[] = {"preflight",       "pdfbox2",          "fontbox2", "xmpbox",
                               "commons-logging", "javax.activation", "jaxb-api"};
  std::string classPath;
  for (const char *jar : jars)
    classPath += std::string(classPath.empty() ? "" : ":") + "/usr/share/java/" + jar + ".jar";
  int status = -1;
  output = runCommand("java -cp " + classPath + " org.apache.pdfbox.preflight.Validator_A1b " +
                          shellQuote(pdf) + " 2>&1",
                      status);
  return status == 0 && output.find("is a valid PDF/A-1b file") != std::string::npos;
}

std::string pdfText(const std::string &pdf) {
  int status = -1;
  const std::string text = runCommand("pdftotext -layout " + shellQuote(pdf) + " -", status);
  return status == 0 ? text : std::string();
}

QImage renderPage(const std::string &pdf, int dpi, bool hideAnnotations) {
  const std::string stem = pdf + "-page" + (hideAnnotations ? "-plain" : "");
  int status = -1;
  runCommand("pdftoppm -f 1 -l 1 -singlefile -png -r " + std::to_string(dpi) +
                 (hideAnnotations ? " -hide-annotations " : " ") + shellQuote(pdf) + " " +
                 shellQuote(stem),
             status);
  return status == 0 ? QImage(QString::fromStdString(stem + ".png")) : QImage();
}

int countNear(const QImage &image, const QRect &rect, QRgb colour, int tolerance) {
  int n = 0;
  const QRect r = rect.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb c = image.pixel(x, y);
      n += std::abs(qRed(c) - qRed(colour)) <= tolerance &&
           std::abs(qGreen(c) - qGreen(colour)) <= tolerance &&
           std::abs(qBlue(c) - qBlue(colour)) <= tolerance;
    }
  return n;
}

} // namespace reporttest
