// Comments: clamping, width, rotated hit test, drawing with the outline font, the dialog.
#include "test_banners_env.h"

#include "records/Annotations.h"
#include "view/CommentDialog.h"
#include "view/CommentNode.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <cmath>
#include <limits>

using namespace bannertest;

namespace {

bool isFill(const std::array<int, 3> &p) { return near(p, 1, 1, 0.9, 2); }
bool isInk(const std::array<int, 3> &p) { return p[0] > 20 && p[0] < 90 && p[1] < 90; }

Pixels drawComment(CommentNode &t) {
  beginPixelFrame();
  t.draw(&view(), 0);
  return grab();
}

// Bounding rectangle of the pixels a predicate picks: x0, y0, x1, y1 (inclusive), y up.
template <class Pred> std::array<int, 4> extent(const Pixels &f, Pred pred) {
  std::array<int, 4> r{kWidth, kHeight, -1, -1};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (pred(f.at(x, y))) {
        r[0] = std::min(r[0], x);
        r[1] = std::min(r[1], y);
        r[2] = std::max(r[2], x);
        r[3] = std::max(r[3], y);
      }
  return r;
}

} // namespace

TEST(CommentNode, SizeAndAngleAreClamped) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(CommentNode(nullptr, 0, 0, 0, 5, "a").size(), 10);
  EXPECT_EQ(CommentNode(nullptr, 0, 0, 0, 9.99, "a").size(), 10);
  EXPECT_EQ(CommentNode(nullptr, 0, 0, 0, 25, "a").size(), 25);
  EXPECT_EQ(CommentNode(nullptr, 0, 0, 0, nan, "a").size(), 10);
  EXPECT_EQ(CommentNode(nullptr, 0, 0, 120, 20, "a").angle(), 90);
  EXPECT_EQ(CommentNode(nullptr, 0, 0, -91, 20, "a").angle(), -90);
  EXPECT_EQ(CommentNode(nullptr, 0, 0, 45, 20, "a").angle(), 45);
  EXPECT_EQ(CommentNode(nullptr, 0, 0, nan, 20, "a").angle(), 0);
  CommentNode t(nullptr, 3, 4, 0, 20, "");
  t.setScale(3); // the scale slot sets the height, with the same floor
  EXPECT_EQ(t.size(), 10);
  EXPECT_EQ(t.position, (Vec3d{3, 4, 0}));
  ASSERT_EQ(t.lines().size(), 1u);
  EXPECT_EQ(t.lines()[0], "");
  EXPECT_TRUE(t.moveBy({2, -1, 7}));
  EXPECT_EQ(t.position, (Vec3d{5, 3, 0})); // z is not a window coordinate
  EXPECT_TRUE(t.moveTo({10, 20, 0}));
  EXPECT_EQ(t.position, (Vec3d{10, 20, 0}));
}

TEST(CommentNode, WidthIsTheWidestLineInOutlineUnits) {
  view(); // the outline font
  const auto &m = GLTextList::outlineMetrics();
  CommentNode t(nullptr, 0, 0, 0, 20, "AB%");
  const float ab = m['A'].advanceX + m['B'].advanceX + m['%'].advanceX;
  EXPECT_GT(ab, 0);
  EXPECT_FLOAT_EQ(t.textWidth(), ab);
  t.setLine(0, "");
  EXPECT_EQ(t.textWidth(), 0);
  t.setLine(0, "A");
  t.setLine(1, "AAAA");
  t.setLine(2, "AA");
  EXPECT_FLOAT_EQ(t.textWidth(), 4 * m['A'].advanceX);
  t.setLine(0, std::string(1, '\xff')); // no glyph: adds nothing
  t.setLine(1, "");
  t.setLine(2, "");
  EXPECT_EQ(t.textWidth(), 0);
  t.fontSelector = 1; // the second font is never built
  t.setLine(0, "AB");
  EXPECT_EQ(t.textWidth(), 0);
}

TEST(CommentHitTest, UnrotatedBox) {
  view();
  CommentNode t(nullptr, 100, 100, 0, 20, "Hello");
  const float w = t.textWidth() * 20 * 1.1407389898578169f;
  ASSERT_GT(w, 40);
  const int H = 600;
  // y is downwards: window row H - 110 is 10 pixels above the base line.
  EXPECT_TRUE(t.hitTest(110, H - 110, 0, H));
  EXPECT_FALSE(t.hitTest(100, H - 110, 0, H)); // on the left edge: strict
  EXPECT_FALSE(t.hitTest(110, H - 95, 0, H));  // below the base line
  EXPECT_FALSE(t.hitTest(110, H - 125, 0, H)); // above the 19.7-pixel box
  EXPECT_TRUE(t.hitTest(100 + int(w) - 2, H - 110, 0, H));
  EXPECT_FALSE(t.hitTest(100 + int(w) + 2, H - 110, 0, H));
  // The viewport height decides where the comment is.
  EXPECT_TRUE(t.hitTest(110, 300 - 110, 0, 300));
  EXPECT_FALSE(t.hitTest(110, H - 110, 0, 300));
}

TEST(CommentHitTest, RotatedBoxTurnsWithTheAngle) {
  view();
  CommentNode t(nullptr, 100, 100, 90, 20, "Hello");
  const int H = 600;
  // Turned a quarter counter-clockwise: the text runs upwards, its box left of the origin.
  EXPECT_TRUE(t.hitTest(95, H - 130, 90, H));
  EXPECT_FALSE(t.hitTest(105, H - 130, 90, H));
  EXPECT_FALSE(t.hitTest(130, H - 105, 90, H)); // where the unturned box would be
  EXPECT_TRUE(t.hitTest(130, H - 105, 0, H));
  // Angles beyond the range act as the range's end.
  EXPECT_TRUE(t.hitTest(95, H - 130, 150, H));
  // 45 degrees: along the diagonal.
  EXPECT_TRUE(t.hitTest(100 + 20, H - (100 + 25), 45, H));
  EXPECT_FALSE(t.hitTest(100 + 30, H - (100 + 5), 45, H));
}

TEST(CommentDrawing, SizeBelowTenDrawsTenPixelsHigh) {
  CommentNode small(&view(), 100, 100, 0, 5, "");
  small.fill = true;
  auto box = extent(drawComment(small), isFill);
  // An empty text still has a 0.6-unit fill box.
  EXPECT_EQ(box[3] - box[1] + 1, 10);
  EXPECT_NEAR(box[2] - box[0] + 1, 6, 1);
  EXPECT_EQ(box[0], 100);
  EXPECT_EQ(box[1], 100);
  CommentNode big(&view(), 100, 100, 0, 40, "");
  big.fill = true;
  box = extent(drawComment(big), isFill);
  EXPECT_EQ(box[3] - box[1] + 1, 40);
}

TEST(CommentDrawing, AngleBeyondNinetyDrawsAtNinety) {
  CommentNode a(&view(), 300, 200, 120, 30, "Tilt");
  a.fill = true;
  CommentNode b(&view(), 300, 200, 90, 30, "Tilt");
  b.fill = true;
  const Pixels fa = drawComment(a);
  const Pixels fb = drawComment(b);
  EXPECT_EQ(fa.rgba, fb.rgba);
  // At 90 degrees the box stands left of the origin and runs upwards.
  const auto box = extent(fa, isFill);
  EXPECT_NEAR(box[2], 299, 1);
  EXPECT_NEAR(box[0], 270, 1);
  EXPECT_NEAR(box[1], 200, 1);
  EXPECT_GT(box[3] - box[1], 40);
}

TEST(CommentDrawing, PercentSignIsDrawnLiterally) {
  CommentNode plain(&view(), 100, 300, 0, 40, "50");
  CommentNode percent(&view(), 100, 300, 0, 40, "50%");
  CommentNode formats(&view(), 100, 300, 0, 40, "%s%n%d");
  const Pixels f0 = drawComment(plain);
  const Pixels f1 = drawComment(percent);
  const auto e0 = extent(f0, isInk);
  const auto e1 = extent(f1, isInk);
  ASSERT_GE(e0[2], 0) << "no text drawn";
  // The percent glyph adds ink right of "50", about one glyph wide.
  const float pct = GLTextList::outlineMetrics()['%'].advanceX * 40;
  EXPECT_GT(e1[2] - e0[2], pct * 0.5);
  EXPECT_GT(f1.count(e0[2] + 2, 290, e1[2] + 1, 350, isInk), 30);
  // Format directives would crash or vanish if the text were used as a format.
  const Pixels f2 = drawComment(formats);
  EXPECT_GT(extent(f2, isInk)[2] - 100, 3 * pct);
  f1.savePng(VELMORA_BINARY_DIR "/test_comments_percent.png");
}

TEST(CommentDrawing, TextShowsOnTheFill) {
  CommentNode t(&view(), 100, 300, 15, 24, "Inspection 42% done");
  t.fill = true;
  const Pixels f = drawComment(t);
  f.savePng(VELMORA_BINARY_DIR "/test_comments_fill.png");
  EXPECT_GT(f.count(100, 290, 500, 450, isInk), 100);
  EXPECT_GT(f.count(100, 290, 500, 450, isFill), 1000);
}

TEST(CommentDrawing, SelectedIsMagentaAndFrameStateIsKept) {
  CommentNode t(&view(), 100, 300, 0, 40, "Sel");
  t.setSelected(true);
  glEnable(GL_CULL_FACE);
  const Pixels f = drawComment(t);
  EXPECT_GT(
      f.count(100, 290, 200, 350, [](const std::array<int, 3> &p) { return near(p, 1, 0, 1); }),
      30);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  t.visible = false;
  const Pixels hidden = drawComment(t);
  EXPECT_EQ(hidden.count(0, 0, kWidth, kHeight,
                         [](const std::array<int, 3> &p) { return p[0] || p[1] || p[2]; }),
            0);
}

TEST(CommentDialog, ControlsIdsAndTexts) {
  CommentDialog dlg;
  EXPECT_EQ(dlg.windowTitle(), "Add a Comment");
  EXPECT_EQ(dlg.objectName(), "1400");
  auto *text = dlg.findChild<QPlainTextEdit *>("1000");
  auto *size = dlg.findChild<QLineEdit *>("1001");
  auto *angle = dlg.findChild<QLineEdit *>("1018");
  auto *fill = dlg.findChild<QCheckBox *>("1002");
  auto *ok = dlg.findChild<QPushButton *>("1");
  auto *cancel = dlg.findChild<QPushButton *>("2");
  ASSERT_TRUE(text && size && angle && fill && ok && cancel);
  EXPECT_TRUE(text->toPlainText().isEmpty());
  EXPECT_EQ(size->text(), "20");
  EXPECT_EQ(angle->text(), "0");
  EXPECT_FALSE(fill->isChecked());
  EXPECT_EQ(fill->text(), "fill");
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_EQ(cancel->text(), "Cancel");
  QStringList labels;
  for (auto *l : dlg.findChildren<QLabel *>())
    labels << l->text();
  for (const char *want : {"Text:", "Size:", "angle:", "\u00B0"})
    EXPECT_TRUE(labels.contains(QString::fromUtf8(want))) << want;

  text->setPlainText("100% sure");
  size->setText("7.5");
  angle->setText("-30");
  fill->setChecked(true);
  // Cancel leaves the members as they were.
  cancel->click();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_TRUE(dlg.text.isEmpty());
  EXPECT_EQ(dlg.sizeText, "20");
  ok->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.text, "100% sure");
  EXPECT_EQ(dlg.sizeText, "7.5");
  EXPECT_EQ(dlg.angleText, "-30");
  EXPECT_TRUE(dlg.fill);
}

TEST(CommentDialog, NumbersReadLikeTheEditsMeanThem) {
  EXPECT_EQ(CommentDialog::readNumber("20"), 20);
  EXPECT_EQ(CommentDialog::readNumber("  12.5abc"), 12.5);
  EXPECT_EQ(CommentDialog::readNumber("+3"), 3);
  EXPECT_EQ(CommentDialog::readNumber("-7e1"), -70);
  EXPECT_EQ(CommentDialog::readNumber("abc"), 0);
  EXPECT_EQ(CommentDialog::readNumber(""), 0);
  EXPECT_EQ(CommentDialog::readNumber("+-3"), 0);
  EXPECT_EQ(CommentDialog::readNumber("1,5"), 1); // the point is the decimal separator
}

TEST(CommentDialog, TakesOnlyWhatARecordHolds) {
  CommentDialog dlg;
  auto *text = dlg.findChild<QPlainTextEdit *>("1000");
  auto *size = dlg.findChild<QLineEdit *>("1001");
  auto *ok = dlg.findChild<QPushButton *>("1");
  auto *limit = dlg.findChild<QLabel *>("limit");
  ASSERT_TRUE(text && size && ok && limit);
  // Many lines of non-Latin text up to the limit are taken as typed...
  const QString most = QString(int(RecordLimits::kMaxCommentBytes / 2) - 1, QChar(0x3b1)) + "\nx";
  text->setPlainText(most);
  EXPECT_EQ(text->toPlainText(), most);
  EXPECT_TRUE(limit->isHidden());
  // ... one more byte is refused while typing, and the dialog says the limit.
  text->moveCursor(QTextCursor::End);
  text->insertPlainText("y");
  EXPECT_EQ(text->toPlainText(), most);
  EXPECT_FALSE(limit->isHidden());
  EXPECT_TRUE(limit->text().contains(QString::number(RecordLimits::kMaxCommentBytes)));
  // A size beyond the largest a record holds keeps the dialog open.
  size->setText("10001");
  ok->click();
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  EXPECT_TRUE(limit->text().contains("10000"));
  size->setText("10000");
  ok->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.text, most);
}

int main(int argc, char **argv) { return runAll(argc, argv); }
