#include "EditorFixture.h"
#include "TestSupport.h"

#include "levelfile/LevelWriter.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <random>

namespace starloom::test {
namespace {

// Everything undo must give back: records, settings, rows (order, keys), selection, file text.
struct Snapshot {
    LevelDocument document;
    MapSettings settings;
    std::vector<ObjectRow> rows;
    int selected;
    QByteArray file;
    bool operator==(const Snapshot&) const = default;
};

class EditorUndoTest : public EditorTest {
public:
    using EditorTest::clickTop;
    using EditorTest::host;
    using EditorTest::place;

    Snapshot snapshot() const
    {
        ModelLists models(editor->catalogue());
        return {doc(), editor->mapSettings(), editor->rows(), editor->selectedRow(),
                writeLevel(doc(), editor->mapSettings(), models)};
    }

    QTemporaryDir dir;
    QString levelFile()
    {
        const QString path = dir.filePath(QStringLiteral("loaded.level"));
        test::writeBytes(path, "function DetermChunk()\n"
                               "  addPoint(\"StartPos1\", {5, 6, 7}, {0, 45, 0})\n"
                               "  addAsteroid(\"Asteroid_2\", {1, 2, 3}, 50, 0, 0, 0, 0)\n"
                               "  setWorldBoundsInner({0, 0, 0}, {50000, 9000, 40000})\n"
                               "end\n");
        return path;
    }

    // A small level: two starts, an asteroid, a ship, a cloud; the ship's row selected for editing.
    void build()
    {
        place(ItemKind::PlayerStart, 100, 100);
        place(ItemKind::PlayerStart, -100, -100, 1);
        place(ItemKind::Asteroid, 10, 20);
        place(ItemKind::Ship, 30, 40);
        place(ItemKind::Cloud, 50, 60);
        edit(3);
    }
};

struct UndoCase {
    const char* name;
    const char* undoText;
    std::function<void(EditorUndoTest&, Editor&)> act;
    std::function<void(Editor&)> prepare = [](Editor&) {};
};

TEST_F(EditorUndoTest, EveryChangeUndoesAndRedoesExactly)
{
    const std::vector<UndoCase> cases = {
        {"place", "Place Pebble #1", [](auto& t, Editor&) { t.place(ItemKind::Pebble, 7, 8); }},
        {"place start", "Place Player 1 start", [](auto& t, Editor&) { t.place(ItemKind::PlayerStart, 1, 2); },
         [](Editor& e) { e.selectRow(0); e.mnuObjectsDelete_Click(); }},
        {"move", "Move hgn_assaultcorvette", [](auto& t, Editor&) { t.clickTop(-500, 600); }},
        {"apply", "Apply hgn_assaultcorvette", [](auto&, Editor& e) { e.setFieldText(3, QStringLiteral("4")); e.cmdApply_Click(); }},
        {"height", "Set Height of hgn_assaultcorvette", [](auto&, Editor& e) { e.picLeft_MouseMove(0, 0, 0, 1234.5); e.picLeft_Click(); }},
        {"delete", "Delete hgn_assaultcorvette", [](auto&, Editor& e) { e.mnuObjectsDelete_Click(); }},
        {"set player", "Set Player of hgn_assaultcorvette", [](auto& t, Editor& e) { t.host.textAnswers.push_back(QStringLiteral("3")); e.mnuObjectsSetPlayer_Click(); }},
        {"load", "Load loaded.level", [](auto& t, Editor& e) { e.loadFile(t.levelFile()); }},
        {"new level", "New Level", [](auto&, Editor& e) { e.mnuFileNew_Click(); }},
    };
    for (const UndoCase& c : cases) {
        SCOPED_TRACE(c.name);
        makeEditor();
        build();
        c.prepare(*editor);
        const Snapshot before = snapshot();
        const ViewScale topBefore = editor->topScale();
        c.act(*this, *editor);
        const Snapshot after = snapshot();
        ASSERT_FALSE(after == before);
        ASSERT_TRUE(editor->undoStack().canUndo());
        EXPECT_EQ(editor->undoStack().undoText(), QLatin1String(c.undoText));
        editor->undo();
        EXPECT_TRUE(snapshot().document == before.document);
        EXPECT_TRUE(snapshot() == before);
        EXPECT_EQ(editor->topScale(), topBefore);
        editor->redo();
        EXPECT_TRUE(snapshot() == after);
    }
}

TEST_F(EditorUndoTest, ADragIsOneStep)
{
    editor->selectKind(ItemKind::Asteroid);
    editor->Picture1_MouseMove(1, 0, 100, 100);
    editor->Timer1_Timer();
    editor->Picture1_MouseMove(1, 0, 200, 200);
    editor->Timer1_Timer();
    editor->Picture1_MouseUp(1, 0, 200, 200);
    editor->Picture1_Click(); // the click that comes with the release
    EXPECT_EQ(editor->rows().size(), 3u);
    EXPECT_EQ(editor->undoStack().count(), 1);
    EXPECT_EQ(editor->undoStack().undoText(), QLatin1String("Place 3 Items"));
    clickTop(5, 5); // an ordinary click afterwards is a step of its own
    EXPECT_EQ(editor->undoStack().count(), 2);
    editor->undo();
    editor->undo();
    EXPECT_TRUE(editor->rows().empty());
    EXPECT_EQ(doc().itemCount(ItemKind::Asteroid), 0);
}

TEST_F(EditorUndoTest, UndoKeepsThePanelOnTheEditedItem)
{
    build(); // the ship is being edited
    editor->setFieldText(0, QStringLiteral("45"));
    editor->cmdApply_Click();
    editor->undo();
    EXPECT_EQ(editor->mode(), editingMode);
    EXPECT_EQ(editor->field(0).text, QLatin1String("0"));
    editor->mnuObjectsDelete_Click();
    editor->undo();
    EXPECT_EQ(editor->selectedRow(), 3);
}

TEST_F(EditorUndoTest, ARandomSessionUndoesToTheStartByteForByte)
{
    std::mt19937 rng(2024);
    build();
    const Snapshot start = snapshot();
    const int startIndex = editor->undoStack().index();
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const ItemKind kinds[] = {ItemKind::Asteroid, ItemKind::Cloud, ItemKind::Pebble, ItemKind::Ship, ItemKind::Nebula};
    for (int i = 0; i < 2000; ++i) {
        const int rows = static_cast<int>(editor->rows().size());
        switch (pick(6)) {
        case 0: place(kinds[pick(5)], pick(50000) - 25000, pick(50000) - 25000); break;
        case 1:
            if (rows > 0) {
                edit(pick(rows));
                clickTop(pick(1000), pick(1000));
            }
            break;
        case 2:
            if (rows > 0) {
                edit(pick(rows));
                editor->setFieldText(0, QString::number(pick(200)));
                editor->cmdApply_Click();
            }
            break;
        case 3:
            if (rows > 0) {
                editor->selectRow(pick(rows));
                editor->mnuObjectsDelete_Click();
            }
            break;
        case 4:
            if (rows > 0) {
                edit(pick(rows));
                editor->picLeft_MouseMove(0, 0, 0, pick(4000) - 2000);
                editor->picLeft_Click();
            }
            break;
        default:
            if (rows > 0) {
                editor->selectRow(pick(rows));
                host.textAnswers.push_back(QString::number(pick(7)));
                editor->mnuObjectsSetPlayer_Click();
            }
            break;
        }
    }
    while (editor->undoStack().index() > startIndex)
        editor->undo();
    EXPECT_EQ(snapshot().file, start.file);
    EXPECT_TRUE(snapshot().rows == start.rows);
}

TEST_F(EditorUndoTest, UnsavedChangesAreGuarded)
{
    struct GuardCase {
        const char* name;
        SaveChoice choice;
        bool saveSucceeds;
        bool proceeds;
    };
    for (const GuardCase& c : {GuardCase{"save", SaveChoice::Save, true, true},
                               GuardCase{"refused save", SaveChoice::Save, false, false},
                               GuardCase{"discard", SaveChoice::Discard, true, true},
                               GuardCase{"cancel", SaveChoice::Cancel, true, false}}) {
        SCOPED_TRACE(c.name);
        for (bool exit : {false, true}) {
            makeEditor();
            EXPECT_FALSE(editor->isModified());
            EXPECT_TRUE(editor->mnuFileExit_Click()); // nothing to ask yet
            place(ItemKind::PlayerStart, 1, 1);
            if (c.saveSucceeds)
                place(ItemKind::PlayerStart, 2, 2, 1);
            ASSERT_TRUE(editor->isModified());
            host.saveChoices.push_back(c.choice);
            host.saveNames.push_back(dir.filePath(QStringLiteral("guard.level")));
            const int asked = host.saveQuestions;
            const bool proceeded = exit ? editor->mnuFileExit_Click() : (editor->mnuFileNew_Click(), editor->rows().empty());
            EXPECT_EQ(host.saveQuestions, asked + 1);
            EXPECT_EQ(proceeded, c.proceeds);
            if (!exit && !c.proceeds)
                EXPECT_FALSE(editor->rows().empty());
        }
    }
    // Typing a new description counts as a change; a save makes the level clean again.
    makeEditor();
    editor->mapSettings().levelDesc = QStringLiteral("Other");
    EXPECT_TRUE(editor->isModified());
}

TEST_F(EditorUndoTest, RecoveryCopyFollowsUnsavedWork)
{
    const QString recovery = dir.filePath(QStringLiteral("data/recovery.level"));
    editor->setRecoveryPath(recovery);
    EXPECT_FALSE(editor->writeRecoveryCopy()); // nothing unsaved
    place(ItemKind::PlayerStart, 10, 20);
    place(ItemKind::Asteroid, 30, 40);
    ASSERT_TRUE(editor->writeRecoveryCopy());
    EXPECT_FALSE(test::readBytes(recovery).contains("StartPos1")); // empty slots are not written

    // The next run offers it and restores the work, still unsaved.
    const std::vector<ObjectRow> rows = editor->rows();
    makeEditor();
    editor->setRecoveryPath(recovery);
    host.yesNoAnswers.push_back(true);
    ASSERT_TRUE(editor->offerRecovery());
    EXPECT_EQ(editor->rows(), rows);
    EXPECT_TRUE(editor->isModified());
    EXPECT_TRUE(editor->recentLevels().isEmpty());

    // A save removes it; declining it removes it too.
    editor->selectKind(ItemKind::PlayerStart);
    editor->Combo1_Click(1);
    clickTop(5, 5);
    host.saveNames.push_back(dir.filePath(QStringLiteral("saved.level")));
    ASSERT_TRUE(editor->mnuFileSave_Click());
    EXPECT_FALSE(QFileInfo::exists(recovery));
    test::writeBytes(recovery, "function DetermChunk()\nend\n");
    makeEditor();
    editor->setRecoveryPath(recovery);
    EXPECT_FALSE(editor->offerRecovery());
    EXPECT_FALSE(QFileInfo::exists(recovery));
}

TEST_F(EditorUndoTest, RecentLevelsKeepTheLastEightAndDropMissingFiles)
{
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        paths << dir.filePath(QStringLiteral("level%1.level").arg(i));
        test::writeBytes(paths.last(), "function DetermChunk()\nend\n");
        ASSERT_TRUE(editor->loadFile(paths.last()));
    }
    ASSERT_EQ(editor->recentLevels().size(), 8);
    EXPECT_EQ(editor->recentLevels().first(), paths[9]);
    EXPECT_EQ(editor->lastFolder(), dir.path());
    // Kept in the per-user settings for the next run.
    makeEditor();
    EXPECT_EQ(editor->recentLevels().first(), paths[9]);
    QFile::remove(paths[9]);
    EXPECT_FALSE(editor->openRecent(0));
    EXPECT_TRUE(host.lastMessage().contains(QLatin1String("no longer exists")));
    EXPECT_EQ(editor->recentLevels().first(), paths[8]);
    EXPECT_TRUE(editor->openRecent(0));
}

TEST_F(EditorUndoTest, WheelZoomsAroundThePointerAndPansWithinTheWorld)
{
    editor->Picture1_MouseWheel(1, 10000, 10000);
    const ViewScale in = editor->topScale();
    EXPECT_NEAR(in.width(), 60000 / 1.25, 1);
    // The point under the pointer stays where it was on the screen (5/6 across).
    EXPECT_NEAR((10000 - in.left) / in.width(), 40000.0 / 60000.0, 1e-6);
    editor->panTopView(-100000, 0);
    EXPECT_FLOAT_EQ(editor->topScale().left, -30000);
    editor->Picture1_MouseWheel(-5, 0, 0);
    EXPECT_EQ(editor->topScale(), topScaleFor(editor->mapSettings()));
    editor->cmdZoomIn_Click();
    editor->disarmZoom();
    EXPECT_FALSE(editor->zoomArmed());
}

} // namespace
} // namespace starloom::test
