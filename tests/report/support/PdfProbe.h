#pragma once
// Reading back what the report library writes: objects through libqpdf, text and pixels
// through the poppler tools.
#include <QImage>
#include <string>

namespace reporttest {

// Output of `qpdf --check FILE` and whether it found nothing wrong.
bool qpdfCheckClean(const std::string &pdf, std::string &output);
// Whether Apache PDFBox Preflight finds the file valid PDF/A-1b; output gets its report.
bool preflightA1b(const std::string &pdf, std::string &output);
// The page's text as pdftotext gives it ("" when the tool fails).
std::string pdfText(const std::string &pdf);
// Page 1 rendered at dpi ("-hide-annotations" leaves annotation appearances out).
QImage renderPage(const std::string &pdf, int dpi, bool hideAnnotations = false);
// Pixels in rect within tolerance of colour, per channel.
int countNear(const QImage &image, const QRect &rect, QRgb colour, int tolerance);

} // namespace reporttest
