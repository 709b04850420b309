// The desktop integration files agree with each other and with the application.
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {
QString readAll(const QString &path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
  return QString::fromUtf8(f.readAll());
}
const QString kDir = QStringLiteral(VELMORA_SOURCE_DIR "/packaging/");
} // namespace

TEST(Packaging, MimeTypeDeclaresTheSessionFileType) {
  QXmlStreamReader xml(readAll(kDir + "velmora-viewer.xml"));
  QString type, comment;
  QStringList globs;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement())
      continue;
    if (xml.name() == QLatin1String("mime-type"))
      type = xml.attributes().value("type").toString();
    else if (xml.name() == QLatin1String("comment"))
      comment = xml.readElementText();
    else if (xml.name() == QLatin1String("glob"))
      globs << xml.attributes().value("pattern").toString();
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(type, "application/x-velmora-session");
  EXPECT_EQ(comment, "Session-File");
  EXPECT_TRUE(globs.contains("*.ses"));
}

TEST(Packaging, DesktopEntryOpensFilesOfThatTypeWithTheBinaryAndIcon) {
  const QString desktop = readAll(kDir + "velmora-viewer.desktop");
  EXPECT_TRUE(desktop.startsWith("[Desktop Entry]\n"));
  auto value = [&](const char *key) {
    const QRegularExpression re(QStringLiteral("^%1=(.*)$").arg(key),
                                QRegularExpression::MultilineOption);
    return re.match(desktop).captured(1);
  };
  EXPECT_EQ(value("Type"), "Application");
  EXPECT_EQ(value("Exec"), "velmora-viewer %f");
  EXPECT_EQ(value("Icon"), "velmora-viewer");
  EXPECT_TRUE(value("MimeType").split(';').contains("application/x-velmora-session"));
  // The icon the entry names is installed alongside.
  EXPECT_TRUE(readAll(kDir + "velmora-viewer.svg").contains("<svg"));
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
