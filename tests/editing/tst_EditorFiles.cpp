#include "EditorFixture.h"

#include <cmath>

#include "TestSupport.h"
#include "levelfile/LevelWriter.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>

#include <gmock/gmock.h>

namespace starloom::test {
namespace {

using ::testing::HasSubstr;

// Everything undo must give back: records, rows (order, keys), selection, file text.
struct Snapshot {
    LevelDocument document;
    std::vector<ObjectRow> rows;
    int selected;
    QByteArray file;
    bool operator==(const Snapshot&) const = default;
};

class EditorFilesTest : public EditorTest {
protected:
    QTemporaryDir dir;

    void TearDown() override { editor.reset(); } // its recovery copy's lock lies in dir

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray levelText() const
    {
        ModelLists models(editor->catalogue());
        return writeLevel(editor->level(), models);
    }
    Snapshot snapshot() const { return {doc(), editor->rows(), editor->selectedRow(), levelText()}; }
    // Player 2's start, then one item of every other kind, the ship first and selected for editing.
    void build()
    {
        place(ItemKind::PlayerStart, -100, -100, 1);
        for (int kind = 9; kind >= 2; --kind)
            place(static_cast<ItemKind>(kind), kind * 10, kind * 20);
        edit(1);
    }
    // Builds a level of five items and saves it as duel.level.
    void saveLevel()
    {
        editor->mapSettings().levelDesc = QStringLiteral("Duel");
        place(ItemKind::PlayerStart, -1000, 500, 0);
        place(ItemKind::PlayerStart, 1000, -500, 1);
        place(ItemKind::Asteroid, 100, 200);
        placeCustom(ItemKind::Ship, QStringLiteral("kus_scout"), -300, 400);
        place(ItemKind::Nebula, 7, 8);
        host.saveNames = {path("duel.level")};
        ASSERT_TRUE(editor->saveAs());
    }
};
using EditorUndoTest = EditorFilesTest;

TEST_F(EditorFilesTest, SaveIsRefusedWhileAPlayerHasNoStart)
{
    place(ItemKind::PlayerStart, 0, 0, 0);
    EXPECT_FALSE(editor->saveAs());
    EXPECT_EQ(host.lastNote() + QString::number(host.saveDialogs), missingStartsMessage() + QStringLiteral("0"));
    EXPECT_TRUE(host.messages.empty()) << "a refusal needs no answer";
}

TEST_F(EditorFilesTest, AFirstSaveReportsInTheStatusBarWithoutAMessageBox)
{
    editor->newLevel();
    saveLevel();
    EXPECT_TRUE(host.messages.empty());
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_EQ(host.statuses.back(), QStringLiteral("Duel saved"));
}

TEST_F(EditorFilesTest, AFailedOrCancelledSaveKeepsThePreviousFile)
{
    editor->newLevel();
    saveLevel();
    EXPECT_EQ(host.lastSaveFilter + host.lastSaveInitialName, QStringLiteral("LEVEL Files (*.level)Duel.level"));
    EXPECT_EQ(readBytes(path("duel.level")), levelText());
    EXPECT_EQ(editor->panel().kind, ItemKind::Nebula); // the panel stays
    host.statuses.clear();
    EXPECT_FALSE(editor->saveAs());
    EXPECT_TRUE(host.messages.empty() && host.notes.empty() && host.statuses.empty())
        << "cancelled: nothing written, nothing said";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("duel.level")});
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken.level")));
    const QByteArray before = readBytes(path("duel.level"));
    host.saveNames = {path("taken.level"), path("missing-folder/duel.level")};
    EXPECT_FALSE(editor->saveAs());
    EXPECT_TRUE(host.lastNote().startsWith(QStringLiteral("The level could not be saved as ")))
        << "with the reason on a line of its own";
    EXPECT_GT(host.lastNote().indexOf(u'\n'), 0) << "with the reason on a line of its own";
    EXPECT_FALSE(editor->saveAs());
    EXPECT_EQ(readBytes(path("duel.level")), before);
}

TEST_F(EditorFilesTest, LoadRegistersEveryItemWithThePanelOnTheLastKind)
{
    editor->mapSettings().sizeX = QStringLiteral("40000");
    saveLevel();
    const QByteArray saved = levelText();
    makeEditor();
    editor->armZoom();
    clickTop(0, 0);
    host.messages.clear();
    host.openNames = {path("duel.level"), path("duel.level")};
    ASSERT_TRUE(editor->loadChosenFile());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(levelText(), saved);
    EXPECT_EQ(editor->topScale(), (ViewScale{-40000, -30000, 40000, 30000})); // world bounds reset the zoom
    QStringList texts;
    for (int i = 0; i < static_cast<int>(editor->rows().size()); ++i) {
        texts << editor->rows()[static_cast<std::size_t>(i)].text;
        EXPECT_EQ(editor->labelFor(i).key, rowKey(i));
    }
    EXPECT_EQ(
        texts.join(QLatin1Char('|')), QStringLiteral("Player 1 start|Player 2 start|Asteroid #1|Nebula #1|kus_scout"));
    EXPECT_EQ(editor->mode(), EditorMode::Placement);
    EXPECT_EQ(editor->panel().kind, std::optional(ItemKind::Ship));
    EXPECT_EQ(editor->panel().modelIndex, 0);
    EXPECT_EQ(editor->activeTool(), ToolKind::Select);
    editor->chooseTool(ToolKind::Place);
    clickTop(1, 1);
    EXPECT_EQ(editor->rows().back().text, QStringLiteral("hgn_assaultcorvette"));
    ASSERT_TRUE(editor->loadChosenFile()); // a second load appends
    EXPECT_EQ(editor->rows()[8].text, QStringLiteral("Asteroid #2"));
}

// Problems are kept with their lines and noted, open failures told with the reason.
TEST_F(EditorFilesTest, LoadKeepsTheProblemsOfTheFileWithTheirLines)
{
    host.messages.clear();
    writeBytes(path("bad.level"),
        "function DetermChunk()\r\n  addAsteroid(\"asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\r\n"
        "  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\r\n"
        "  addCloud(\"c\", \"cloud_0\", {1, 2, 3}, {1e9, 1, 1, 1}, 0, 100)\r\nend\r\n");
    host.openNames = {path("bad.level"), path("nothing-here.level")};
    ASSERT_TRUE(editor->loadChosenFile());
    EXPECT_TRUE(host.messages.empty());
    ASSERT_FALSE(editor->loadProblems().empty());
    EXPECT_EQ(editor->loadProblems().front().line, 3);
    EXPECT_EQ(editor->loadProblemsRevision(), 1);
    EXPECT_EQ(host.statuses.back(),
        QStringLiteral("%1 problems were found reading bad.level; the Checks panel lists them")
            .arg(editor->loadProblems().size()));
    EXPECT_EQ(editor->rows().size(),
        static_cast<std::size_t>(doc().liveCount(ItemKind::Asteroid) + doc().liveCount(ItemKind::Cloud)));
    EXPECT_FALSE(editor->loadChosenFile());
    EXPECT_TRUE(host.lastNote().startsWith(QStringLiteral("The level ")));
    EXPECT_TRUE(host.lastNote().contains(QStringLiteral("nothing-here.level")));
    EXPECT_FALSE(editor->loadChosenFile()); // cancelled
}

TEST_F(EditorFilesTest, DoneStoresOnlySettingsTheGameCanRead)
{
    const std::tuple<const char*, QString MapSettings::*, const char*, const char*> cases[] = {
        {"SizeX", &MapSettings::sizeX, "0", "a positive number"},
        {"SizeZ", &MapSettings::sizeZ, "abc", "a positive number"},
        {"SizeY", &MapSettings::sizeY, "1e999", "a positive number"},
        {"SizeY", &MapSettings::sizeY, "1 000", "a positive number"},
        {"SizeX", &MapSettings::sizeX, "+5", "a positive number"},
        {"CameraMin", &MapSettings::cameraMin, "-5", "a number of 0 or more"},
        {"CameraMax", &MapSettings::cameraMax, "far", "a number of 0 or more"},
        {"Grid Size", nullptr, "10 km", "a positive number"}};
    for (const auto& [field, member, text, rule] : cases) {
        editor->mapSettings() = MapSettings{};
        editor->setGridSize(QString::fromLatin1(member ? "1000" : text));
        if (member)
            editor->mapSettings().*member = QString::fromLatin1(text);
        EXPECT_FALSE(editor->acceptOptions()) << field << "=" << text;
        EXPECT_EQ(host.lastMessage(), QStringLiteral("%1 must be %2.").arg(QLatin1String(field), QLatin1String(rule)));
        EXPECT_FALSE(store.values.contains(QStringLiteral("GridSize")));
        EXPECT_EQ(editor->topScale(), (ViewScale{-30000, -30000, 30000, 30000}));
        EXPECT_EQ(editor->undoStack().count(), 0);
        if (member) { // and Save refuses what Done! refuses, before it asks for a file
            editor->setGridSize(QStringLiteral("1000"));
            place(ItemKind::PlayerStart, 1, 1, 0);
            place(ItemKind::PlayerStart, 2, 2, 1);
            const int dialogs = host.saveDialogs;
            EXPECT_FALSE(editor->saveAs());
            EXPECT_EQ(host.lastNote() + QString::number(host.saveDialogs - dialogs),
                QStringLiteral("%1 must be %2.0").arg(QLatin1String(field), QLatin1String(rule)));
            makeEditor();
        }
    }
    editor->mapSettings().sizeX = QStringLiteral("50000");
    editor->mapSettings().sizeZ = QStringLiteral("1000.9");
    editor->setGridSize(QStringLiteral("1000"));
    editor->setFontSizeIndex(6);
    ASSERT_TRUE(editor->acceptOptions());
    EXPECT_EQ(editor->topScale(), (ViewScale{-50000, -30000, 50000, 30000}));
    EXPECT_EQ(editor->frontScale(), (ViewScale{-50000, 1000, 50000, -1000, true}));
    EXPECT_EQ(editor->undoStack().undoText(), QStringLiteral("Options")); // the level's settings, not the preferences
    editor->mapSettings().levelDesc = QStringLiteral("Typed since");
    editor->undo();
    EXPECT_EQ(editor->mapSettings().sizeX, QStringLiteral("30000"));
    EXPECT_EQ(editor->mapSettings().levelDesc, QStringLiteral("Typed since"));
    EXPECT_EQ(editor->topScale().width(), 60000.0);
    EXPECT_EQ(editor->gridSize(), QStringLiteral("1000"));
    ASSERT_TRUE(editor->acceptOptions());
    ASSERT_TRUE(editor->acceptOptions()); // the second changes nothing: no step
    EXPECT_EQ(editor->undoStack().count(), 1);
    makeEditor();
    EXPECT_EQ(editor->gridSize(), QStringLiteral("1000"));
    EXPECT_EQ(editor->fontSizeIndex(), 6);
}

TEST_F(EditorFilesTest, ANewOrLoadedLevelLeavesTheSelectToolWithNothingSelected)
{
    writeBytes(
        path("starts.level"), "function DetermChunk()\n  addPoint(\"StartPos1\", {700, 800, 0}, {0, 0, 0})\nend\n");
    for (const bool load : {true, false}) {
        makeEditor();
        place(ItemKind::PlayerStart, 10, 20);
        place(ItemKind::Asteroid, 30, 40);
        edit(0); // Player 1's start, in Editing mode
        if (load) {
            ASSERT_TRUE(editor->loadFile(path("starts.level")));
        } else {
            editor->newLevel();
        }
        EXPECT_EQ(editor->selectedRow(), -1) << load;
        EXPECT_EQ(editor->mode(), EditorMode::Placement) << load;
        EXPECT_EQ(editor->panel().kind, std::optional(ItemKind::PlayerStart)) << load;
        EXPECT_EQ(editor->activeTool(), ToolKind::Select) << load;
        const std::size_t rows = editor->rows().size();
        clickTop(500, 600); // neither places nor moves
        EXPECT_EQ(editor->rows().size(), rows) << load;
        EXPECT_EQ(doc().player(0).posX, load ? 10 : 0) << load;
        editor->chooseTool(ToolKind::Place); // the panel places the chosen kind again
        clickTop(500, 600);
        EXPECT_EQ(editor->rows().size(), load ? rows : rows + 1) << load; // Player 1's start is there already
    }
}

TEST_F(EditorFilesTest, NewLevelStartsFromTheStandardSettingsAsTheFirstStartDoes)
{
    writeBytes(path("deep.level"),
        "levelDesc = \"Deepspace\"\nmaxPlayers = 6\n"
        "player = {}\nplayer[0] = {id = 0, name = \"Red\", resources = 20000, raceID = 2, startPos = 1}\n"
        "function DetermChunk()\n  setWorldBoundsInner({0, 0, 0}, {32000, 32000, 32000})\n"
        "  setWorldBoundsOuter({0, 0, 0}, {40000, 40000, 40000})\n  addAsteroid(\"Asteroid_3\", {1, 2, 3}, 100, 0, 0, "
        "0, "
        "0)\nend\nfunction NonDetermChunk()\n  setSensorsManagerCameraDistances(12000, 60000)\nend\n");
    ASSERT_TRUE(editor->loadFile(path("deep.level")));
    ASSERT_EQ(editor->mapSettings().levelDesc, QStringLiteral("Deepspace"));
    editor->newLevel();
    MapSettings expected;
    expected.background = editor->mapSettings().background; // picked at random, as at the first start
    expected.music = editor->mapSettings().music;
    EXPECT_EQ(editor->mapSettings(), expected);
    EXPECT_EQ(editor->mapSettings().players.text(0, PlayerTable::Field::Resources), QStringLiteral("1500"));
    EXPECT_EQ(editor->topScale(), topScaleFor(expected));
    EXPECT_EQ(editor->frontScale(), frontScaleFor(expected));
    editor->undo();
    EXPECT_EQ(editor->mapSettings().levelDesc, QStringLiteral("Deepspace")) << "undo gives the loaded level back";
}

TEST_F(EditorFilesTest, ALoadThatReadsNothingLeavesNoTrace)
{
    const std::tuple<const char*, QByteArray, QString> files[] = {
        {"empty.level", QByteArray(), QStringLiteral("Nothing was read from ")},
        {"binary.level", QByteArray("\x1bLua\x40\x01\x04\x04\x04\x08\x00", 11) + QByteArray(300, '\0'),
            QStringLiteral("The level ")}, // a compiled level that cannot run: why
        {"comments.level", "-- a level script with no level in it\nprint(\"hello\")\n",
            QStringLiteral("Nothing was read from ")}};
    place(ItemKind::Asteroid, 1, 2);
    for (const auto& [name, bytes, said] : files) {
        writeBytes(path(name), bytes);
        host.notes.clear();
        EXPECT_FALSE(editor->loadFile(path(name))) << name;
        EXPECT_TRUE(host.lastNote().startsWith(said + path(name))) << host.lastNote().toStdString();
        EXPECT_EQ(editor->undoStack().count(), 1);
        EXPECT_EQ(editor->recentLevels().size(), 0);
        EXPECT_EQ(editor->rows().size(), std::size_t(1));
    }
}

TEST_F(EditorUndoTest, EveryChangeRoundTripsThroughUndoRedoExactly)
{
    const QString level = path("loaded.level");
    writeBytes(level,
        "function DetermChunk()\n  addAsteroid(\"Asteroid_2\", {1, 2, 3}, 50, 0, 0, 0, 0)\n"
        "  setWorldBoundsInner({0, 0, 0}, {50000, 9000, 40000})\nend\n");
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"Place Pebble #2", [&] { place(ItemKind::Pebble, 7, 8); }},
        {"Place Player 1 start", [&] { place(ItemKind::PlayerStart, 1, 2); }},
        {"Move hgn_assaultcorvette", [&] { clickTop(-500, 600); }},
        {"Apply hgn_assaultcorvette",
            [&] {
                apply(1, {nullptr, nullptr, nullptr, "4"});
            }},
        {"Set Height of hgn_assaultcorvette",
            [&] {
                editor->moveOnFrontView(QPointF(0, 1234.5));
                editor->setHeightAtFrontPointer();
            }},
        {"Delete hgn_assaultcorvette", [&] { editor->deleteObject(); }},
        {"Set Player of hgn_assaultcorvette",
            [&] {
                host.textAnswers = {QStringLiteral("3")};
                editor->setStartPlayer();
            }},
        {"Load loaded.level", [&] { editor->loadFile(level); }},
        {"New Level", [&] { editor->newLevel(); }},
        {"Options",
            [&] {
                editor->mapSettings().sizeX = QStringLiteral("50000"),
                editor->mapSettings().levelDesc = QStringLiteral("Wide"), editor->acceptOptions();
            }},
    };
    for (const auto& [undoText, act] : cases) {
        SCOPED_TRACE(undoText);
        makeEditor();
        build();
        const Snapshot before = snapshot();
        const ViewScale topBefore = editor->topScale();
        act();
        const Snapshot after = snapshot();
        ASSERT_FALSE(after == before);
        EXPECT_EQ(editor->undoStack().undoText(), QLatin1String(undoText));
        editor->undo();
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(editor->topScale(), topBefore);
        editor->redo();
        EXPECT_TRUE(snapshot() == after);
    }
}

TEST_F(EditorUndoTest, ADragIsUndoneAsOneStepWithThePanelOnTheEditedItem)
{
    editor->chooseKind(ItemKind::Asteroid);
    for (const double at : {100.0, 200.0}) {
        editor->moveOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(at, at));
        editor->repeatWhileHeld();
    }
    // The click that comes with the release.
    editor->releaseOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(200, 200));
    editor->clickTopView();
    clickTop(5, 5); // an ordinary click afterwards is a step of its own
    EXPECT_EQ(editor->undoStack().count(), 2);
    EXPECT_EQ(editor->undoStack().text(0), QStringLiteral("Place 3 Items"));
    makeEditor();
    build();
    apply(1, {"45"});
    editor->undo();
    EXPECT_EQ(editor->mode(), EditorMode::Editing);
    EXPECT_EQ(editor->panel().field(0).text, QStringLiteral("0"));
    editor->deleteObject();
    editor->undo();
    EXPECT_EQ(editor->selectedRow(), 1);
}

TEST_F(EditorUndoTest, UnsavedChangesAreGuarded)
{
    const std::tuple<SaveChoice, bool, bool> cases[] = {{SaveChoice::Save, true, true},
        {SaveChoice::Save, false, false}, {SaveChoice::Discard, true, true}, {SaveChoice::Cancel, true, false}};
    for (const auto& [choice, saveSucceeds, proceeds] : cases) {
        for (const bool exit : {false, true}) {
            makeEditor();
            EXPECT_TRUE(editor->prepareToExit()); // nothing to ask yet
            place(ItemKind::PlayerStart, 2, 2);
            if (saveSucceeds) // without player 2's start the save is refused
                place(ItemKind::PlayerStart, 1, 1, 1);
            host.saveChoices = {choice};
            host.saveNames = {path("guard.level")};
            const int asked = host.saveQuestions;
            const bool proceeded = exit ? editor->prepareToExit() : (editor->newLevel(), editor->rows().empty());
            EXPECT_EQ(host.saveQuestions, asked + 1);
            EXPECT_EQ(proceeded, proceeds) << int(choice) << saveSucceeds << exit;
        }
    }
    makeEditor();
    editor->mapSettings().levelDesc = QStringLiteral("Other"); // typing a description is a change too
    EXPECT_TRUE(editor->isModified());
}

TEST_F(EditorUndoTest, RecoveryCopyFollowsUnsavedWork)
{
    using Choice = RecoveryAnswer::Choice;
    const QString folder = path("data");
    ASSERT_TRUE(editor->setRecoveryFolder(folder));
    const QString recovery = editor->recoveryPath();
    EXPECT_FALSE(editor->writeRecoveryCopy()); // nothing unsaved
    place(ItemKind::PlayerStart, 10, 20);
    place(ItemKind::Asteroid, 30, 40);
    ASSERT_TRUE(editor->writeRecoveryCopy());
    EXPECT_FALSE(readBytes(recovery).contains("StartPos1")); // empty slots are not written
    const std::vector<ObjectRow> rows = editor->rows();
    // The editor ends without Exit, as a crashed one does: the next start offers its copy.
    for (const Choice choice : {Choice::Keep, Choice::Restore}) {
        makeEditor();
        editor->setRecoveryFolder(folder);
        host.recoveryAnswers = {{choice, 0}};
        EXPECT_EQ(editor->offerRecovery(), choice == Choice::Restore);
        EXPECT_EQ(editor->rows() == rows && editor->isModified() && editor->recentLevels().isEmpty(),
            choice == Choice::Restore);
        // Restored work moves into the copy of the editor that restored it.
        EXPECT_EQ(QFileInfo::exists(recovery), choice == Choice::Keep);
        EXPECT_EQ(QFileInfo::exists(editor->recoveryPath()), choice == Choice::Restore);
    }
    place(ItemKind::PlayerStart, 5, 5, 1);
    host.saveNames = {path("saved.level")};
    ASSERT_TRUE(editor->saveAs()); // a save removes it
    EXPECT_FALSE(QFileInfo::exists(editor->recoveryPath()));
    place(ItemKind::Pebble, 1, 1);
    ASSERT_TRUE(editor->writeRecoveryCopy());
    makeEditor();
    editor->setRecoveryFolder(folder);
    host.recoveryAnswers = {{Choice::Discard, 0}};
    EXPECT_FALSE(editor->offerRecovery());
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.level")}, QDir::Files), QStringList());
}

TEST_F(EditorUndoTest, RestoredWorkAsksBeforeItsFirstSaveReplacesItsFile)
{
    using Choice = RecoveryAnswer::Choice;
    const QString folder = path("data"), work = QFileInfo(path("work.level")).absoluteFilePath();
    ASSERT_TRUE(editor->setRecoveryFolder(folder));
    place(ItemKind::PlayerStart, 10, 20, 0);
    place(ItemKind::PlayerStart, 900, 900, 1);
    host.saveNames = {work};
    ASSERT_TRUE(editor->saveAs());
    place(ItemKind::Asteroid, 30, 40);
    ASSERT_TRUE(editor->writeRecoveryCopy());
    const QByteArray saved = readBytes(work);
    makeEditor(); // the first editor ended without Exit
    editor->setRecoveryFolder(folder);
    host.recoveryAnswers = {{Choice::Restore, 0}};
    ASSERT_TRUE(editor->offerRecovery());
    ASSERT_EQ(host.offeredCopies.back().size(), 1u);
    EXPECT_EQ(host.offeredCopies.back()[0].file, work) << "the offer names the level's file";
    EXPECT_EQ(editor->currentFile(), work);
    EXPECT_TRUE(editor->isModified());
    EXPECT_EQ(doc().itemCount(ItemKind::Asteroid), 1);
    host.yesNoAnswers = {false};
    EXPECT_FALSE(editor->save());
    EXPECT_THAT(host.questions.back().toStdString(), HasSubstr("work.level"));
    EXPECT_EQ(readBytes(work), saved) << "declined: the file is as it was";
    host.yesNoAnswers = {true};
    ASSERT_TRUE(editor->save());
    EXPECT_TRUE(readBytes(work).contains("addAsteroid"));
    const std::size_t asked = host.questions.size();
    place(ItemKind::Pebble, 1, 1);
    ASSERT_TRUE(editor->save());
    EXPECT_EQ(host.questions.size(), asked) << "asked before the first save only";
}

TEST_F(EditorUndoTest, DescriptionsAreShownWithoutTheGamesColourTags)
{
    editor->mapSettings().levelDesc = QStringLiteral("Wings of War <c=0095D9>(Air Combat)</c>");
    place(ItemKind::Asteroid, 1, 1);
    editor->newLevel();
    EXPECT_EQ(host.lastSaveChangesDesc, QStringLiteral("Wings of War (Air Combat)"));
    EXPECT_EQ(plainDescription(QStringLiteral("<c=FF4800>Gehenna 1.2.18</c>")), QStringLiteral("Gehenna 1.2.18"));
}

TEST_F(EditorUndoTest, OnlyAbandonedRecoveryCopiesAreOffered)
{
    const QString folder = path("data"), orphan = path("data/recovery-1-1.level");
    ASSERT_TRUE(QDir().mkpath(folder));
    writeBytes(
        orphan, "levelDesc = \"Orphan\"\nfunction DetermChunk()\n  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\nend\n");
    { // its lock names a process that has ended
        QLockFile lock(orphan + QStringLiteral(".lock"));
        ASSERT_TRUE(lock.tryLock(0));
        QProcess ended;
        ended.start(QStringLiteral("true"), QStringList());
        ended.waitForStarted();
        const QByteArray text = readBytes(orphan + QStringLiteral(".lock")),
                         pid = QByteArray::number(ended.processId());
        ASSERT_TRUE(ended.waitForFinished());
        lock.unlock();
        writeBytes(orphan + QStringLiteral(".lock"), pid + text.mid(text.indexOf('\n')));
        QFile f(orphan);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    }
    Editor second(host, store, random.source(), QString());
    ASSERT_TRUE(editor->setRecoveryFolder(folder));
    ASSERT_TRUE(second.setRecoveryFolder(folder));
    place(ItemKind::Asteroid, 1, 1);
    ASSERT_TRUE(editor->writeRecoveryCopy());
    const QByteArray first = readBytes(editor->recoveryPath());
    second.chooseKind(ItemKind::Pebble);
    second.moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(5, 5));
    second.clickTopView();
    ASSERT_TRUE(second.writeRecoveryCopy());
    EXPECT_EQ(readBytes(editor->recoveryPath()), first) << "the second editor writes a copy of its own";
    const QString crashed = editor->recoveryPath();
    editor.reset(); // ends without Exit: its copy is abandoned now, while the second editor's is in use
    makeEditor();
    editor->setRecoveryFolder(folder);
    EXPECT_FALSE(editor->offerRecovery()); // kept for later
    ASSERT_EQ(host.offeredCopies.size(), 1u);
    QStringList offered;
    for (const RecoveryCopy& copy : host.offeredCopies[0])
        offered << QStringLiteral("%1 %2 %3 %4")
                       .arg(QFileInfo(copy.path).fileName())
                       .arg(copy.items)
                       .arg(copy.levelDesc)
                       .arg(qRound(double(copy.written.secsTo(QDateTime::currentDateTime())) / 600.0) * 600);
    EXPECT_EQ(offered.join(u'|'),
        QFileInfo(crashed).fileName() + QStringLiteral(" 1 NewMap 0|recovery-1-1.level 1 Orphan 3600"))
        << "newest first, never a running editor's";
    EXPECT_TRUE(QFileInfo::exists(crashed));
    EXPECT_TRUE(QFileInfo::exists(orphan));
    EXPECT_TRUE(QFileInfo::exists(second.recoveryPath()));
}

TEST_F(EditorUndoTest, RecentLevelsKeepTheLastEightExistingFiles)
{
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        paths << dir.filePath(QStringLiteral("level%1.level").arg(i));
        writeBytes(paths.last(), QStringLiteral("levelDesc = \"Level %1\"\n").arg(i).toLatin1());
        ASSERT_TRUE(editor->loadFile(paths.last()));
    }
    ASSERT_EQ(editor->lastFolder(), dir.path());
    makeEditor(); // kept in the per-user settings for the next run
    ASSERT_EQ(editor->recentLevels().size(), 8);
    ASSERT_EQ(editor->recentLevels().first(), paths[9]);
    QFile::remove(paths[9]);
    EXPECT_FALSE(editor->openRecent(0));
    EXPECT_TRUE(host.lastNote().contains(QLatin1String("no longer exists")));
    EXPECT_EQ(editor->recentLevels().first(), paths[8]);
    QStringList many; // however many the settings hold, only what the menu shows is read
    for (int i = 0; i < 200000; ++i)
        many << QStringLiteral("/maps/level%1.level").arg(i);
    store.values[QStringLiteral("RecentLevels")] = many.join(u'\n');
    makeEditor();
    EXPECT_EQ(editor->recentLevels(), many.mid(0, 8));
}

TEST_F(EditorFilesTest, ANewLevelFromALayoutHasItsStartPointsEvenlyRoundTheCentre)
{
    for (int players = 2; players <= 8; ++players) {
        makeEditor();
        ASSERT_TRUE(editor->newLevelWithStarts(players));
        ASSERT_EQ(editor->rows().size(), std::size_t(players)) << players;
        EXPECT_EQ(editor->mapSettings().playerCount(), players);
        std::vector<double> radii, gaps;
        for (int slot = 0; slot < players; ++slot) {
            const PlayerStartRecord& a = doc().player(slot);
            const PlayerStartRecord& b = doc().player((slot + 1) % players);
            EXPECT_EQ(editor->rows()[std::size_t(slot)].text, QStringLiteral("Player %1 start").arg(slot + 1));
            radii.push_back(std::hypot(a.posX, a.posY));
            gaps.push_back(std::hypot(a.posX - b.posX, a.posY - b.posY));
        }
        EXPECT_LT(doc().player(0).posY, 0) << "the first one straight up";
        EXPECT_EQ(doc().player(0).posX, 0);
        for (const double r : radii)
            EXPECT_NEAR(r, radii.front(), 1.5) << players;
        for (const double g : gaps)
            EXPECT_NEAR(g, gaps.front(), 2.5) << players;
        for (const Finding& f : editor->findings())
            EXPECT_NE(f.severity, Severity::Error) << players << " " << f.message.toStdString();
        EXPECT_FALSE(editor->isModified());
    }
}

} // namespace
} // namespace starloom::test
