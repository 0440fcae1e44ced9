#include "app/SettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace starloom;

TEST(SettingsStore, WritesKeysInTheSettingsSectionAndReadsThemBack)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("starloom.ini"));
    {
        QSettingsStore store(file);
        EXPECT_EQ(store.read(gridSizeKey, defaultGridSize), QStringLiteral("2500"));
        store.write(gridSizeKey, QStringLiteral("1000"));
        store.write(fontSizeKey, QStringLiteral("6"));
    }
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("[Settings]"));
    EXPECT_TRUE(text.contains("GridSize=1000"));
    EXPECT_TRUE(text.contains("FontSize=6"));

    QSettingsStore again(file);
    EXPECT_EQ(again.read(gridSizeKey, defaultGridSize), QStringLiteral("1000"));
    EXPECT_EQ(again.read(fontSizeKey, defaultFontSize), QStringLiteral("6"));
}

TEST(SettingsStore, ApplicationNameIsTheExecutablesBaseName)
{
    EXPECT_EQ(QSettingsStore::applicationName(), QStringLiteral("tst_app"));
}

TEST(SettingsStore, InvalidStoredValuesFallBackToDefaults)
{
    struct Case {
        const char* text;
        const char* grid;
        int font;
    };
    const Case cases[] = {
        {"1000", "1000", 4}, {"0", "2500", 0},     {"-1", "2500", 4},   {"abc", "2500", 4}, {"", "2500", 4},
        {"10", "10", 10},    {"11", "11", 4},      {"2.5", "2.5", 2},   {"7x", "2500", 4},  {" 6 ", " 6 ", 6},
        {"1e400", "2500", 4}, {"0.001", "0.001", 0},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(validGridSize(text), QString::fromLatin1(c.grid)) << c.text;
        EXPECT_EQ(validFontSizeIndex(text), c.font) << c.text;
    }
}
