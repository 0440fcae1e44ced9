// What a level holds besides its items, as the editor lets the user see and change it: the
// player count and its start points, the player table, the calls kept as a file gave them.

#include "EditorFixture.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class EditorLevelTest : public EditorTest {
protected:
    QTemporaryDir dir;

    void placeStarts(int count)
    {
        for (int slot = 0; slot < count; ++slot)
            place(ItemKind::PlayerStart, slot * 1000, 0, slot);
    }
    QString levelFile(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeBytes(path, bytes);
        return path;
    }
    QByteArray save()
    {
        const QString path = dir.filePath(QStringLiteral("saved.level"));
        QFile::remove(path);
        host.saveNames = {path};
        editor->saveAs();
        return readBytes(path);
    }
};

TEST_F(EditorLevelTest, EightPlayersHaveEightStartPoints)
{
    ASSERT_TRUE(editor->setPlayerIndex(6));
    editor->chooseKind(ItemKind::PlayerStart);
    EXPECT_THAT(editor->panel().models,
        ElementsAre("Player 1", "Player 2", "Player 3", "Player 4", "Player 5", "Player 6", "Player 7", "Player 8"));
    placeStarts(8);
    EXPECT_EQ(editor->rows().back().text, QStringLiteral("Player 8 start"));
    EXPECT_EQ(doc().player(7).drawColour, playerColour(7));
    const QByteArray saved = save();
    EXPECT_THAT(saved.constData(), HasSubstr("maxPlayers = 8\r\n"));
    EXPECT_THAT(saved.constData(), HasSubstr("addPoint(\"StartPos7\", {7000, 0, 0}, {0, 0, 0})"));
}

TEST_F(EditorLevelTest, LoweringThePlayerCountAsksBeforeItDropsStartPoints)
{
    ASSERT_TRUE(editor->setPlayerIndex(4));
    placeStarts(6);
    host.yesNoAnswers = {false};
    EXPECT_FALSE(editor->setPlayerIndex(1));
    EXPECT_THAT(host.questions.back().toStdString(), HasSubstr("Player 4, Player 5 and Player 6"));
    EXPECT_EQ(editor->mapSettings().playerCount(), 6);
    EXPECT_EQ(doc().liveCount(ItemKind::PlayerStart), 6);

    host.yesNoAnswers = {true};
    EXPECT_TRUE(editor->setPlayerIndex(1));
    EXPECT_EQ(editor->mapSettings().playerCount(), 3);
    EXPECT_EQ(doc().liveCount(ItemKind::PlayerStart), 3);
    EXPECT_EQ(editor->rows().size(), 3u);
    editor->undo(); // the start points come back with their rows
    EXPECT_EQ(doc().liveCount(ItemKind::PlayerStart), 6);
    EXPECT_EQ(editor->rows().size(), 6u);
    EXPECT_TRUE(editor->setPlayerIndex(5)) << "raising the count asks nothing";
}

TEST_F(EditorLevelTest, SavingAsksAboutStartPointsBeyondThePlayerCount)
{
    ASSERT_TRUE(editor->setPlayerIndex(2));
    placeStarts(4);
    editor->mapSettings().playerIndex = 0; // as a load of a two-player level into this one does
    host.yesNoAnswers = {false};
    EXPECT_TRUE(save().isEmpty()) << "declined: nothing written";
    EXPECT_THAT(host.questions.back().toStdString(), HasSubstr("Player 3 and Player 4"));
    host.yesNoAnswers = {true};
    const QByteArray saved = save();
    EXPECT_THAT(saved.constData(), HasSubstr("StartPos1"));
    EXPECT_THAT(saved.constData(), ::testing::Not(HasSubstr("StartPos2")));
}

TEST_F(EditorLevelTest, PlayerTableEditsAreWrittenPerPlayer)
{
    placeStarts(2);
    EXPECT_TRUE(editor->setPlayerField(0, PlayerTable::Field::Race, QStringLiteral("Hiigaran")));
    EXPECT_TRUE(editor->setPlayerField(1, PlayerTable::Field::Race, QStringLiteral("2")));
    EXPECT_TRUE(editor->setPlayerField(1, PlayerTable::Field::Resources, QStringLiteral("5000")));
    for (const char* bad : {"lots", "1d5", "+5", "1 000"})
        EXPECT_FALSE(editor->setPlayerField(1, PlayerTable::Field::Resources, QString::fromLatin1(bad))) << bad;
    EXPECT_THAT(host.lastMessage().toStdString(), HasSubstr("resources must be a number"));
    EXPECT_FALSE(editor->setPlayerField(0, PlayerTable::Field::Name, QStringLiteral("\u263a")));
    const QByteArray saved = save();
    EXPECT_THAT(saved.constData(),
        HasSubstr("player[0] = {\r\n  id = 0,\r\n  name = \"Vaygr\",\r\n  resources = 1500,\r\n"
                  "  startPos = 1,\r\n  raceName = \"Hiigaran\",\r\n}"));
    EXPECT_THAT(saved.constData(), HasSubstr("  resources = 5000,\r\n  raceID = 2,\r\n"));
}

TEST_F(EditorLevelTest, PlayersEditedInAnyOrderAreWrittenInSlotOrder)
{
    editor->setPlayerIndex(1); // 3 players
    placeStarts(3);
    EXPECT_TRUE(editor->setPlayerField(1, PlayerTable::Field::Name, QStringLiteral("Blue")));
    EXPECT_TRUE(editor->setPlayerField(0, PlayerTable::Field::Name, QStringLiteral("Red")));
    const QByteArray saved = save();
    const qsizetype first = saved.indexOf("player[0]"), second = saved.indexOf("player[1]"),
                    third = saved.indexOf("player[2]");
    ASSERT_GE(first, 0);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(saved.count("player["), 3);
    EXPECT_THAT(saved.mid(first, second - first).constData(), HasSubstr("name = \"Red\""));
    EXPECT_THAT(saved.mid(second, third - second).constData(), HasSubstr("name = \"Blue\""));
}

TEST_F(EditorLevelTest, TextTheGameCannotHoldIsRefusedWhereItIsTyped)
{
    using enum Editor::MapText;
    for (const auto& [which, field] : {std::pair(Description, &MapSettings::levelDesc),
             std::pair(Background, &MapSettings::background), std::pair(Music, &MapSettings::music)}) {
        EXPECT_TRUE(editor->setMapText(which, QString::fromLatin1("Caf\xe9 \"quoted\"")));
        EXPECT_FALSE(editor->setMapText(which, QStringLiteral("Snowman \u2603")));
        EXPECT_EQ(editor->mapSettings().*field, QString::fromLatin1("Caf\xe9 \"quoted\""));
        EXPECT_THAT(host.lastMessage().toStdString(), HasSubstr("Latin-1"));
    }
}

TEST_F(EditorLevelTest, ALoadedLevelListsItsKeptCallsWithWhatLoadLevelCannotRun)
{
    host.openNames = {levelFile("kept.level",
        "maxPlayers = 2\nfunction DetermChunk()\n  addSphere(\"s\", {1, 2, 3}, 500)\n"
        "  for i = 1, 4 do\n    addAsteroid(\"Asteroid_\" .. i, {i, 0, 0}, 100, 0, 0, 0, 0)\n  end\n"
        "end\nfunction NonDetermChunk()\n  fogSetType(\"linear\")\nend\n")};
    ASSERT_TRUE(editor->loadChosenFile());
    EXPECT_THAT(editor->keptCallTexts(),
        ElementsAre("DetermChunk: addSphere(\"s\", {1, 2, 3}, 500)", "NonDetermChunk: fogSetType(\"linear\")"));
    EXPECT_THAT(loadProblemText(*editor), HasSubstr("1 loop"));
    EXPECT_THAT(loadProblemText(*editor), HasSubstr("Open Level"));
    EXPECT_TRUE(host.messages.empty()) << "the Checks panel lists the problems; no message box";
    ASSERT_FALSE(host.statuses.isEmpty());
    EXPECT_THAT(host.statuses.back().toStdString(), HasSubstr("reading kept.level"));
}

// A loaded item that the user edits keeps what the file said beyond the edited value.
TEST_F(EditorLevelTest, ApplyChangesOnlyTheEditedValuesOfALoadedCall)
{
    placeStarts(2);
    host.openNames = {levelFile("ships.level",
        "function DetermChunk()\n  addSquadron(\"Alpha\", \"hgn_scout\", {4, 5, 6}, 2, {10, 20, 30}, 1, 0)\n"
        "  addAsteroid(\"Asteroid_2\", {1, 2, 3}, 100, 12.5, -3, 45, 1)\nend\n")};
    ASSERT_TRUE(editor->loadChosenFile());
    apply(2, {"11"}); // the ship's orientation
    apply(3, {"55"}); // the asteroid's resources
    const QByteArray saved = save();
    EXPECT_THAT(
        saved.constData(), HasSubstr("addSquadron(\"Alpha\", \"hgn_scout\", {4, 5, 6}, 2, {11, 20, 30}, 1, 0)"));
    EXPECT_THAT(saved.constData(), HasSubstr("addAsteroid(\"Asteroid_2\", {1, 2, 3}, 55, 12.5, -3, 45, 1)"));
}

} // namespace
