// Open Level: a level built by running its script; what the user is told, and what a Cancel or
// an error leaves.

#include "EditorFixture.h"
#include "MadeUpGame.h"
#include "TestSupport.h"

#include "gamedata/DataFileReader.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Runs the background work at once, as the window would, but can press Cancel first.
class CancellingHost final : public ScriptedHost {
public:
    bool cancelRuns = false;
    QString caption;
    void runInBackground(const QString& text, const BackgroundWork& work) override
    {
        caption = text;
        const std::atomic<bool> cancel{cancelRuns};
        work(cancel, [](qint64) {});
    }
};

class EditorOpenTest : public ::testing::Test {
protected:
    CancellingHost host;
    MemorySettingsStore store;
    ScriptedRandom random;
    std::unique_ptr<Editor> editor;
    QTemporaryDir dir;

    void SetUp() override { editor = std::make_unique<Editor>(host, store, random.source(), QString()); }
    QString file(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeBytes(path, bytes);
        return path;
    }
    const LevelDocument& doc() const { return editor->document(); }
};

const QByteArray ringOfAsteroids =
    "maxPlayers = 2\n"
    "function DetermChunk()\n"
    "  addPoint(\"StartPos0\", {-1000, 0, 0}, {0, 0, 0})\n"
    "  addPoint(\"StartPos1\", {1000, 0, 0}, {0, 0, 0})\n"
    "  for i = 1, 12 do\n"
    "    addAsteroid(\"Asteroid_\" .. mod(i, 3) + 1, {5000 * cos(i * 30), 0, 5000 * sin(i * 30)}, 100, 0, 0, 0, 0)\n"
    "  end\n"
    "end\n";

TEST_F(EditorOpenTest, OpenLevelReplacesTheLevelWithWhatTheScriptBuilds)
{
    editor->chooseKind(ItemKind::Pebble);
    editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(10, 10));
    editor->clickTopView();
    host.saveChoices = {SaveChoice::Discard};
    host.openNames = {file("ring.level", ringOfAsteroids)};
    ASSERT_TRUE(editor->openChosenFile());
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 12);
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 0) << "the open level is replaced, not added to";
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[2].posX, 0) << "cos 90 degrees";
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[2].posY, 5000);
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].modelIndex, 1)
        << "\"Asteroid_\" .. 2 is \"Asteroid_2\", not \"Asteroid_2.0\"";
    EXPECT_FALSE(editor->isModified());
    EXPECT_EQ(editor->recentLevels().first(), QFileInfo(dir.filePath(QStringLiteral("ring.level"))).absoluteFilePath());
    EXPECT_THAT(host.caption.toStdString(), HasSubstr("ring.level"));
    editor->undo();
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 1) << "Open is one step of the undo history";
}

TEST_F(EditorOpenTest, RandomLayoutsOrMissingHelpersAreTold)
{
    host.openNames = {file("random.level",
        "function DetermChunk()\n  for i = 1, 5 do addPebble(\"pebble_0\", {random(100), 0, 0}, 0, 0, 0) end\n"
        "  makeFancyField(3)\nend\n")};
    ASSERT_TRUE(editor->openChosenFile());
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 5);
    EXPECT_THAT(host.lastNote().toStdString(), HasSubstr("random 5 times"));
    EXPECT_THAT(loadProblemText(*editor), HasSubstr("makeFancyField"));
}

TEST_F(EditorOpenTest, ACancelOrAnErrorLeavesTheLevelAsItWas)
{
    host.openNames = {file("ring.level", ringOfAsteroids)};
    ASSERT_TRUE(editor->openChosenFile());
    host.cancelRuns = true;
    host.openNames = {file("again.level", ringOfAsteroids)};
    EXPECT_FALSE(editor->openChosenFile());
    EXPECT_THAT(host.statuses.back().toStdString(), HasSubstr("cancelled"));
    host.cancelRuns = false;
    const QString failing = file("failing.level",
        "function DetermChunk()\n  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\n"
        "  local t = nil\n  t.x = 1\nend\n");
    host.yesNoAnswers = {false};
    host.openNames = {failing};
    EXPECT_FALSE(editor->openChosenFile());
    EXPECT_THAT(host.questions.back().toStdString(), HasSubstr("at line 4"));
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 12);
    host.yesNoAnswers = {true};
    host.openNames = {failing};
    EXPECT_TRUE(editor->openChosenFile()) << "what it built until the error";
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 1);
    const int steps = editor->undoStack().count();
    const QStringList recent = editor->recentLevels();
    host.openNames = {file("empty.level", "-- nothing here\nprint(\"hello\")\n")};
    EXPECT_FALSE(editor->openChosenFile());
    EXPECT_THAT(host.lastNote().toStdString(), HasSubstr("Nothing was read"));
    EXPECT_THAT(host.lastNote().toStdString(), HasSubstr("hello"));
    EXPECT_EQ(editor->undoStack().count(), steps) << "a file that builds nothing is no step";
    EXPECT_EQ(editor->recentLevels(), recent);
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 1);
}

TEST_F(EditorOpenTest, ACompiledLevelOpensAsItsScriptWould)
{
    const QString compiled = corpusDir() + QStringLiteral("/frozensnowy__Simplex__2p_jadeth_bytecode.level");
    if (!QFileInfo::exists(compiled))
        GTEST_SKIP() << "the corpus is not beside the checkout";
    ASSERT_TRUE(editor->openFile(compiled)) << host.lastNote().toStdString();
    EXPECT_EQ(doc().liveCount(ItemKind::PlayerStart), 2);
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 27);
    EXPECT_EQ(doc().liveCount(ItemKind::Pebble), 299);
    EXPECT_FALSE(editor->isModified()) << "the level is what the file builds";
    EXPECT_EQ(editor->recentLevels().value(0), compiled);
    // Its first save asks, as for a script, before it writes plain calls.
    host.choiceAnswers = {0};
    const std::size_t asked = host.questions.size();
    EXPECT_FALSE(editor->save());
    EXPECT_EQ(host.questions.size(), asked + 1);
}

TEST_F(EditorOpenTest, LoadLevelRunsACompiledLevelAndAddsWhatItBuilds)
{
    const QString compiled = corpusDir() + QStringLiteral("/frozensnowy__Simplex__2p_jadeth_bytecode.level");
    if (!QFileInfo::exists(compiled))
        GTEST_SKIP() << "the corpus is not beside the checkout";
    ASSERT_TRUE(editor->openFile(file("ring.level", ringOfAsteroids)));
    host.openNames = {compiled};
    ASSERT_TRUE(editor->loadChosenFile()) << host.lastNote().toStdString();
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 12 + 27);
    EXPECT_EQ(doc().liveCount(ItemKind::Pebble), 299);
    editor->undo();
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 12) << "one step";
}

TEST_F(EditorOpenTest, AHostileCompiledLevelIsRefusedNamingTheFile)
{
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"truncated.level", QByteArray("\x1bLua\x40\x01", 6)},
        {"zeros.level", QByteArray("\x1bLua\x40\x01", 6) + QByteArray(50, '\0')},
        {"wrongversion.level", QByteArray("\x1bLua\x51\x01\x04\x04\x04", 9) + QByteArray(40, '\x7f')},
    };
    for (const auto& c : cases) {
        const QString path = file(c.name, c.bytes);
        host.openNames = {path};
        EXPECT_FALSE(editor->openChosenFile()) << c.name;
        EXPECT_THAT(host.lastNote().toStdString(), HasSubstr(c.name));
        EXPECT_THAT(host.lastNote().toStdString(), HasSubstr("cannot be run")) << "and why";
        host.openNames = {path};
        EXPECT_FALSE(editor->loadChosenFile()) << c.name;
        EXPECT_TRUE(editor->rows().empty()) << c.name;
        EXPECT_EQ(editor->undoStack().count(), 0) << c.name;
    }
}

// A file of plain calls builds, run or read, the same level: it is read, kept as the file writes it
// (a numeral such as 1.50 stays), and its first save replaces it without the question a script
// asks, since no code is lost. Script code, or anything the reader reports, still runs.
TEST_F(EditorOpenTest, AFileOfPlainCallsIsReadAsWrittenAndSavedWithoutTheScriptsQuestion)
{
    const QByteArray plainLevel = "maxPlayers = 2\n"
                                  "function DetermChunk()\n"
                                  "  addPoint(\"StartPos0\", {-1000, 0, 0}, {0, 0, 0})\n"
                                  "  addPoint(\"StartPos1\", {1000, 0, 0}, {0, 0, 0})\n"
                                  "  addAsteroid(\"Asteroid_2\", {1.50, 0, 2000}, 100, 0, 0, 0, 0)\n"
                                  "end\n"
                                  "function NonDetermChunk()\n"
                                  "end\n";
    const QString path = file("plain.level", plainLevel);
    ASSERT_TRUE(editor->openFile(path)) << host.lastNote().toStdString();
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 1);
    EXPECT_EQ(doc().liveCount(ItemKind::PlayerStart), 2);
    EXPECT_FALSE(editor->isModified());
    EXPECT_EQ(editor->currentFile(), path);
    const std::size_t asked = host.questions.size();
    ASSERT_TRUE(editor->save());
    EXPECT_EQ(host.questions.size(), asked) << "nothing of a script to lose";
    EXPECT_THAT(readBytes(path).toStdString(), HasSubstr("addAsteroid(\"Asteroid_2\", {1.50, 0, 2000}"));

    // The same calls with one computed argument: the script runs, and its first save asks.
    QByteArray scripted = plainLevel;
    scripted.replace("{1.50, 0, 2000}", "{1.50, 0, 1000 * 2}");
    ASSERT_TRUE(editor->openFile(file("scripted.level", scripted))) << host.lastNote().toStdString();
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 1);
    host.choiceAnswers = {-1};
    EXPECT_FALSE(editor->save());
    EXPECT_EQ(host.questions.size(), asked + 1) << "the script's code is not saved";
}

TEST_F(EditorOpenTest, AddedFilesAppendWithTheFirstSaveTellingWhatIsNotKept)
{
    ASSERT_TRUE(editor->openFile(file("ring.level", ringOfAsteroids)));
    ASSERT_TRUE(editor->appendFile(file("more.level",
        "function NonDetermChunk()\n  for i = 1, 3 do addPebble(\"pebble_1\", {i, 0, 0}, 0, 0, 0) end\nend\n")));
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 3);
    EXPECT_EQ(doc().itemCount(ItemKind::Asteroid), 12);
    host.choiceAnswers = {0};
    host.saveNames = {dir.filePath(QStringLiteral("ring plain.level"))};
    ASSERT_TRUE(editor->saveAs());
    EXPECT_THAT(host.questions.back().toStdString(), HasSubstr("loops, helper functions and random placement"));
    EXPECT_EQ(host.lastButtons,
        QStringList({QStringLiteral("Save as ring (plain).level\u2026"), QStringLiteral("Replace ring.level\u2026")}));
    EXPECT_EQ(host.lastSaveInitialName, dir.filePath(QStringLiteral("ring (plain).level")));
    const std::size_t asked = host.questions.size();
    host.saveNames = {dir.filePath(QStringLiteral("ring plain.level"))};
    ASSERT_TRUE(editor->saveAs());
    EXPECT_EQ(host.questions.size(), asked) << "asked at the first save only";
}

TEST_F(EditorOpenTest, TheScriptIsNeverSavedOverWithoutTheQuestion)
{
    const QString script = file("ring.level", ringOfAsteroids);
    // The question's Cancel saves nothing and opens no file dialog.
    ASSERT_TRUE(editor->openFile(script));
    const int dialogs = host.saveDialogs;
    EXPECT_FALSE(editor->saveAs());
    EXPECT_EQ(host.saveDialogs, dialogs) << "Cancel opens no file dialog";
    // "Replace ring.level..." proposes the script's own file.
    host.choiceAnswers = {1};
    host.saveNames = {QString()};
    EXPECT_FALSE(editor->saveAs());
    EXPECT_EQ(host.lastSaveInitialName, script);
    // A save whose file dialog is cancelled saves nothing, so Save asks again.
    const std::size_t asked = host.questions.size();
    host.choiceAnswers = {0};
    host.saveNames = {QString()};
    EXPECT_FALSE(editor->save());
    EXPECT_EQ(host.questions.size(), asked + 1) << "Save asks again after a cancelled save";
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), ringOfAsteroids) << "the script is as it was";
    // A new level was built by no script: its first save asks nothing about one.
    editor->newLevel();
    host.openNames = {file("starts.level",
        "maxPlayers = 2\nfunction DetermChunk()\n  addPoint(\"StartPos0\", {-1000, 0, 0}, {0, 0, 0})\n"
        "  addPoint(\"StartPos1\", {1000, 0, 0}, {0, 0, 0})\nend\n")};
    ASSERT_TRUE(editor->loadChosenFile());
    host.saveNames = {dir.filePath(QStringLiteral("new.level"))};
    const std::size_t before = host.questions.size();
    ASSERT_TRUE(editor->saveAs());
    EXPECT_EQ(host.questions.size(), before);
}

TEST_F(EditorOpenTest, IncludesAreReadThroughTheReaderGiven)
{
    editor->setIncludeReader([](const QString& path, qint64, QString*) -> std::optional<QByteArray> {
        if (path.compare(QLatin1String("data:scripts/field.lua"), Qt::CaseInsensitive) == 0)
            return QByteArray(
                "function field(n) for i = 1, n do addPebble(\"pebble_2\", {i, 0, 0}, 0, 0, 0) end end\n");
        return std::nullopt;
    });
    ASSERT_TRUE(editor->openFile(file("inc.level",
        "dofilepath(\"data:scripts/field.lua\")\ndofilepath(\"data:scripts/gone.lua\")\n"
        "function NonDetermChunk()\n  field(4)\nend\n")));
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 4);
    EXPECT_THAT(loadProblemText(*editor), HasSubstr("gone.lua"));
    // The problems stay until the next load, which replaces them.
    ASSERT_TRUE(editor->openFile(file(
        "plain.level", "function NonDetermChunk()\n  field2()\n  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\nend\n")));
    EXPECT_THAT(loadProblemText(*editor), Not(HasSubstr("gone.lua")));
    EXPECT_THAT(loadProblemText(*editor), HasSubstr("field2"));
}

// File > Open from Game: a map of the game's data opens as Open Level opens a file, but its
// source is not written to.
class EditorGameMapTest : public EditorOpenTest {
protected:
    void SetUp() override
    {
        EditorOpenTest::SetUp();
        const QString game = dir.filePath(QStringLiteral("game"));
        if (const QString why = writeMadeUpGame(game); !why.isEmpty())
            std::printf("The archive's maps are text: %s\n", qPrintable(why));
        editor->setIncludeReader(dataFileReader({game + QStringLiteral("/Data")}, {game + "/Data/Homeworld2.big"}));
    }
    const QString compiled = QStringLiteral("data:LevelData/Multiplayer/Deathmatch/4p_compiled.level");
};

TEST_F(EditorGameMapTest, AMapOfTheGameOpensWithNoFileSoSaveAsksForOne)
{
    editor->chooseKind(ItemKind::Pebble);
    editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(10, 10));
    editor->clickTopView();
    host.saveChoices = {SaveChoice::Discard};
    ASSERT_TRUE(editor->openGameMap(compiled));
    EXPECT_EQ(doc().liveCount(ItemKind::PlayerStart), madeUpCompiledStartPoints);
    EXPECT_EQ(doc().itemCount(ItemKind::Pebble), 0);
    EXPECT_EQ(editor->mapSettings().levelDesc, QStringLiteral("Compiled four"));
    EXPECT_EQ(host.saveQuestions, 1) << "the unsaved-changes question comes first";
    EXPECT_EQ(editor->currentFile(), QString());
    EXPECT_FALSE(editor->isModified());
    EXPECT_EQ(editor->recentLevels().first(), compiled);

    const int dialogs = host.saveDialogs;
    const std::size_t asked = host.questions.size();
    host.saveNames = {dir.filePath(QStringLiteral("mine.level"))};
    ASSERT_TRUE(editor->save());
    EXPECT_EQ(host.saveDialogs, dialogs + 1) << "Save asks for a new file";
    EXPECT_EQ(host.questions.size(), asked) << "no question about replacing the script";
    EXPECT_EQ(editor->currentFile(), dir.filePath(QStringLiteral("mine.level")));
}

TEST_F(EditorGameMapTest, RecentLevelsOpensTheMapAgainByItsDataName)
{
    ASSERT_TRUE(editor->openGameMap(QStringLiteral("data:LevelData/Multiplayer/Deathmatch/2P_Loose.level")));
    ASSERT_TRUE(editor->openFile(file("ring.level", ringOfAsteroids)));
    ASSERT_EQ(editor->recentLevels().size(), 2);
    ASSERT_TRUE(editor->openRecent(1));
    EXPECT_EQ(editor->mapSettings().levelDesc, QStringLiteral("Loose pair"));
    EXPECT_EQ(editor->recentLevels().first(), QStringLiteral("data:LevelData/Multiplayer/Deathmatch/2P_Loose.level"));
    EXPECT_EQ(editor->currentFile(), QString());
}

TEST_F(EditorGameMapTest, AMapTheDataDoesNotHoldIsToldAndTheLevelStays)
{
    ASSERT_TRUE(editor->openFile(file("ring.level", ringOfAsteroids)));
    EXPECT_FALSE(editor->openGameMap(QStringLiteral("data:LevelData/Multiplayer/none.level")));
    EXPECT_EQ(
        host.lastNote(), QStringLiteral("The level data:LevelData/Multiplayer/none.level is not in the game's data."));
    EXPECT_EQ(doc().liveCount(ItemKind::Asteroid), 12);
}

TEST_F(EditorGameMapTest, TheGamesMapsAreListedThroughTheListerGiven)
{
    const GameMapList none = editor->gameMaps();
    EXPECT_TRUE(none.maps.empty());
    EXPECT_EQ(
        none.problems, QStringList{QStringLiteral("No game is in use: choose its folder in the Preferences dialog.")});
    const QString game = dir.filePath(QStringLiteral("game"));
    editor->setGameMapLister(
        [game](const GameMapLimits& limits) { return listGameMaps({game + QStringLiteral("/Data")}, {}, limits); });
    EXPECT_EQ(editor->gameMaps().maps.size(), 2u);
    host.cancelRuns = true;
    EXPECT_TRUE(editor->gameMaps().cancelled) << "Cancel stops the listing";
}

} // namespace
