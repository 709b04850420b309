// The interactive 3D PDF: its default view, the objects of the page read back with libqpdf,
// the embedded U3D stream against the U3D export, the appearance that printers show, and
// refusals that leave every file as it was.
#include "analysis/ColourScale.h"
#include "export/ExportFile.h"
#include "export/U3dExport.h"
#include "export/U3dScene.h"
#include "export/support/ModelBuilder.h"
#include "export/support/TempDir.h"
#include "export/u3d_scene_reader.h"
#include "report/Pdf3dExport.h"
#include "report/Pdf3dView.h"
#include "support/PdfProbe.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

using namespace exporttest;
using namespace reporttest;

namespace {

const ColourScale kScale(0.25f, -0.25f, 15, 0, false, false);

SessionModel partModel(const std::string &path) {
  SessionModel m =
      makeModel({{0, 0, 0, -0.3f}, {40, 0, 2, 0.0f}, {40, 20, 4, 0.3f}, {0, 20, 1, 0.1f}},
                {{0, 1, 2, 0}, {0, 2, 3, 0}});
  m.path = path;
  return m;
}

// A picture any reader shows the same: red, with a blue square in the middle.
QImage poster(QSize size, std::string &) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(qRgb(255, 0, 0));
  QPainter(&image).fillRect(size.width() / 3, size.height() / 3, size.width() / 3,
                            size.height() / 3, Qt::blue);
  return image;
}

void expectRightHandedFrame(const std::vector<double> &c2w) {
  ASSERT_EQ(c2w.size(), 12u);
  const Vec3d x{c2w[0], c2w[1], c2w[2]}, y{c2w[3], c2w[4], c2w[5]}, z{c2w[6], c2w[7], c2w[8]};
  for (const Vec3d &a : {x, y, z})
    EXPECT_NEAR(length(a), 1.0, 1e-9);
  EXPECT_NEAR(dot(x, y), 0.0, 1e-9);
  EXPECT_NEAR(dot(y, z), 0.0, 1e-9);
  EXPECT_NEAR(dot(x, z), 0.0, 1e-9);
  EXPECT_NEAR(dot(cross(x, y), z), 1.0, 1e-9); // determinant
}

std::vector<double> numbers(QPDFObjectHandle array) {
  std::vector<double> v;
  for (int i = 0; i < array.getArrayNItems(); ++i)
    v.push_back(array.getArrayItem(i).getNumericValue());
  return v;
}

} // namespace

// The camera looks at the box centre as the U3D scene places it, from +z with y up, far
// enough for the whole box; a box with no size still gets a real distance.
TEST(Pdf3dView, LooksAtTheModelFromTheDefaultDirection) {
  const Pdf3dView v = pdf3dDefaultView({-10, 0, 5}, {30, 20, 15});
  std::vector<double> c2w(v.c2w.begin(), v.c2w.end());
  expectRightHandedFrame(c2w);
  const auto &m = u3dModelNodeMatrix();
  const Vec3d centre{10 + m[12], 10 + m[13], 10 + m[14]};
  const Vec3d target = v.position() + v.axis(2) * v.centreOfOrbit;
  EXPECT_NEAR(length(target - centre), 0.0, 1e-4);
  EXPECT_NEAR(v.axis(2).z, -1.0, 1e-12); // looking down
  EXPECT_NEAR(v.axis(1).y, 1.0, 1e-12);  // y up on screen
  // The box's sphere (radius |diagonal| / 2) fits half the field of view.
  const double radius = 0.5 * length(Vec3d{40, 20, 10});
  EXPECT_GT(std::asin(radius / v.centreOfOrbit), 0.0);
  EXPECT_LT(std::asin(radius / v.centreOfOrbit) * 360 / 3.14159265358979, v.fieldOfView);

  for (const Pdf3dView &flat :
       {pdf3dDefaultView({1, 2, 3}, {1, 2, 3}), pdf3dDefaultView({1, 0, 0}, {-1, 0, 0}),
        pdf3dDefaultView({NAN, 0, 0}, {1, 1, 1})})
    EXPECT_GT(flat.centreOfOrbit, 0.0);
}

// One page, PDF 1.7, a 3D annotation with the U3D export's bytes, a fitted default view, the
// activation, print flag and a form appearance that shows the picture with no page content.
TEST(Pdf3dExport, PageHoldsTheU3dSceneAndItsPicture) {
  TempDir dir;
  ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1); // the U3D export's listing
  const SessionModel model = partModel(dir.file("part.ses"));
  const std::string pdfPath = dir.file("part.pdf"), u3dPath = dir.file("part.u3d");
  const ExportResult r = export3dPdf(pdfPath, model, kScale, poster);
  ASSERT_TRUE(r.ok) << r.message;
  ASSERT_TRUE(ExportU3dScene(u3dPath, model, kScale).ok);
  std::string check;
  EXPECT_TRUE(qpdfCheckClean(pdfPath, check)) << check;
  EXPECT_EQ(readWholeFile(pdfPath).substr(0, 8), "%PDF-1.7");

  QPDF pdf;
  pdf.processFile(pdfPath.c_str());
  ASSERT_EQ(pdf.getAllPages().size(), 1u);
  QPDFObjectHandle page = pdf.getAllPages()[0];
  QPDFObjectHandle annots = page.getKey("/Annots");
  ASSERT_TRUE(annots.isArray());
  ASSERT_EQ(annots.getArrayNItems(), 1);
  QPDFObjectHandle a = annots.getArrayItem(0);
  EXPECT_TRUE(a.getKey("/Subtype").isNameAndEquals("/3D"));
  EXPECT_EQ(a.getKey("/F").getIntValue(), 4);
  EXPECT_TRUE(a.getKey("/3DA").getKey("/A").isNameAndEquals("/PO"));
  EXPECT_TRUE(a.getKey("/3DA").getKey("/TB").getBoolValue());

  QPDFObjectHandle stream = a.getKey("/3DD");
  ASSERT_TRUE(stream.isStream());
  EXPECT_TRUE(stream.getDict().getKey("/Type").isNameAndEquals("/3D"));
  EXPECT_TRUE(stream.getDict().getKey("/Subtype").isNameAndEquals("/U3D"));
  const auto data = stream.getStreamData(qpdf_dl_all);
  const std::string bytes(reinterpret_cast<const char *>(data->getBuffer()), data->getSize());
  EXPECT_EQ(bytes, readWholeFile(u3dPath));
  const u3dtest::Scene scene =
      u3dtest::readScene(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  ASSERT_TRUE(scene.mesh.has_value());
  EXPECT_EQ(scene.mesh->positions.size(), 4u);
  EXPECT_EQ(scene.mesh->faces.size(), 2u);

  QPDFObjectHandle view = a.getKey("/3DV");
  expectRightHandedFrame(numbers(view.getKey("/C2W")));
  EXPECT_GT(view.getKey("/CO").getNumericValue(), 0.0);
  EXPECT_TRUE(view.getKey("/CO").isReal());
  EXPECT_TRUE(view.getKey("/P").getKey("/Subtype").isNameAndEquals("/P"));
  EXPECT_EQ(view.getKey("/P").getKey("/FOV").getNumericValue(), 30.0);
  EXPECT_TRUE(view.getKey("/LS").getKey("/Subtype").isNameAndEquals("/CAD"));

  QPDFObjectHandle appearance = a.getKey("/AP").getKey("/N");
  ASSERT_TRUE(appearance.isStream());
  EXPECT_TRUE(appearance.getDict().getKey("/Subtype").isNameAndEquals("/Form"));
  // Its /Length is a direct number: exactly the bytes from "stream" to the line feed before
  // "endstream".
  const std::string file = readWholeFile(pdfPath);
  const std::size_t object =
      file.rfind("\n" + std::to_string(appearance.getObjectID()) + " 0 obj\n");
  ASSERT_NE(object, std::string::npos);
  const std::size_t length = file.find("/Length ", object), body = file.find("stream\n", object);
  ASSERT_LT(length, body);
  EXPECT_EQ(file.compare(body + 7 + std::stoul(file.substr(length + 8)), 10, "\nendstream"), 0)
      << file.substr(body, 120);

  // Without any page content, what a printer shows of the annotation is the picture.
  page.getKey("/Contents")
      .replaceStreamData("", QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
  const std::string bare = dir.file("appearance-only.pdf");
  QPDFWriter w(pdf, bare.c_str());
  w.write();
  const QImage shown = renderPage(bare, 50);
  ASSERT_FALSE(shown.isNull());
  const std::vector<double> rect = numbers(a.getKey("/Rect"));
  const double k = 50.0 / 72.0, pageHeight = 595;
  const QRect inside(int(rect[0] * k) + 2, int((pageHeight - rect[3]) * k) + 2,
                     int((rect[2] - rect[0]) * k) - 4, int((rect[3] - rect[1]) * k) - 4);
  const int area = inside.width() * inside.height();
  EXPECT_GT(countNear(shown, inside, qRgb(255, 0, 0), 8), area / 2);
  EXPECT_GT(countNear(shown, inside, qRgb(0, 0, 255), 8), area / 20);
  // The page itself (without annotations) carries the legend below the picture.
  const QImage plain = renderPage(pdfPath, 50, true);
  const QRect legend(inside.left(), inside.bottom() + 4, inside.width(), int(40 * k));
  EXPECT_GT(countNear(plain, legend, qRgb(255, 0, 0), 8), 20);
  EXPECT_GT(countNear(plain, legend, qRgb(0, 0, 255), 8), 20);
  EXPECT_NE(pdfText(pdfPath).find("3D content enabled"), std::string::npos);
}

// Refused like every export: point text models, other suffixes, the input as target, a
// picture that cannot be drawn, an unwritable folder. Nothing is created or changed.
TEST(Pdf3dExport, FailuresNameTheFileAndKeepFiles) {
  TempDir dir;
  ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
  const std::string ses = dir.file("part.ses");
  writeWholeFile(ses, "input");
  const std::string keep = dir.file("keep.pdf");
  writeWholeFile(keep, "old");
  const SessionModel model = partModel(ses);

  SessionModel text = partModel(dir.file("points.txt"));
  EXPECT_FALSE(export3dPdf(keep, text, kScale, poster).ok);
  EXPECT_FALSE(export3dPdf(dir.file("out.u3d"), model, kScale, poster).ok);
  EXPECT_FALSE(export3dPdf(ses, model, kScale, poster).ok);
  const ExportResult blind = export3dPdf(keep, model, kScale, [](QSize, std::string &error) {
    error = "no context";
    return QImage();
  });
  EXPECT_FALSE(blind.ok);
  EXPECT_NE(blind.message.find("no context"), std::string::npos) << blind.message;
  EXPECT_NE(blind.message.find(keep), std::string::npos) << blind.message;
  const ExportResult folder = export3dPdf(dir.file("no/such/out.pdf"), model, kScale, poster);
  EXPECT_FALSE(folder.ok);
  EXPECT_NE(folder.message.find("no/such/out.pdf"), std::string::npos) << folder.message;

  // A model without points, by this export and the others.
  SessionModel none = makeModel({}, {});
  none.path = ses;
  for (const std::string &target : {keep, dir.file("none.wrl"), dir.file("none.u3d")}) {
    const ExportResult r = target == keep ? export3dPdf(target, none, kScale, poster)
                                          : exportModelFile(target, none, kScale);
    EXPECT_FALSE(r.ok) << target;
    EXPECT_NE(r.message.find("the model has no points"), std::string::npos) << r.message;
  }

  EXPECT_EQ(readWholeFile(keep), "old");
  EXPECT_EQ(readWholeFile(ses), "input");
  // No U3D listing either: that belongs to the U3D export.
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"keep.pdf", "part.ses"}));
}
