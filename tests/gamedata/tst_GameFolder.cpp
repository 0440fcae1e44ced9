#include "gamedata/GameFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace starloom;
using namespace starloom::test;

namespace {

const char* const uninstallKey = "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Homeworld2";
const char* const wowKey =
    "Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Homeworld2";

QByteArray systemReg(const char* key, const char* value)
{
    return QByteArray("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Other] 1700000000\n"
                      "\"GAMEDIR\"=\"C:\\\\Wrong\"\n\n[")
        + key + "] 1700000001\n#time=1d9a0f3c2b4e6a0\n\"DisplayName\"=\"Homeworld2\"\n\"GAMEDIR\"=" + value + "\n\n";
}

} // namespace

TEST(GameFolder, ReadsGamedirFromEitherUninstallKey)
{
    const std::pair<QByteArray, const char*> cases[] = {
        {systemReg(uninstallKey, "\"C:\\\\Program Files\\\\Sierra\\\\Homeworld2\""),
            "C:\\Program Files\\Sierra\\Homeworld2"},
        {systemReg(wowKey, "\"D:\\\\Games\\\\HW2\""), "D:\\Games\\HW2"},
        {systemReg("software\\\\microsoft\\\\windows\\\\currentversion\\\\uninstall\\\\homeworld2", "\"E:\\\\a\\\"b\""),
            "E:\\a\"b"},
        {systemReg(uninstallKey, "str(2):\"C:\\\\X\""), "C:\\X"},
        {systemReg(uninstallKey, "dword:00000001"), ""},
        {systemReg("Software\\\\Homeworld2", "\"C:\\\\X\""), ""},
    };
    for (const auto& [reg, want] : cases)
        EXPECT_EQ(gameDirFromSystemReg(QString::fromLatin1(reg)), QString::fromLatin1(want)) << want;
}

TEST(GameFolder, FindsTheGameThroughOverridePrefixOrHomeMappingTheDriveInAnyLetterCase)
{
    // A Wine prefix with drive C: linked to drive_c and the game installed below it.
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("wine"));
    makeEntry(prefix, QStringLiteral("drive_c/Program Files/Sierra/Homeworld2/Data"), true);
    QDir(prefix).mkpath(QStringLiteral("dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:"));
    const QString gameDir = QDir(prefix + QStringLiteral("/drive_c/Program Files/Sierra/Homeworld2")).canonicalPath();
    ASSERT_FALSE(gameDir.isEmpty());
    EXPECT_EQ(mapWinePath(prefix, QStringLiteral("c:\\PROGRAM FILES\\sierra\\HomeWorld2\\")), gameDir);
    EXPECT_TRUE(mapWinePath(prefix, QStringLiteral("Q:\\Games")).isEmpty());
    EXPECT_TRUE(mapWinePath(prefix, QStringLiteral("Homeworld2")).isEmpty());
    EXPECT_TRUE(findGameFolder({QString(), prefix, QString()}).isEmpty()); // no system.reg yet
    writeBytes(
        prefix + QStringLiteral("/system.reg"), systemReg(wowKey, "\"C:\\\\Program Files\\\\Sierra\\\\Homeworld2\""));
    EXPECT_EQ(findGameFolder({QStringLiteral("/opt/hw2"), prefix, QString()}) + u'|'
            + findGameFolder({QString(), prefix, QString()}),
        QStringLiteral("/opt/hw2|") + gameDir);
    EXPECT_TRUE(findGameFolder({QString(), QString(), QString()}).isEmpty());
#ifndef _WIN32
    EXPECT_TRUE(readRegistryValue(hkeyLocalMachine, homeworld2UninstallKey, QStringLiteral("GAMEDIR")).isEmpty());
#endif
    QTemporaryDir home;
    ASSERT_TRUE(QFile::rename(prefix, home.filePath(QStringLiteral(".wine"))));
    const QString found = findGameFolder({QString(), QString(), home.path()});
    EXPECT_TRUE(found.endsWith(QStringLiteral("/.wine/drive_c/Program Files/Sierra/Homeworld2")))
        << found.toStdString();
}
