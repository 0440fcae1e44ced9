#include "app/GameFolder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace starloom;
using namespace starloom::test;

namespace {

const char* const uninstallKey = "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Homeworld2";
const char* const wowKey = "Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Homeworld2";

QByteArray systemReg(const char* key, const char* value)
{
    return QByteArray("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Other] 1700000000\n"
                      "\"GAMEDIR\"=\"C:\\\\Wrong\"\n\n[") +
           key + "] 1700000001\n#time=1d9a0f3c2b4e6a0\n\"DisplayName\"=\"Homeworld2\"\n\"GAMEDIR\"=" + value +
           "\n\n";
}

// A Wine prefix with drive C: linked to drive_c and the game installed below it.
struct FakePrefix {
    QTemporaryDir dir;
    QString prefix = dir.filePath(QStringLiteral("wine"));

    FakePrefix()
    {
        makeEntry(prefix, QStringLiteral("drive_c/Program Files/Sierra/Homeworld2/Data"), true);
        QDir(prefix).mkpath(QStringLiteral("dosdevices"));
        QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:"));
    }
    QString gameDir() const
    {
        return QDir(prefix + QStringLiteral("/drive_c/Program Files/Sierra/Homeworld2")).canonicalPath();
    }
    void writeReg(const QByteArray& text) const { writeBytes(prefix + QStringLiteral("/system.reg"), text); }
};

} // namespace

TEST(GameFolder, ReadsGamedirFromEitherUninstallKey)
{
    struct Case {
        const char* key;
        const char* value;
        const char* want;
    };
    const Case cases[] = {
        {uninstallKey, "\"C:\\\\Program Files\\\\Sierra\\\\Homeworld2\"", "C:\\Program Files\\Sierra\\Homeworld2"},
        {wowKey, "\"D:\\\\Games\\\\HW2\"", "D:\\Games\\HW2"},
        {"software\\\\microsoft\\\\windows\\\\currentversion\\\\uninstall\\\\homeworld2", "\"E:\\\\a\\\"b\"",
         "E:\\a\"b"},
        {uninstallKey, "str(2):\"C:\\\\X\"", "C:\\X"},
        {uninstallKey, "dword:00000001", ""},
        {"Software\\\\Homeworld2", "\"C:\\\\X\"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gameDirFromSystemReg(QString::fromLatin1(systemReg(c.key, c.value))), QString::fromLatin1(c.want))
            << c.key << " " << c.value;
}

TEST(GameFolder, MapsTheDriveThroughThePrefixIgnoringLetterCase)
{
    FakePrefix p;
    ASSERT_FALSE(p.gameDir().isEmpty());
    EXPECT_EQ(mapWinePath(p.prefix, QStringLiteral("C:\\Program Files\\Sierra\\Homeworld2")), p.gameDir());
    EXPECT_EQ(mapWinePath(p.prefix, QStringLiteral("c:\\PROGRAM FILES\\sierra\\HomeWorld2\\")), p.gameDir());
    EXPECT_TRUE(mapWinePath(p.prefix, QStringLiteral("Q:\\Games")).isEmpty());
    EXPECT_TRUE(mapWinePath(p.prefix, QStringLiteral("Homeworld2")).isEmpty());
}

TEST(GameFolder, FindsTheGameThroughOverridePrefixOrHome)
{
    FakePrefix p;
    p.writeReg(systemReg(wowKey, "\"C:\\\\Program Files\\\\Sierra\\\\Homeworld2\""));
    EXPECT_EQ(findGameFolder({QStringLiteral("/opt/hw2"), p.prefix, QString()}), QStringLiteral("/opt/hw2"));
    EXPECT_EQ(findGameFolder({QString(), p.prefix, QString()}), p.gameDir());

    QTemporaryDir home;
    ASSERT_TRUE(QFile::rename(p.prefix, home.filePath(QStringLiteral(".wine"))));
    const QString found = findGameFolder({QString(), QString(), home.path()});
    EXPECT_TRUE(found.endsWith(QStringLiteral("/.wine/drive_c/Program Files/Sierra/Homeworld2"))) << found.toStdString();
}

TEST(GameFolder, NothingFoundGivesEmptyText)
{
    FakePrefix p;
    EXPECT_TRUE(findGameFolder({QString(), p.prefix, QString()}).isEmpty()); // no system.reg
    p.writeReg(systemReg("Software\\\\Other", "\"C:\\\\X\""));
    EXPECT_TRUE(findGameFolder({QString(), p.prefix, QString()}).isEmpty());
    EXPECT_TRUE(findGameFolder({QString(), QString(), QString()}).isEmpty());
#ifndef _WIN32
    EXPECT_TRUE(readRegistryValue(hkeyLocalMachine, homeworld2UninstallKey, QStringLiteral("GAMEDIR")).isEmpty());
#endif
}
