#pragma once
#include <array>
#include <string>

// Font display lists for all text in the 3D view: 256 bitmap glyph lists (pixel height 13)
// from a Qt-rasterised font, and the program-wide outline font (extruded polygon glyphs
// with a metrics table) used by comments. Texts are drawn literally, byte by byte.
class GLTextList {
public:
  // Needs a current OpenGL context and a QGuiApplication: Qt rasterises the glyphs
  // (QT_QPA_PLATFORM=offscreen is enough, no X server). Without an application the lists
  // are created empty and text draws nothing. The face name picks the bitmap font's family
  // (an unknown family falls back to an installed sans font).
  explicit GLTextList(const std::string &faceName);
  virtual ~GLTextList(); // deletes its 256 lists
  // Raster position (x, y, z) in current coordinates, then one list per byte.
  virtual void drawText(const std::string &text, double x, double y, double z, double size);

  bool ready() const { return ready_; }
  unsigned listBase() const { return listBase_; }

  // The outline font: created once per program (needs a current context and a
  // QGuiApplication), never released. Its lists live in the context that was current at
  // creation (or contexts sharing lists with it).
  static void createOutlineFont();
  static bool outlineFontReady();
  static unsigned outlineListBase();
  // Sum of the cell advances of the bytes of text for selector 2, else 0.
  static float outlineWidth(const std::string &text, int fontSelector);

  struct GlyphMetrics {
    float blackBoxX = 0, blackBoxY = 0, originX = 0, originY = 0, advanceX = 0, advanceY = 0;
  };
  static const std::array<GlyphMetrics, 256> &outlineMetrics();

  GLTextList(const GLTextList &) = delete;
  GLTextList &operator=(const GLTextList &) = delete;

private:
  bool ready_ = false;
  unsigned listBase_ = 0;
  std::string faceName_;
};
