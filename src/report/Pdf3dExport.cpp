#include "report/Pdf3dExport.h"

#include "analysis/ColourScale.h"
#include "export/ExportFile.h"
#include "export/U3dExport.h"
#include "export/U3dFile.h"
#include "io/AtomicFile.h"
#include "report/LegendPainter.h"
#include "report/Pdf3dView.h"
#include "report/ReportFonts.h"
#include "session/SessionModel.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <cstdio>
#include <future>
#include <stdexcept>
#include <vector>

namespace {

// Page layout in points (1/72 inch), y down as the painter sees it: an A4 landscape page.
constexpr double kMargin = 36;
const QRectF kAnnotation(kMargin, 62, 842 - 2 * kMargin, 440);
const QRectF kLegend(kMargin, 514, 842 - 2 * kMargin, 30);
constexpr double kPosterScale = 2; // pixels per point of the poster

QPDFObjectHandle real(double v, int places = 6) {
  return QPDFObjectHandle::newReal(v, places, false);
}

QPDFObjectHandle dict(const char *text) { return QPDFObjectHandle::parse(text); }

QPDFObjectHandle viewDictionary(const Pdf3dView &view) {
  QPDFObjectHandle v = dict("<< /Type /3DView /XN (Default view) /IN (Default) /MS /M "
                            "/BG << /Type /3DBG /Subtype /SC /CS /DeviceRGB /C [1 1 1] >> "
                            "/LS << /Type /3DLightingScheme /Subtype /CAD >> >>");
  QPDFObjectHandle c2w = QPDFObjectHandle::newArray();
  for (double e : view.c2w)
    c2w.appendItem(real(e, 9));
  v.replaceKey("/C2W", c2w);
  v.replaceKey("/CO", real(view.centreOfOrbit));
  QPDFObjectHandle projection = dict("<< /Subtype /P /PS /Min >>");
  projection.replaceKey("/FOV", real(view.fieldOfView, 1));
  v.replaceKey("/P", projection);
  return v;
}

// The page as Qt draws it: the poster where the annotation goes, the legend and the note.
QByteArray pageBytes(const QImage &poster, const QString &name, const ColourScale &scale) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setPdfVersion(QPagedPaintDevice::PdfVersion_1_6);
  setUpA4LandscapePage(writer);
  writer.setTitle(name + QStringLiteral(" (3D)"));
  writer.setCreator(QStringLiteral("VelmoraViewer"));
  QPainter p(&writer);
  // The poster keeps every pixel: lossy compression would smear the legend's labels.
  p.setRenderHint(QPainter::LosslessImageRendering);
  p.setFont(reportFont(13, true));
  p.drawText(QPointF(kMargin, 50), name);
  p.drawImage(kAnnotation, poster);
  p.setPen(QPen(Qt::black, 0.5));
  p.drawRect(kAnnotation);
  paintLegendStrip(p, kLegend, legendSettingsOf(scale), reportFont(8));
  p.setFont(reportFont(9));
  p.drawText(QPointF(kMargin, 566), QStringLiteral("Deviation in mm, coloured as in the view."));
  p.drawText(QPointF(kMargin, 580),
             QStringLiteral("To turn and zoom the model, open this file in a 3D-capable PDF reader "
                            "with 3D content enabled; other readers and printers show the "
                            "picture above."));
  p.end();
  return bytes;
}

// The image XObject Qt wrote for the poster: the one with the poster's size.
QPDFObjectHandle posterImage(QPDFObjectHandle page, const QSize &size) {
  QPDFObjectHandle xobjects = page.getKey("/Resources").getKey("/XObject");
  if (!xobjects.isDictionary())
    return {};
  for (const std::string &key : xobjects.getKeys()) {
    QPDFObjectHandle x = xobjects.getKey(key);
    if (!x.isStream())
      continue;
    QPDFObjectHandle d = x.getDict();
    if (d.getKey("/Subtype").isNameAndEquals("/Image") && d.getKey("/Width").isInteger() &&
        d.getKey("/Width").getIntValue() == size.width() &&
        d.getKey("/Height").getIntValue() == size.height())
      return x;
  }
  return {};
}

// Appends the 3D annotation to Qt's page as an incremental update: new objects for the view,
// the 3D stream, the appearance and the annotation, a new version of the page that lists
// the annotation, and their cross-reference section. Only Qt's small page is parsed; the
// U3D file goes from its blocks straight into the target, as it is.
class PageUpdate {
public:
  PageUpdate(QByteArray page, AtomicFile &out) : page_(std::move(page)), out_(out) {
    // The page declares the 3D annotation's version; the header line keeps its length.
    if (page_.startsWith("%PDF-1.") && page_.size() > 8)
      page_[7] = '7';
    out_.write(page_.constData(), std::size_t(page_.size()));
    offset_ = std::uint64_t(page_.size());
  }

  void write(const QSize &posterSize, const U3dFileLayout &u3d, const Pdf3dView &view,
             const QString &name) {
    QPDF pdf;
    pdf.processMemoryFile("page", page_.constData(), std::size_t(page_.size()));
    QPDFObjectHandle page = pdf.getAllPages().at(0);
    const double pageHeight = page.getKey("/MediaBox").getArrayItem(3).getNumericValue();
    QPDFObjectHandle image = posterImage(page, posterSize);
    if (!image.isInitialized())
      throw std::runtime_error("the page holds no picture of the view");
    QPDFObjectHandle trailer = pdf.getTrailer();
    const int first = trailer.getKey("/Size").getIntValue();
    const int viewId = first, streamId = first + 1, formId = first + 2, annotId = first + 3;
    const auto ref = [](int id) { return std::to_string(id) + " 0 R"; };

    object(viewId, viewDictionary(view).unparse());

    begin(streamId, "<< /Type /3D /Subtype /U3D /VA [" + ref(viewId) + "] /DV 0 /Length " +
                        std::to_string(u3d.fileSize()) + " >>\nstream\n");
    if (!u3d.write([&](const void *data, std::size_t size) { return put(data, size); }) &&
        out_.ok())
      throw std::runtime_error("the mesh changed while it was written");
    put("\nendstream\nendobj\n");

    const double w = kAnnotation.width(), h = kAnnotation.height();
    // A direct /Length of exactly the content: the line feed before "endstream" is not data.
    const std::string drawPoster = "q " + number(w) + " 0 0 " + number(h) + " 0 0 cm /Poster Do Q";
    begin(formId, "<< /Type /XObject /Subtype /Form /BBox [0 0 " + number(w) + " " + number(h) +
                      "] /Resources << /XObject << /Poster " + image.unparse() + " >> >> /Length " +
                      std::to_string(drawPoster.size()) + " >>\nstream\n");
    put(drawPoster + "\nendstream\nendobj\n");

    QPDFObjectHandle annotation =
        dict("<< /Type /Annot /Subtype /3D /F 4 /3DA << /A /PO /TB true >> >>");
    annotation.replaceKey("/Rect",
                          QPDFObjectHandle::newArray(
                              {real(kAnnotation.left()), real(pageHeight - kAnnotation.bottom()),
                               real(kAnnotation.right()), real(pageHeight - kAnnotation.top())}));
    annotation.replaceKey("/Contents",
                          QPDFObjectHandle::newUnicodeString("3D model of " + name.toStdString()));
    std::string text = annotation.unparse();
    text.insert(text.rfind(">>"), "/3DD " + ref(streamId) + " /3DV " + ref(viewId) + " /AP << /N " +
                                      ref(formId) + " >> /P " + page.unparse() + " ");
    object(annotId, text);

    // The page again, its annotations followed by the new one.
    std::string annots = "[";
    QPDFObjectHandle old = page.getKey("/Annots");
    for (int i = 0; old.isArray() && i < old.getArrayNItems(); ++i)
      annots += old.getArrayItem(i).unparse() + " ";
    annots += ref(annotId) + "]";
    QPDFObjectHandle copy = page.shallowCopy();
    copy.removeKey("/Annots");
    std::string pageText = copy.unparseResolved();
    pageText.insert(pageText.rfind(">>"), "/Annots " + annots + " ");
    const QPDFObjGen pageId = page.getObjGen();
    object(pageId.getObj(), pageText, pageId.getGen());

    // Cross references of this update, then the trailer that chains it to Qt's.
    const std::uint64_t xref = offset_;
    put("xref\n");
    for (const Entry &e : entries_) {
      char line[64];
      std::snprintf(line, sizeof line, "%d 1\n%010llu %05d n \n", e.id,
                    static_cast<unsigned long long>(e.offset), e.generation);
      put(line);
    }
    QPDFObjectHandle next = trailer.shallowCopy();
    for (const char *key : {"/Size", "/Prev", "/XRefStm"})
      next.removeKey(key);
    std::string trailerText = next.unparseResolved();
    trailerText.insert(trailerText.rfind(">>"), "/Size " + std::to_string(annotId + 1) + " /Prev " +
                                                    std::to_string(lastXref()) + " ");
    put("trailer\n" + trailerText + "\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
  }

private:
  struct Entry {
    int id;
    std::uint64_t offset;
    int generation;
  };

  bool put(const void *data, std::size_t size) {
    offset_ += size;
    return out_.write(data, size);
  }
  bool put(const std::string &text) { return put(text.data(), text.size()); }
  void begin(int id, const std::string &head, int generation = 0) {
    entries_.push_back({id, offset_, generation});
    put(std::to_string(id) + " " + std::to_string(generation) + " obj\n" + head);
  }
  void object(int id, const std::string &body, int generation = 0) {
    begin(id, body + "\nendobj\n", generation);
  }
  static std::string number(double v) { return QString::number(v, 'f', 2).toStdString(); }

  // Where Qt's cross-reference section starts, as its last startxref says.
  std::uint64_t lastXref() const {
    const qsizetype at = page_.lastIndexOf("startxref");
    if (at < 0)
      throw std::runtime_error("the page has no cross-reference table");
    return QByteArray(page_.constData() + at + 9)
        .trimmed()
        .split('\n')
        .value(0)
        .trimmed()
        .toULongLong();
  }

  QByteArray page_;
  AtomicFile &out_;
  std::uint64_t offset_ = 0;
  std::vector<Entry> entries_;
};

// Box around the points the U3D mesh holds (the model itself is not touched: it may be the one
// a window shows).
void pointBounds(const SessionModel &model, Vec3d &lo, Vec3d &hi) {
  const std::size_t n = model.pointCount > 0 ? std::size_t(model.pointCount) : 0;
  if (n == 0 || model.points.size() < n)
    return;
  Vec3f a = model.points[0], b = a;
  for (std::size_t i = 1; i < n; ++i) {
    const Vec3f &p = model.points[i];
    a = {std::min(a.x, p.x), std::min(a.y, p.y), std::min(a.z, p.z)};
    b = {std::max(b.x, p.x), std::max(b.y, p.y), std::max(b.z, p.z)};
  }
  lo = {a.x, a.y, a.z};
  hi = {b.x, b.y, b.z};
}

} // namespace

QSize pdf3dPosterSize() {
  return {int(kAnnotation.width() * kPosterScale), int(kAnnotation.height() * kPosterScale)};
}

ExportResult export3dPdf(const std::string &target, const SessionModel &model,
                         const ColourScale &scale, const ViewPicture &picture) {
  if (const std::string refused = exportRefusal(target, model.path); !refused.empty())
    return ExportResult::failure(refused);
  if (exportKindFor(target) != ExportKind::Pdf3d)
    return ExportResult::failure(target + ": a 3D PDF file name ends in .pdf");
  if (const std::string empty = emptyModelProblem(target, model); !empty.empty())
    return ExportResult::failure(empty);

  // The scene is encoded while the calling thread, which holds the GL context, draws.
  std::future<U3dSceneFile> scene = std::async(
      std::launch::async, [&] { return buildU3dSceneFile(model, scale, U3dListing::Skip); });
  std::string error;
  QImage poster = picture ? picture(pdf3dPosterSize(), error) : QImage();
  const bool drawn = !poster.isNull() && poster.size() == pdf3dPosterSize();
  // Qt's page, too, is laid out while the scene is still being encoded.
  Vec3d lo{}, hi{};
  QByteArray page;
  const QString name = QFileInfo(QString::fromStdString(model.path)).fileName();
  if (drawn) {
    // An opaque picture: no soft mask in the page.
    poster = poster.convertToFormat(QImage::Format_RGB32);
    pointBounds(model, lo, hi);
    page = pageBytes(poster, name, scale);
  }
  const U3dSceneFile u3d = scene.get();
  if (!u3d.result.ok)
    return u3d.result;
  if (!drawn)
    return ExportResult::failure(target + ": the picture of the view could not be drawn" +
                                 (error.empty() ? std::string() : ": " + error));

  AtomicFile file(target);
  if (!file.ok())
    return ExportResult::failure(file.error());
  try {
    PageUpdate(page, file).write(poster.size(), *u3d.layout, pdf3dDefaultView(lo, hi), name);
  } catch (const std::exception &e) {
    file.discard();
    return ExportResult::failure(target + ": the 3D PDF could not be assembled: " + e.what());
  }
  if (!file.commit())
    return ExportResult::failure(file.error());
  return ExportResult::success();
}
