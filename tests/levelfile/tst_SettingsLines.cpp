// The editor's level-wide lines are declared as layouts bound to the settings; the reader and the
// writer both walk them. These tests run over every line of the declaration.

#include "document/SettingsLines.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>

namespace starloom::test {
namespace {

QByteArray write(const Level& level)
{
    const Catalogue catalogue;
    ModelLists models(catalogue);
    return writeLevel(level, models, false);
}

Level read(QByteArray bytes)
{
    const Catalogue catalogue;
    ModelLists models(catalogue);
    Level level;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    readLevel(buffer, level, models);
    return level;
}

// The line of `call` in the written text, without its indent and line end.
std::string lineOf(const QByteArray& bytes, const char* call)
{
    for (const QByteArray& line : bytes.split('\n')) {
        const QByteArray text = line.trimmed();
        if (text.startsWith(QByteArray(call) + '('))
            return text.toStdString();
    }
    return {};
}

void collectMembers(const std::vector<SettingArg>& args, std::vector<const SettingArg*>& out)
{
    for (const SettingArg& arg : args) {
        if (arg.member)
            out.push_back(&arg);
        collectMembers(arg.elements, out);
    }
}

std::string lineName(const testing::TestParamInfo<FixedLine>& info)
{
    return settingsLineLayout(info.param).call;
}

class EveryLine : public testing::TestWithParam<FixedLine> {};

INSTANTIATE_TEST_SUITE_P(SettingsLines, EveryLine,
    testing::Values(FixedLine::WorldBoundsInner, FixedLine::FogActive, FixedLine::GlareIntensity,
        FixedLine::ShadowColour, FixedLine::Background, FixedLine::CameraDistances, FixedLine::DefaultMusic),
    lineName);

TEST_P(EveryLine, LayoutStandsAtItsLine)
{
    EXPECT_EQ(settingsLineLayout(GetParam()).line, GetParam());
}

TEST_P(EveryLine, ReadTextsAreTheSettingsInFileOrder)
{
    Level level;
    level.settings.background = QStringLiteral("m07");
    level.settings.music = QStringLiteral("ambient/amb_03");
    const Level again = read(write(level));
    const auto& given = again.settings.fixedCalls[static_cast<std::size_t>(GetParam())];
    ASSERT_TRUE(given.has_value());
    EXPECT_EQ(given->settingsAsRead, settingTexts(again.settings, GetParam()));
}

// Each setting the line sets, changed after a read, is written where the line holds it, and
// reads back as the new value with the others unchanged.
TEST_P(EveryLine, ChangedSettingIsWrittenInItsPlace)
{
    std::vector<const SettingArg*> members;
    collectMembers(settingsLineLayout(GetParam()).args, members);
    for (std::size_t k = 0; k < members.size(); ++k) {
        const SettingArg* arg = members[k];
        Level level = read(write(Level{}));
        const QStringList before = settingTexts(level.settings, GetParam());
        const QString changed = arg->role == SettingRole::Number ? QStringLiteral("12345") : QStringLiteral("m15");
        level.settings.*arg->member = changed;
        const Level again = read(write(level));
        EXPECT_EQ(again.settings.*arg->member, changed) << arg->what;
        QStringList expected = before;
        expected[static_cast<qsizetype>(k)] = changed;
        EXPECT_EQ(settingTexts(again.settings, GetParam()), expected) << arg->what;
    }
}

TEST(SettingsLines, WorldSizeIsWrittenWithTheHeightInTheMiddle)
{
    Level level = read(write(Level{}));
    level.settings.sizeZ = QStringLiteral("12345");
    EXPECT_EQ(lineOf(write(level), "setWorldBoundsInner"), "setWorldBoundsInner({0, 0, 0}, {30000, 12345, 30000})");
}

TEST(SettingsLines, NewLevelWritesTheEditorsLines)
{
    Level level;
    level.settings.background = QStringLiteral("m03");
    level.settings.music = QStringLiteral("battle/battle_01");
    const QByteArray bytes = write(level);
    EXPECT_EQ(lineOf(bytes, "setWorldBoundsInner"), "setWorldBoundsInner({0, 0, 0}, {30000, 20000, 30000})");
    EXPECT_EQ(lineOf(bytes, "setLevelShadowColour"), "setLevelShadowColour(0, 0, 0, 1)");
    EXPECT_EQ(lineOf(bytes, "loadBackground"), "loadBackground(\"m03\")");
    EXPECT_EQ(lineOf(bytes, "setSensorsManagerCameraDistances"), "setSensorsManagerCameraDistances(5000, 230000)");
    EXPECT_EQ(lineOf(bytes, "setDefaultMusic"), "setDefaultMusic(\"Data:sound/music/battle/battle_01\")");
}

} // namespace
} // namespace starloom::test
