#include "gamedata/SettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace starloom;

TEST(SettingsStore, KeysLiveInTheSettingsSectionOfTheProgramsIniFile)
{
    EXPECT_EQ(QSettingsStore::applicationName(), QStringLiteral("tst_gamedata"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("starloom.ini"));
    {
        QSettingsStore store(file);
        EXPECT_EQ(store.read(gridSizeKey, defaultGridSize), QStringLiteral("2500"));
        store.write(gridSizeKey, QStringLiteral("1000"));
    }
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("[Settings]\nGridSize=1000"));
    EXPECT_EQ(QSettingsStore(file).read(gridSizeKey, defaultGridSize), QStringLiteral("1000"));
}

TEST(SettingsStore, InvalidStoredValuesFallBackToDefaults)
{
    struct Case {
        const char *text, *grid;
        int font;
    };
    for (const Case& c : {Case{"1000", "1000", 4}, Case{"0", "2500", 0}, Case{"-1", "2500", 4}, Case{"abc", "2500", 4},
             Case{"", "2500", 4}, Case{"10", "10", 10}, Case{"11", "11", 4}, Case{"2.5", "2.5", 2},
             Case{"7x", "2500", 4}, Case{" 6 ", " 6 ", 6}, Case{"1e400", "2500", 4}}) {
        EXPECT_EQ(validGridSize(QString::fromLatin1(c.text)), QString::fromLatin1(c.grid)) << c.text;
        EXPECT_EQ(validFontSizeIndex(QString::fromLatin1(c.text)), c.font) << c.text;
    }
}
