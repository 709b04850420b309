// The desktop integration files agree with each other and with the application, and the
// installed tree passes the platform's own validators.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {
QString readAll(const QString &path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
  return QString::fromUtf8(f.readAll());
}
const QString kDir = QStringLiteral(VELMORA_SOURCE_DIR "/packaging/");
const QString kAppId = QStringLiteral("io.github.velmora.VelmoraViewer");
const QString kViewer = QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora-viewer");

QString projectVersion() {
  static const QRegularExpression re(QStringLiteral(R"(project\(VelmoraViewer VERSION ([0-9.]+))"));
  return re.match(readAll(QStringLiteral(VELMORA_SOURCE_DIR "/CMakeLists.txt"))).captured(1);
}

struct ProcessRun {
  int exitCode = -1;
  QString output; // standard output and error together
};
// The validators are installed by scripts/deps.sh --test; a missing one fails the test.
ProcessRun run(const QString &program, const QStringList &args, const QString &destDir = {}) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  if (!destDir.isEmpty()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), destDir);
    p.setProcessEnvironment(env);
  }
  p.start(program, args);
  ProcessRun r;
  if (!p.waitForFinished(60000)) {
    r.output = program + ": " + p.errorString();
    return r;
  }
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.output = QString::fromUtf8(p.readAll());
  return r;
}
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
  const QString desktop = readAll(kDir + kAppId + ".desktop");
  EXPECT_TRUE(desktop.startsWith("[Desktop Entry]\n"));
  auto value = [&](const char *key) {
    const QRegularExpression re(QStringLiteral("^%1=(.*)$").arg(key),
                                QRegularExpression::MultilineOption);
    return re.match(desktop).captured(1);
  };
  EXPECT_EQ(value("Type"), "Application");
  // Several files open several windows.
  EXPECT_EQ(value("Exec"), "velmora-viewer %F");
  EXPECT_EQ(value("Icon"), "velmora-viewer");
  // The class part of the window's WM_CLASS is the application name.
  EXPECT_EQ(value("StartupWMClass"), "VelmoraViewer");
  EXPECT_TRUE(value("MimeType").split(';').contains("application/x-velmora-session"));
  // The icon the entry names is installed alongside.
  EXPECT_TRUE(readAll(kDir + "velmora-viewer.svg").contains("<svg"));
}

TEST(Packaging, MetadataManualAndChangelogCarryTheProjectVersion) {
  const QString version = projectVersion();
  ASSERT_FALSE(version.isEmpty());
  QXmlStreamReader xml(readAll(kDir + kAppId + ".metainfo.xml"));
  QStringList releases, provided;
  QString id, launchable;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement())
      continue;
    if (xml.name() == QLatin1String("release"))
      releases << xml.attributes().value("version").toString();
    else if (xml.name() == QLatin1String("id"))
      id = xml.readElementText();
    else if (xml.name() == QLatin1String("launchable"))
      launchable = xml.readElementText();
    else if (xml.name() == QLatin1String("binary") || xml.name() == QLatin1String("mediatype"))
      provided << xml.readElementText();
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(id, kAppId);
  EXPECT_EQ(launchable, kAppId + ".desktop");
  EXPECT_EQ(provided, QStringList({"velmora-viewer", "application/x-velmora-session"}));
  EXPECT_EQ(releases.value(0), version) << "the newest release comes first";
  EXPECT_TRUE(readAll(kDir + "velmora-viewer.1").contains("\"VelmoraViewer " + version + "\""));
  EXPECT_TRUE(readAll(kDir + "changelog").startsWith("velmora-viewer (" + version + ")"));
}

TEST(Packaging, ManualPageDocumentsEveryOptionOfTheUsage) {
  const ProcessRun help = run(kViewer, {"--help"});
  ASSERT_EQ(help.exitCode, 0) << "build the velmora-viewer target first\n"
                              << help.output.toStdString();
  const QString man = readAll(kDir + "velmora-viewer.1");
  QStringList options;
  for (const auto &m :
       QRegularExpression(QStringLiteral("--[a-z][a-z-]*")).globalMatch(help.output))
    options << m.captured(0);
  ASSERT_GE(options.size(), 10);
  for (const QString &o : options)
    EXPECT_TRUE(man.contains(QString(o).replace('-', "\\-"))) << o.toStdString();
}

TEST(Packaging, InstalledTreePassesThePlatformValidators) {
  QTemporaryDir root;
  const ProcessRun install = run(
      QStringLiteral("cmake"), {"--install", VELMORA_BINARY_DIR, "--prefix", "/usr"}, root.path());
  ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();
  const QDir usr(root.filePath("usr"));
  for (const char *f :
       {"bin/velmora-viewer", "share/man/man1/velmora-viewer.1.gz",
        "share/mime/packages/velmora-viewer.xml",
        "share/icons/hicolor/scalable/apps/velmora-viewer.svg",
        "share/doc/velmora-viewer/copyright", "share/doc/velmora-viewer/changelog.gz"})
    EXPECT_TRUE(QFileInfo::exists(usr.filePath(f))) << f;

  // The metadata, its launcher and their agreement; pedantic hints only are allowed.
  const ProcessRun tree =
      run("appstreamcli", {"validate-tree", "--no-net", "--strict", root.path()});
  EXPECT_EQ(tree.exitCode, 0) << tree.output.toStdString();
  const ProcessRun desktop =
      run("desktop-file-validate", {usr.filePath("share/applications/" + kAppId + ".desktop")});
  EXPECT_EQ(desktop.exitCode, 0);
  EXPECT_EQ(desktop.output, "") << desktop.output.toStdString();

  // The manual page renders without a warning in both common formatters.
  const QString page = kDir + "velmora-viewer.1";
  const ProcessRun groff = run("groff", {"-man", "-Tutf8", "-ww", "-z", page});
  EXPECT_EQ(groff.exitCode, 0);
  EXPECT_EQ(groff.output, "") << groff.output.toStdString();
  const ProcessRun mandoc = run("mandoc", {"-Tlint", "-W", "style", page});
  EXPECT_EQ(mandoc.exitCode, 0);
  EXPECT_EQ(mandoc.output, "") << mandoc.output.toStdString();
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
