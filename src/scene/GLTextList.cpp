#include "scene/GLTextList.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <cmath>
#include <deque>
#include <vector>

namespace {

constexpr int kGlyphCount = 256;
constexpr int kBitmapPixelHeight = 13;
constexpr int kOutlinePixelsPerEm = 256; // flatten curves at a large size, then scale down
constexpr double kExtrusion = 0.07;

// Family to use for a requested face: the face itself when installed, else a sans font.
QString resolveFamily(const QString &face) {
  if (!face.isEmpty() && QFontDatabase::hasFamily(face))
    return face;
  for (const char *f : {"DejaVu Sans", "Liberation Sans", "Nimbus Sans"})
    if (QFontDatabase::hasFamily(QString::fromLatin1(f)))
      return QString::fromLatin1(f);
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

// Character codes are single bytes read as Latin-1; codes without a printable glyph
// (controls, 127..159) draw nothing and do not advance.
bool hasGlyph(int code) { return code < 255 && QChar(char16_t(code)).isPrint(); }

// One glBitmap for the glyph, thresholded (no antialiasing), rows bottom-up, MSB first,
// the raster position on the baseline at the glyph's origin.
void compileBitmapGlyph(const QFont &font, const QFontMetrics &fm, int code) {
  if (!hasGlyph(code))
    return;
  const QString s{QChar(char16_t(code))};
  const QRect ink = fm.boundingRect(s.at(0));
  const int advance = fm.horizontalAdvance(s.at(0));
  if (ink.isEmpty()) {
    // A 1 x 1 empty bitmap: Mesa drops the advance of a zero-sized one inside a list.
    static const GLubyte blank = 0;
    glBitmap(1, 1, 0, 0, float(advance), 0, &blank);
    return;
  }
  const int w = ink.width() + 2, h = ink.height() + 2;
  const int baselineRow = 1 - ink.y(); // image row just below the baseline
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPoint(1 - ink.x(), baselineRow), s);
  }
  const int stride = (w + 7) / 8;
  std::vector<GLubyte> bits(std::size_t(stride) * h, 0);
  for (int row = 0; row < h; ++row) {
    const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(h - 1 - row));
    for (int x = 0; x < w; ++x)
      if (qGray(line[x]) < 128)
        bits[std::size_t(row) * stride + x / 8] |= GLubyte(0x80u >> (x % 8));
  }
  glBitmap(w, h, float(1 - ink.x()), float(h - baselineRow), float(advance), 0, bits.data());
}

// Outline font state: one per program.
struct OutlineFont {
  bool ready = false;
  unsigned base = 0;
  std::array<GLTextList::GlyphMetrics, 256> metrics{};
};

OutlineFont &outline() {
  static OutlineFont f;
  return f;
}

// GLU tessellator glue. Vertices must outlive gluTessEndPolygon; deques keep addresses.
struct TessData {
  std::deque<std::array<GLdouble, 3>> vertices;
};

void GLAPIENTRY tessBegin(GLenum type) { glBegin(type); }
void GLAPIENTRY tessVertex(void *v) { glVertex3dv(static_cast<const GLdouble *>(v)); }
void GLAPIENTRY tessEnd() { glEnd(); }
void GLAPIENTRY tessError(GLenum) {}
void GLAPIENTRY tessCombine(GLdouble coords[3], void *[4], GLfloat[4], void **out, void *user) {
  auto *data = static_cast<TessData *>(user);
  data->vertices.push_back({coords[0], coords[1], coords[2]});
  *out = data->vertices.back().data();
}

using Contour = std::vector<QPointF>; // in em units, y up

void tessellateFace(GLUtesselator *tess, const std::vector<Contour> &contours, double z,
                    double normalZ) {
  TessData data;
  gluTessNormal(tess, 0, 0, normalZ);
  glNormal3d(0, 0, normalZ);
  gluTessBeginPolygon(tess, &data);
  for (const Contour &c : contours) {
    gluTessBeginContour(tess);
    for (const QPointF &p : c) {
      data.vertices.push_back({p.x(), p.y(), z});
      gluTessVertex(tess, data.vertices.back().data(), data.vertices.back().data());
    }
    gluTessEndContour(tess);
  }
  gluTessEndPolygon(tess);
}

// Side walls between the front (z = 0) and back (z = -extrusion) faces.
void drawWalls(const std::vector<Contour> &contours) {
  for (const Contour &c : contours) {
    const std::size_t n = c.size();
    glBegin(GL_QUADS);
    for (std::size_t i = 0; i < n; ++i) {
      const QPointF a = c[i], b = c[(i + 1) % n];
      const double dx = b.x() - a.x(), dy = b.y() - a.y();
      const double len = std::hypot(dx, dy);
      if (len > 0)
        glNormal3d(dy / len, -dx / len, 0);
      glVertex3d(a.x(), a.y(), 0);
      glVertex3d(a.x(), a.y(), -kExtrusion);
      glVertex3d(b.x(), b.y(), -kExtrusion);
      glVertex3d(b.x(), b.y(), 0);
    }
    glEnd();
  }
}

std::vector<Contour> glyphContours(const QRawFont &raw, quint32 glyph) {
  std::vector<Contour> out;
  const QPainterPath path = raw.pathForGlyph(glyph);
  for (const QPolygonF &poly : path.toSubpathPolygons()) {
    Contour c;
    for (const QPointF &p : poly) {
      const QPointF q(p.x() / kOutlinePixelsPerEm, -p.y() / kOutlinePixelsPerEm);
      if (c.empty() || c.back() != q)
        c.push_back(q);
    }
    if (c.size() > 1 && c.front() == c.back())
      c.pop_back();
    if (c.size() >= 3)
      out.push_back(std::move(c));
  }
  return out;
}

} // namespace

GLTextList::GLTextList(const std::string &faceName) : faceName_(faceName) {
  listBase_ = glGenLists(kGlyphCount);
  if (listBase_ == 0)
    return;
  ready_ = true;
  if (!QGuiApplication::instance()) {
    // Without a Qt application no glyph can be rasterised: the lists stay empty so that
    // drawing text is harmless.
    for (int c = 0; c < kGlyphCount; ++c) {
      glNewList(listBase_ + c, GL_COMPILE);
      glEndList();
    }
    return;
  }
  QFont font(resolveFamily(QString::fromStdString(faceName.substr(0, 32))));
  font.setPixelSize(kBitmapPixelHeight);
  font.setWeight(QFont::Normal);
  font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferBitmap));
  const QFontMetrics fm(font);

  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  for (int c = 0; c < kGlyphCount; ++c) {
    glNewList(listBase_ + c, GL_COMPILE);
    compileBitmapGlyph(font, fm, c);
    glEndList();
  }
  glPopClientAttrib();
}

GLTextList::~GLTextList() {
  if (ready_)
    glDeleteLists(listBase_, kGlyphCount);
}

void GLTextList::drawText(const std::string &text, double x, double y, double z, double size) {
  glPushMatrix();
  glRasterPos3d(x, y, z);
  glScaled(size, size, size); // bitmaps ignore it; kept for callers that rely on the matrix
  glPushAttrib(GL_LIST_BIT);
  glListBase(listBase_);
  // The bytes are list offsets, never a format string.
  glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
  glPopAttrib();
  glPopMatrix();
}

void GLTextList::createOutlineFont() {
  OutlineFont &f = outline();
  if (f.ready)
    return;
  f.base = glGenLists(kGlyphCount);
  if (f.base == 0)
    return;
  f.ready = true;
  if (!QGuiApplication::instance()) {
    for (int c = 0; c < kGlyphCount; ++c) {
      glNewList(f.base + c, GL_COMPILE);
      glEndList();
    }
    return;
  }
  QFont font(resolveFamily(QStringLiteral("Helvetica")));
  font.setPixelSize(kOutlinePixelsPerEm);
  font.setWeight(QFont::Bold);
  const QRawFont raw = QRawFont::fromFont(font);

  GLUtesselator *tess = gluNewTess();
  gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
  gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<_GLUfuncptr>(&tessBegin));
  gluTessCallback(tess, GLU_TESS_VERTEX, reinterpret_cast<_GLUfuncptr>(&tessVertex));
  gluTessCallback(tess, GLU_TESS_END, reinterpret_cast<_GLUfuncptr>(&tessEnd));
  gluTessCallback(tess, GLU_TESS_ERROR, reinterpret_cast<_GLUfuncptr>(&tessError));
  gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(&tessCombine));

  for (int c = 0; c < kGlyphCount; ++c) {
    glNewList(f.base + c, GL_COMPILE);
    GlyphMetrics m;
    if (hasGlyph(c) && raw.isValid()) {
      const QList<quint32> glyphs = raw.glyphIndexesForString(QString(QChar(char16_t(c))));
      if (!glyphs.isEmpty()) {
        const quint32 g = glyphs.front();
        const QList<QPointF> adv = raw.advancesForGlyphIndexes(glyphs);
        const std::vector<Contour> contours = glyphContours(raw, g);
        if (!contours.empty()) {
          tessellateFace(tess, contours, 0.0, 1.0);
          tessellateFace(tess, contours, -kExtrusion, -1.0);
          drawWalls(contours);
          const QRectF box = raw.pathForGlyph(g).boundingRect();
          m.blackBoxX = float(box.width() / kOutlinePixelsPerEm);
          m.blackBoxY = float(box.height() / kOutlinePixelsPerEm);
          m.originX = float(box.left() / kOutlinePixelsPerEm);
          m.originY = float(-box.top() / kOutlinePixelsPerEm); // upper left, y up
        }
        m.advanceX = adv.isEmpty() ? 0.f : float(adv.front().x() / kOutlinePixelsPerEm);
        glTranslatef(m.advanceX, 0, 0);
      }
    }
    glEndList();
    f.metrics[c] = m;
  }
  gluDeleteTess(tess);
}

bool GLTextList::outlineFontReady() { return outline().ready; }

unsigned GLTextList::outlineListBase() { return outline().base; }

float GLTextList::outlineWidth(const std::string &text, int fontSelector) {
  if (fontSelector != 2)
    return 0;
  float w = 0;
  for (unsigned char ch : text)
    if (ch != 255)
      w += outline().metrics[ch].advanceX;
  return w;
}

const std::array<GLTextList::GlyphMetrics, 256> &GLTextList::outlineMetrics() {
  return outline().metrics;
}
