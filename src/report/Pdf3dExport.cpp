#include "report/Pdf3dExport.h"

#include "analysis/ColourScale.h"
#include "export/AtomicFile.h"
#include "export/ExportFile.h"
#include "export/U3dExport.h"
#include "export/U3dFile.h"
#include "report/LegendPainter.h"
#include "report/Pdf3dView.h"
#include "report/ReportFonts.h"
#include "session/SessionModel.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <future>

namespace {

// Page layout in points (1/72 inch), y down as the painter sees it: an A4 landscape page.
constexpr double kMargin = 36;
const QRectF kAnnotation(kMargin, 62, 842 - 2 * kMargin, 440);
const QRectF kLegend(kMargin, 514, 842 - 2 * kMargin, 30);
constexpr double kPosterScale = 2; // pixels per point of the poster

// Hands what QPDFWriter writes to the atomic target file.
class AtomicPipeline : public Pipeline {
public:
  explicit AtomicPipeline(AtomicFile &file) : Pipeline("atomic file", nullptr), file_(file) {}
  void write(unsigned char const *data, size_t len) override { file_.write(data, len); }
  void finish() override {}

private:
  AtomicFile &file_;
};

// The U3D file, streamed from the built blocks when the writer asks for the 3D stream.
class U3dStreamData : public QPDFObjectHandle::StreamDataProvider {
public:
  explicit U3dStreamData(const U3dFileLayout &layout) : layout_(layout) {}
  void provideStreamData(QPDFObjGen const &, Pipeline *pipeline) override {
    layout_.write([&](const void *data, std::size_t size) {
      pipeline->write(static_cast<unsigned char const *>(data), size);
      return true;
    });
    pipeline->finish();
  }

private:
  const U3dFileLayout &layout_;
};

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
  writer.setResolution(72);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                   QMarginsF(0, 0, 0, 0), QPageLayout::Point));
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
  paintLegendStrip(p, kLegend, LegendSpec::of(scale), reportFont(8));
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

// Adds the 3D annotation to Qt's page and writes the whole file into target.
void addAnnotationAndWrite(const QByteArray &page, const QSize &posterSize,
                           const U3dFileLayout &u3d, const Pdf3dView &view, const QString &name,
                           AtomicFile &target) {
  QPDF pdf;
  pdf.processMemoryFile("page", page.constData(), std::size_t(page.size()));
  QPDFObjectHandle pageObject = pdf.getAllPages().at(0);
  const double pageHeight = pageObject.getKey("/MediaBox").getArrayItem(3).getNumericValue();

  QPDFObjectHandle viewObject = pdf.makeIndirectObject(viewDictionary(view));
  QPDFObjectHandle stream = pdf.newStream();
  stream.replaceStreamData(std::make_shared<U3dStreamData>(u3d), QPDFObjectHandle::newNull(),
                           QPDFObjectHandle::newNull());
  QPDFObjectHandle streamDict = stream.getDict();
  streamDict.replaceKey("/Type", QPDFObjectHandle::newName("/3D"));
  streamDict.replaceKey("/Subtype", QPDFObjectHandle::newName("/U3D"));
  streamDict.replaceKey("/VA", QPDFObjectHandle::newArray({viewObject}));
  streamDict.replaceKey("/DV", QPDFObjectHandle::newInteger(0));

  QPDFObjectHandle image = posterImage(pageObject, posterSize);
  if (!image.isInitialized())
    throw std::runtime_error("the page holds no picture of the view");
  const double w = kAnnotation.width(), h = kAnnotation.height();
  const std::string drawPoster = "q " + QString::number(w).toStdString() + " 0 0 " +
                                 QString::number(h).toStdString() + " 0 0 cm /Poster Do Q\n";
  QPDFObjectHandle appearance = pdf.newStream(drawPoster);
  QPDFObjectHandle apDict = appearance.getDict();
  apDict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  apDict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  apDict.replaceKey("/BBox", QPDFObjectHandle::newArray({real(0), real(0), real(w), real(h)}));
  QPDFObjectHandle resources = dict("<< /XObject << >> >>");
  resources.getKey("/XObject").replaceKey("/Poster", image);
  apDict.replaceKey("/Resources", resources);

  QPDFObjectHandle annotation = pdf.makeIndirectObject(
      dict("<< /Type /Annot /Subtype /3D /F 4 /3DA << /A /PO /TB true >> >>"));
  annotation.replaceKey("/Rect",
                        QPDFObjectHandle::newArray(
                            {real(kAnnotation.left()), real(pageHeight - kAnnotation.bottom()),
                             real(kAnnotation.right()), real(pageHeight - kAnnotation.top())}));
  annotation.replaceKey("/Contents",
                        QPDFObjectHandle::newUnicodeString("3D model of " + name.toStdString()));
  annotation.replaceKey("/3DD", stream);
  annotation.replaceKey("/3DV", viewObject);
  annotation.replaceKey("/AP", dict("<< >>"));
  annotation.getKey("/AP").replaceKey("/N", appearance);
  annotation.replaceKey("/P", pageObject);

  QPDFObjectHandle annots = pageObject.getKey("/Annots");
  if (annots.isArray())
    annots.appendItem(annotation);
  else
    pageObject.replaceKey("/Annots", QPDFObjectHandle::newArray({annotation}));

  QPDFWriter writer(pdf);
  AtomicPipeline out(target);
  writer.setOutputPipeline(&out);
  writer.setMinimumPDFVersion("1.7");
  // The 3D stream goes in as the U3D export writes it; Qt's streams keep their compression.
  writer.setCompressStreams(false);
  writer.setDecodeLevel(qpdf_dl_none);
  writer.write();
}

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

  // The scene is encoded while the calling thread, which holds the GL context, draws.
  std::future<U3dSceneFile> scene =
      std::async(std::launch::async, [&] { return buildU3dSceneFile(model, scale); });
  std::string error;
  QImage poster = picture ? picture(pdf3dPosterSize(), error) : QImage();
  const U3dSceneFile u3d = scene.get();
  if (!u3d.result.ok)
    return u3d.result;
  if (poster.isNull() || poster.size() != pdf3dPosterSize())
    return ExportResult::failure(target + ": the picture of the view could not be drawn" +
                                 (error.empty() ? std::string() : ": " + error));
  // An opaque picture: no soft mask in the page.
  poster = poster.convertToFormat(QImage::Format_RGB32);

  Vec3d lo{}, hi{};
  pointBounds(model, lo, hi);
  const QString name = QFileInfo(QString::fromStdString(model.path)).fileName();
  const QByteArray page = pageBytes(poster, name, scale);

  AtomicFile file(target);
  if (!file.ok())
    return ExportResult::failure(file.error());
  try {
    addAnnotationAndWrite(page, poster.size(), *u3d.layout, pdf3dDefaultView(lo, hi), name, file);
  } catch (const std::exception &e) {
    file.discard();
    return ExportResult::failure(target + ": the 3D PDF could not be assembled: " + e.what());
  }
  if (!file.commit())
    return ExportResult::failure(file.error());
  return ExportResult::success();
}
