// Qt writes the pages and rasterises their fonts through a QGuiApplication: one on the
// offscreen platform for the whole test program.
#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
