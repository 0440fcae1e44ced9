// What `cmake --install` and the Debian package put on a machine, checked in the stage the
// install_stage test makes (a prefix, and the .deb unpacked).

#include "AppInfo.h"
#include "document/MapSettings.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QString stage = QStringLiteral(STARLOOM_INSTALL_STAGE);
const QString prefix = stage + QStringLiteral("/prefix/");
const QString appId = QString::fromLatin1(starloom::appId);

struct Ran {
    int code = -1;
    QString out;
    QString err;
};

Ran run(const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit)
        return {-1, {}, program + QStringLiteral(" did not run: ") + p.errorString()};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString text(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A manual page as plain words: gunzipped, with roff's escaped hyphens made plain.
QString manualPage(const QString& path)
{
    return run(QStringLiteral("gzip"), {QStringLiteral("-dc"), path})
        .out.replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

QString deb()
{
    const QStringList found = QDir(stage + QStringLiteral("/deb")).entryList({QStringLiteral("*.deb")});
    return found.isEmpty() ? QString() : stage + QStringLiteral("/deb/") + found.first();
}

const QStringList installedFiles = {
    QStringLiteral("bin/starloom"),
    QStringLiteral("bin/starloom-level"),
    QStringLiteral("libexec/starloom-dx/starloom-level-render"),
    QStringLiteral("share/applications/%1.desktop").arg(appId),
    QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId),
    QStringLiteral("share/man/man1/starloom.1.gz"),
    QStringLiteral("share/man/man1/starloom-level.1.gz"),
    QStringLiteral("share/doc/starloom-dx/copyright"),
    QStringLiteral("share/doc/starloom-dx/changelog.gz"),
    QStringLiteral("share/icons/hicolor/16x16/apps/%1.png").arg(appId),
    QStringLiteral("share/icons/hicolor/32x32/apps/%1.png").arg(appId),
    QStringLiteral("share/icons/hicolor/48x48/apps/%1.png").arg(appId),
    QStringLiteral("share/icons/hicolor/64x64/apps/%1.png").arg(appId),
    QStringLiteral("share/icons/hicolor/128x128/apps/%1.png").arg(appId),
    QStringLiteral("share/icons/hicolor/256x256/apps/%1.png").arg(appId),
};

TEST(Install, PutsEveryFileInItsPlace)
{
    for (const QString& file : installedFiles)
        EXPECT_TRUE(QFileInfo(prefix + file).isFile()) << file.toStdString();
    for (const QString& program : {QStringLiteral("bin/starloom"), QStringLiteral("bin/starloom-level"),
             QStringLiteral("libexec/starloom-dx/starloom-level-render")}) {
        EXPECT_TRUE(QFileInfo(prefix + program).isExecutable()) << program.toStdString();
    }
}

// The installed tool draws through its helper in libexec, and counts without Qt's GUI libraries.
TEST(Install, TheInstalledToolDrawsThroughItsHelper)
{
    QTemporaryDir dir;
    const QString level = dir.filePath(QStringLiteral("a.level"));
    QFile file(level);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("function DetermChunk()\n  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\nend\n"
               "function NonDetermChunk()\nend\n");
    file.close();
    const QString image = dir.filePath(QStringLiteral("a.png"));
    const Ran drawn = run(prefix + QStringLiteral("bin/starloom-level"),
        {QStringLiteral("render"), level, image, QStringLiteral("--size"), QStringLiteral("64x64")});
    EXPECT_EQ(drawn.code, 0) << drawn.err.toStdString();
    EXPECT_EQ(QImage(image).size(), QSize(64, 64));
    const Ran counted = run(prefix + QStringLiteral("bin/starloom-level"), {QStringLiteral("stats"), level});
    EXPECT_TRUE(counted.out.contains(QStringLiteral("Asteroid 1"))) << counted.out.toStdString();
    const QString dump =
        run(QStringLiteral("objdump"), {QStringLiteral("-p"), prefix + QStringLiteral("bin/starloom-level")}).out;
    EXPECT_FALSE(dump.contains(QStringLiteral("libQt6Gui"))) << dump.toStdString();
}

TEST(Install, ThePackageHoldsEveryInstalledFile)
{
    if (deb().isEmpty())
        GTEST_SKIP() << "no package was made";
    const QString packageRoot = stage + QStringLiteral("/deb/root/usr/");
    for (const QString& file : installedFiles)
        EXPECT_TRUE(QFileInfo(packageRoot + file).isFile()) << "package: /usr/" << file.toStdString();
}

TEST(Install, ProgramsTellTheirVersionWithoutADisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    for (const QString& program : {QStringLiteral("starloom"), QStringLiteral("starloom-level")}) {
        const Ran r = run(prefix + QStringLiteral("bin/") + program, {QStringLiteral("--version")}, env);
        EXPECT_EQ(r.code, 0) << program.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(r.out, starloom::programTitle() + QLatin1Char('\n')) << program.toStdString();
    }
}

QImage iconIn(const QDir& hicolor, const QString& folder)
{
    return QImage(hicolor.filePath(folder + QStringLiteral("/apps/") + appId + QStringLiteral(".png")));
}

TEST(Install, EveryIconIsASquareOfItsFolderSize)
{
    const QDir hicolor(prefix + QStringLiteral("share/icons/hicolor"));
    const QStringList folders = hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_GE(folders.size(), 6);
    for (const QString& folder : folders) {
        const int size = folder.section(QLatin1Char('x'), 0, 0).toInt();
        const QImage icon = iconIn(hicolor, folder);
        ASSERT_FALSE(icon.isNull()) << folder.toStdString();
        EXPECT_EQ(folder, QStringLiteral("%1x%1").arg(size));
        EXPECT_EQ(icon.size(), QSize(size, size)) << folder.toStdString();
    }
}

TEST(Install, NoIconIsBlank)
{
    const QDir hicolor(prefix + QStringLiteral("share/icons/hicolor"));
    for (const QString& folder : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QImage icon = iconIn(hicolor, folder);
        QSet<QRgb> colours;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                colours.insert(icon.pixel(x, y));
        EXPECT_GT(colours.size(), 8) << folder.toStdString();
    }
}

TEST(Install, DesktopEntryStartsTheInstalledEditorWithTheInstalledIcon)
{
    const QString path = prefix + QStringLiteral("share/applications/%1.desktop").arg(appId);
    const QString entry = text(path);
    const QString exec = QRegularExpression(QStringLiteral("(?m)^Exec=(\\S+)")).match(entry).captured(1);
    EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("bin/") + exec).isExecutable()) << exec.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=%1\n").arg(appId)));
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    const Ran r = run(validator, {path});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out + r.err, QString()) << "no hints either";
}

TEST(Install, MetainfoDescribesTheInstalledProgram)
{
    const QString path = prefix + QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId);
    QXmlStreamReader xml(text(path));
    QMap<QString, QStringList> values;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("release"))
            values[name] << xml.attributes().value(QStringLiteral("version")).toString();
        else if (QStringList{QStringLiteral("id"), QStringLiteral("launchable"), QStringLiteral("url"),
                     QStringLiteral("binary")}
                     .contains(name))
            values[name] << xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(values[QStringLiteral("id")], QStringList{appId});
    EXPECT_EQ(values[QStringLiteral("launchable")], QStringList{appId + QStringLiteral(".desktop")});
    EXPECT_EQ(values[QStringLiteral("url")], QStringList{QString::fromLatin1(starloom::homePageUrl)});
    EXPECT_EQ(values[QStringLiteral("release")].value(0), QLatin1String(starloom::versionText));
    for (const QString& binary : values[QStringLiteral("binary")])
        EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("bin/") + binary).isExecutable()) << binary.toStdString();
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (validator.isEmpty())
        GTEST_SKIP() << "appstreamcli is not installed (appstream)";
    const Ran r =
        run(validator, {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--strict"), path});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
}

// Every command and option that --help names is described in the program's manual page.
TEST(Install, ManualPagesDescribeWhatHelpNames)
{
    for (const QString& program : {QStringLiteral("starloom"), QStringLiteral("starloom-level")}) {
        const QString page = manualPage(prefix + QStringLiteral("share/man/man1/%1.1.gz").arg(program));
        const QString help = run(prefix + QStringLiteral("bin/") + program, {QStringLiteral("--help")}).out;
        ASSERT_FALSE(help.isEmpty()) << program.toStdString();
        QStringList words;
        for (const auto& m : QRegularExpression(QStringLiteral("(?m)--[a-z-]+|^  ([a-z]+) ")).globalMatch(help))
            words << (m.captured(1).isEmpty() ? m.captured(0) : m.captured(1));
        for (const QString& section : {QStringLiteral("NAME"), QStringLiteral("SYNOPSIS"), QStringLiteral("OPTIONS")})
            words << QStringLiteral(".SH ") + section;
        if (program == QLatin1String("starloom-level"))
            words << QStringLiteral(".SH EXIT STATUS") << QStringLiteral("\n.B 0\n") << QStringLiteral("\n.B 1\n")
                  << QStringLiteral("\n.B 2\n");
        for (const QString& word : words)
            EXPECT_TRUE(page.contains(word)) << program.toStdString() << ".1 lacks " << word.toStdString();
    }
}

// Every library a packaged program links belongs to a package the .deb depends on.
TEST(DebianPackage, DependsOnThePackageOfEveryLinkedLibrary)
{
    if (deb().isEmpty())
        GTEST_SKIP() << "no package in this build (sanitizer builds make none)";
    const QString depends =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb(), QStringLiteral("Depends")}).out;
    QSet<QString> dependsOn;
    for (const QString& dependency : depends.split(QLatin1Char(',')))
        dependsOn.insert(dependency.trimmed().section(QLatin1Char(' '), 0, 0));
    for (const char* known : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "liblua5.4-0", "zlib1g"})
        EXPECT_TRUE(dependsOn.contains(QString::fromLatin1(known)))
            << known << " missing from: " << depends.toStdString();
    for (const QString& program : {QStringLiteral("bin/starloom"), QStringLiteral("bin/starloom-level"),
             QStringLiteral("libexec/starloom-dx/starloom-level-render")}) {
        const QString dump =
            run(QStringLiteral("objdump"), {QStringLiteral("-p"), stage + QStringLiteral("/deb/root/usr/") + program})
                .out;
        for (const auto& m : QRegularExpression(QStringLiteral("NEEDED\\s+(\\S+)")).globalMatch(dump)) {
            // "libc6:amd64, libc6-i386: /lib32/libc.so.6" lines: one of the owners will do.
            const Ran owners =
                run(QStringLiteral("dpkg"), {QStringLiteral("-S"), QStringLiteral("*/") + m.captured(1)});
            QStringList packages;
            for (const QString& line : owners.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                for (const QString& owner : line.section(QStringLiteral(": "), 0, 0).split(QStringLiteral(", ")))
                    packages << owner.section(QLatin1Char(':'), 0, 0);
            EXPECT_TRUE(
                std::any_of(packages.begin(), packages.end(), [&](const QString& p) { return dependsOn.contains(p); }))
                << program.toStdString() << " links " << m.captured(1).toStdString() << " of "
                << packages.join(QStringLiteral(", ")).toStdString();
        }
    }
}

TEST(DebianPackage, LintianFindsNoErrorOrWarning)
{
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (deb().isEmpty() || lintian.isEmpty())
        GTEST_SKIP() << "no package in this build, or lintian is not installed";
    const Ran r = run(lintian, {QStringLiteral("--fail-on"), QStringLiteral("error,warning"), deb()});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
}

} // namespace
