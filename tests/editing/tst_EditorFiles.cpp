#include "EditorFixture.h"

#include "TestSupport.h"
#include "levelfile/LevelWriter.h"

#include <QDir>
#include <QTemporaryDir>

#include <functional>

namespace starloom::test {
namespace {

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

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray levelText() const
    {
        ModelLists models(editor->catalogue());
        return writeLevel(doc(), editor->mapSettings(), models);
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
        ASSERT_TRUE(editor->mnuFileSave_Click());
    }
};
using EditorUndoTest = EditorFilesTest;

TEST_F(EditorFilesTest, SaveIsRefusedWhileAPlayerHasNoStartAndKeepsThePreviousFileWhenItFails)
{
    place(ItemKind::PlayerStart, 0, 0, 0);
    EXPECT_FALSE(editor->mnuFileSave_Click());
    EXPECT_EQ(host.lastMessage() + host.messages.back().title + QString::number(host.saveDialogs), missingStartsMessage() + QStringLiteral("Error0"));
    editor->mnuFileNew_Click();
    saveLevel();
    EXPECT_EQ(host.lastSaveFilter + host.lastSaveInitialName + host.lastMessage() + host.messages.back().title,
              QStringLiteral("LEVEL Files (*.level)Duel.levelDuel saved") + programTitle());
    EXPECT_TRUE(readBytes(path("duel.level")) == levelText() && editor->selectedKind() == ItemKind::Nebula); // the panel stays
    host.messages.clear();
    EXPECT_TRUE(!editor->mnuFileSave_Click() && host.messages.empty()); // cancelled: nothing written, nothing said
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("duel.level")});
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken.level")));
    const QByteArray before = readBytes(path("duel.level"));
    host.saveNames = {path("taken.level"), path("missing-folder/duel.level")};
    EXPECT_FALSE(editor->mnuFileSave_Click());
    EXPECT_TRUE(host.lastMessage().startsWith(QStringLiteral("The level could not be saved as ")) && host.lastMessage().indexOf(u'\n') > 0)
        << "with the reason on a line of its own";
    EXPECT_FALSE(editor->mnuFileSave_Click());
    EXPECT_EQ(readBytes(path("duel.level")), before);
}

TEST_F(EditorFilesTest, LoadRegistersEveryItemLeavesThePanelOnTheLastKindAndReportsProblems)
{
    editor->mapSettings().sizeX = QStringLiteral("40000");
    saveLevel();
    const QByteArray saved = levelText();
    makeEditor();
    editor->cmdZoomIn_Click();
    clickTop(0, 0);
    host.messages.clear();
    host.openNames = {path("duel.level"), path("duel.level")};
    ASSERT_TRUE(editor->mnuFileLoad_Click());
    EXPECT_TRUE(host.messages.empty() && levelText() == saved);
    EXPECT_EQ(editor->topScale(), (ViewScale{-40000, -30000, 40000, 30000})); // world bounds reset the zoom
    QStringList texts;
    for (int i = 0; i < static_cast<int>(editor->rows().size()); ++i) {
        texts << editor->rows()[static_cast<std::size_t>(i)].text;
        EXPECT_EQ(editor->labelFor(i).key, rowKey(i));
    }
    EXPECT_EQ(texts.join(QLatin1Char('|')), QStringLiteral("Player 1 start|Player 2 start|Asteroid #1|Nebula #1|kus_scout"));
    EXPECT_EQ(std::tuple(editor->mode(), editor->selectedKind(), editor->modelIndex()), std::tuple(placementMode, std::optional(ItemKind::Ship), 0));
    clickTop(1, 1);
    EXPECT_EQ(editor->rows().back().text, QStringLiteral("hgn_assaultcorvette"));
    ASSERT_TRUE(editor->mnuFileLoad_Click()); // a second load appends
    EXPECT_EQ(editor->rows()[8].text, QStringLiteral("Asteroid #2"));

    makeEditor(); // problems are reported in one message, open failures with the reason

    host.messages.clear();
    writeBytes(path("bad.level"), "function DetermChunk()\r\n  addAsteroid(\"asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\r\n"
                                  "  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\r\n"
                                  "  addCloud(\"c\", \"cloud_0\", {1, 2, 3}, {1e9, 1, 1, 1}, 0, 100)\r\nend\r\n");
    host.openNames = {path("bad.level"), path("nothing-here.level")};
    ASSERT_TRUE(editor->mnuFileLoad_Click());
    EXPECT_TRUE(host.messages.size() == 1 && host.lastMessage().contains(QStringLiteral("line ")));
    EXPECT_EQ(editor->rows().size(), static_cast<std::size_t>(doc().liveCount(ItemKind::Asteroid) + doc().liveCount(ItemKind::Cloud)));
    EXPECT_FALSE(editor->mnuFileLoad_Click());
    EXPECT_TRUE(host.lastMessage().startsWith(QStringLiteral("The level ")) && host.lastMessage().contains(QStringLiteral("nothing-here.level")));
    EXPECT_FALSE(editor->mnuFileLoad_Click()); // cancelled
}

TEST_F(EditorFilesTest, DoneRefusesSizesThatAreNotPositiveNumbersAndStoresTheRest)
{
    const std::tuple<const char*, QString MapSettings::*, const char*> cases[] = {
        {"SizeX", &MapSettings::sizeX, "0"}, {"SizeZ", &MapSettings::sizeZ, "abc"}, {"SizeY", &MapSettings::sizeY, "1e999"},
        {"SizeY", &MapSettings::sizeY, "1 000"}, {"SizeX", &MapSettings::sizeX, "+5"}, {"Grid Size", nullptr, "10 km"}};
    for (const auto& [field, member, text] : cases) {
        editor->mapSettings() = MapSettings{};
        editor->setGridSize(QString::fromLatin1(member ? "1000" : text));
        if (member)
            editor->mapSettings().*member = QString::fromLatin1(text);
        EXPECT_FALSE(editor->Command1_Click()) << field << "=" << text;
        EXPECT_EQ(host.lastMessage(), QString::fromLatin1(field) + QStringLiteral(" must be a positive number."));
        EXPECT_TRUE(!store.values.contains(QStringLiteral("GridSize")) && editor->topScale() == (ViewScale{-30000, -30000, 30000, 30000}));
    }
    editor->mapSettings().sizeX = QStringLiteral("50000");
    editor->mapSettings().sizeZ = QStringLiteral("1000.9");
    editor->setGridSize(QStringLiteral("1000"));
    editor->setFontSizeIndex(6);
    ASSERT_TRUE(editor->Command1_Click());
    EXPECT_EQ(std::pair(editor->topScale(), editor->frontScale()), std::pair(ViewScale{-50000, -30000, 50000, 30000}, ViewScale{-50000, 1000, 50000, -1000}));
    makeEditor();
    EXPECT_EQ(std::pair(editor->gridSize(), editor->fontSizeIndex()), std::pair(QStringLiteral("1000"), 6));
}

TEST_F(EditorUndoTest, EveryChangeUndoesAndRedoesExactly)
{
    const QString level = path("loaded.level");
    writeBytes(level, "function DetermChunk()\n  addAsteroid(\"Asteroid_2\", {1, 2, 3}, 50, 0, 0, 0, 0)\n"
                      "  setWorldBoundsInner({0, 0, 0}, {50000, 9000, 40000})\nend\n");
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"Place Pebble #2", [&] { place(ItemKind::Pebble, 7, 8); }},
        {"Place Player 1 start", [&] { place(ItemKind::PlayerStart, 1, 2); }},
        {"Move hgn_assaultcorvette", [&] { clickTop(-500, 600); }},
        {"Apply hgn_assaultcorvette", [&] { apply(1, {nullptr, nullptr, nullptr, "4"}); }},
        {"Set Height of hgn_assaultcorvette", [&] { editor->picLeft_MouseMove(0, 0, 0, 1234.5); editor->picLeft_Click(); }},
        {"Delete hgn_assaultcorvette", [&] { editor->mnuObjectsDelete_Click(); }},
        {"Set Player of hgn_assaultcorvette", [&] { host.textAnswers = {QStringLiteral("3")}; editor->mnuObjectsSetPlayer_Click(); }},
        {"Load loaded.level", [&] { editor->loadFile(level); }},
        {"New Level", [&] { editor->mnuFileNew_Click(); }},
    };
    for (const auto& [undoText, act] : cases) {
        SCOPED_TRACE(undoText);
        makeEditor(), build();
        const Snapshot before = snapshot();
        const ViewScale topBefore = editor->topScale();
        act();
        const Snapshot after = snapshot();
        ASSERT_FALSE(after == before);
        EXPECT_EQ(editor->undoStack().undoText(), QLatin1String(undoText));
        editor->undo();
        EXPECT_TRUE(snapshot() == before && editor->topScale() == topBefore);
        editor->redo();
        EXPECT_TRUE(snapshot() == after);
    }
}

TEST_F(EditorUndoTest, ADragIsOneStepAndUndoKeepsThePanelOnTheEditedItem)
{
    editor->selectKind(ItemKind::Asteroid);
    for (const double at : {100.0, 200.0}) {
        editor->Picture1_MouseMove(1, 0, at, at);
        editor->Timer1_Timer();
    }
    editor->Picture1_MouseUp(1, 0, 200, 200), editor->Picture1_Click(); // the click that comes with the release
    clickTop(5, 5); // an ordinary click afterwards is a step of its own
    EXPECT_EQ(std::pair(editor->undoStack().count(), editor->undoStack().text(0)), std::pair(2, QStringLiteral("Place 3 Items")));
    makeEditor(), build(), apply(1, {"45"});
    editor->undo();
    EXPECT_EQ(std::pair(editor->mode(), editor->field(0).text), std::pair(editingMode, QStringLiteral("0")));
    editor->mnuObjectsDelete_Click();
    editor->undo();
    EXPECT_EQ(editor->selectedRow(), 1);
}

TEST_F(EditorUndoTest, UnsavedChangesAreGuarded)
{
    const std::tuple<SaveChoice, bool, bool> cases[] = {{SaveChoice::Save, true, true}, {SaveChoice::Save, false, false},
                                                        {SaveChoice::Discard, true, true}, {SaveChoice::Cancel, true, false}};
    for (const auto& [choice, saveSucceeds, proceeds] : cases) {
        for (const bool exit : {false, true}) {
            makeEditor();
            EXPECT_TRUE(editor->mnuFileExit_Click()); // nothing to ask yet
            place(ItemKind::PlayerStart, 2, 2);
            place(ItemKind::PlayerStart, 1, 1, saveSucceeds ? 1 : 0); // or a refused second start for player 1: the save is refused
            host.saveChoices = {choice};
            host.saveNames = {path("guard.level")};
            const int asked = host.saveQuestions;
            const bool proceeded = exit ? editor->mnuFileExit_Click() : (editor->mnuFileNew_Click(), editor->rows().empty());
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
    const QString recovery = path("data/recovery.level");
    editor->setRecoveryPath(recovery);
    EXPECT_FALSE(editor->writeRecoveryCopy()); // nothing unsaved
    place(ItemKind::PlayerStart, 10, 20), place(ItemKind::Asteroid, 30, 40);
    ASSERT_TRUE(editor->writeRecoveryCopy());
    EXPECT_FALSE(readBytes(recovery).contains("StartPos1")); // empty slots are not written
    const std::vector<ObjectRow> rows = editor->rows();
    for (const bool accept : {true, false}) { // the next run offers it; declining removes it
        makeEditor(), editor->setRecoveryPath(recovery);
        host.yesNoAnswers = {accept};
        EXPECT_EQ(editor->offerRecovery(), accept);
        EXPECT_EQ(editor->rows() == rows && editor->isModified() && editor->recentLevels().isEmpty(), accept);
        if (accept) { // so does a save
            place(ItemKind::PlayerStart, 5, 5, 1);
            host.saveNames = {path("saved.level")};
            ASSERT_TRUE(editor->mnuFileSave_Click());
            EXPECT_FALSE(QFileInfo::exists(recovery));
            writeBytes(recovery, "function DetermChunk()\nend\n");
        }
    }
    EXPECT_FALSE(QFileInfo::exists(recovery));
}

TEST_F(EditorUndoTest, RecentLevelsKeepTheLastEightAndDropMissingFiles)
{
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        paths << dir.filePath(QStringLiteral("level%1.level").arg(i));
        writeBytes(paths.last(), "function DetermChunk()\nend\n");
        ASSERT_TRUE(editor->loadFile(paths.last()));
    }
    ASSERT_EQ(editor->lastFolder(), dir.path());
    makeEditor(); // kept in the per-user settings for the next run
    ASSERT_TRUE(editor->recentLevels().size() == 8 && editor->recentLevels().first() == paths[9]);
    QFile::remove(paths[9]);
    EXPECT_FALSE(editor->openRecent(0));
    EXPECT_TRUE(host.lastMessage().contains(QLatin1String("no longer exists")) && editor->recentLevels().first() == paths[8]);
}

} // namespace
} // namespace starloom::test
