#include "EditorFixture.h"

#include "TestSupport.h"
#include "app/SettingsStore.h"
#include "levelfile/LevelWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace starloom;
using namespace starloom::test;

namespace {

class EditorFilesTest : public EditorTest {
protected:
    QTemporaryDir dir;

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    void buildLevel()
    {
        editor->mapSettings().levelDesc = QStringLiteral("Duel");
        place(ItemKind::PlayerStart, -1000, 500, 0);
        place(ItemKind::PlayerStart, 1000, -500, 1);
        place(ItemKind::Asteroid, 100, 200);
        placeCustom(ItemKind::Ship, QStringLiteral("kus_scout"), -300, 400);
        place(ItemKind::Nebula, 7, 8);
    }
};

} // namespace

TEST_F(EditorFilesTest, SaveIsRefusedWhileAPlayerHasNoStart)
{
    place(ItemKind::PlayerStart, 0, 0, 0);
    EXPECT_FALSE(editor->mnuFileSave_Click());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, missingStartsMessage());
    EXPECT_EQ(host.messages[0].title, QStringLiteral("Error"));
    EXPECT_EQ(host.saveDialogs, 0);
}

TEST_F(EditorFilesTest, SaveWritesTheLevelAndConfirmsWithItsDescription)
{
    buildLevel();
    host.saveNames = {path("duel.level")};
    EXPECT_TRUE(editor->mnuFileSave_Click());
    EXPECT_EQ(host.lastSaveFilter, QStringLiteral("LEVEL Files (*.level)"));
    EXPECT_EQ(host.lastSaveInitialName, QStringLiteral("Duel.level"));
    EXPECT_EQ(host.lastMessage(), QStringLiteral("Duel saved"));
    EXPECT_EQ(host.messages.back().title, programTitle());
    ModelLists models(editor->catalogue());
    EXPECT_EQ(readBytes(path("duel.level")), writeLevel(doc(), editor->mapSettings(), models));
    EXPECT_EQ(editor->mode(), placementMode); // saving leaves the panel alone
    EXPECT_EQ(editor->selectedKind(), ItemKind::Nebula);
}

TEST_F(EditorFilesTest, CancelledSaveWritesNothingAndSaysNothing)
{
    buildLevel();
    host.messages.clear();
    EXPECT_FALSE(editor->mnuFileSave_Click());
    EXPECT_EQ(host.saveDialogs, 1);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(EditorFilesTest, FailedSaveShowsTheReasonAndKeepsThePreviousFile)
{
    buildLevel();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("taken.level")));
    host.saveNames = {path("taken.level")};
    EXPECT_FALSE(editor->mnuFileSave_Click());
    EXPECT_TRUE(host.lastMessage().startsWith(QStringLiteral("The level could not be saved as ")));
    EXPECT_GT(host.lastMessage().indexOf(QLatin1Char('\n')), 0);
    EXPECT_TRUE(QFileInfo(path("taken.level")).isDir());

    writeBytes(path("old.level"), "previous");
    host.saveNames = {path("missing-folder/old.level")};
    EXPECT_FALSE(editor->mnuFileSave_Click());
    EXPECT_EQ(readBytes(path("old.level")), QByteArray("previous"));
}

TEST_F(EditorFilesTest, LoadRegistersEveryItemAndLeavesThePanelOnTheLastKindRead)
{
    buildLevel();
    editor->mapSettings().sizeX = QStringLiteral("40000");
    editor->mapSettings().playerIndex = 0;
    host.saveNames = {path("duel.level")};
    ASSERT_TRUE(editor->mnuFileSave_Click());
    const LevelDocument saved = doc();

    makeEditor();
    editor->cmdZoomIn_Click();
    clickTop(0, 0);
    host.messages.clear();
    host.openNames = {path("duel.level")};
    ASSERT_TRUE(editor->mnuFileLoad_Click());
    EXPECT_EQ(host.lastOpenFilter, QStringLiteral("LEVEL Files (*.level)"));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(editor->timerEnabled());

    EXPECT_EQ(editor->mapSettings().levelDesc, QStringLiteral("Duel"));
    EXPECT_EQ(editor->topScale(), (ViewScale{-40000, -30000, 40000, 30000})); // world bounds reset the zoom
    ASSERT_EQ(editor->rows().size(), 5u);
    QStringList texts;
    for (const ObjectRow& r : editor->rows())
        texts << r.text;
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Player 1 start"), QStringLiteral("Player 2 start"),
                                  QStringLiteral("Asteroid #1"), QStringLiteral("Nebula #1"),
                                  QStringLiteral("kus_scout")}));
    for (int i = 0; i < 5; ++i) {
        const ObjectRow& r = editor->rows()[static_cast<std::size_t>(i)];
        EXPECT_EQ(editor->labelFor(i).x, doc().position(r.kind, r.arrayId).x + 100);
        EXPECT_EQ(editor->labelFor(i).key, rowKey(i));
        const ItemPosition now = doc().position(r.kind, r.arrayId);
        const ItemPosition before = saved.position(r.kind, r.arrayId);
        EXPECT_EQ(now.x, before.x);
        EXPECT_EQ(now.y, before.y);
        EXPECT_EQ(now.z, before.z);
    }
    EXPECT_EQ(doc().ships()[0].customName, QStringLiteral("kus_scout"));

    // The list and the kind button agree: the last kind read is selected, in placement mode.
    EXPECT_EQ(editor->mode(), placementMode);
    const ItemKind last = editor->rows().back().kind;
    EXPECT_EQ(editor->selectedKind(), last);
    EXPECT_EQ(editor->modelList(), editor->catalogue().modelList(last));
    EXPECT_EQ(editor->modelIndex(), 0);
    clickTop(1, 1);
    EXPECT_EQ(editor->rows().back().text, QStringLiteral("hgn_assaultcorvette"));
}

TEST_F(EditorFilesTest, LoadAppendsToTheLevel)
{
    buildLevel();
    host.saveNames = {path("duel.level")};
    ASSERT_TRUE(editor->mnuFileSave_Click());
    host.openNames = {path("duel.level")};
    ASSERT_TRUE(editor->mnuFileLoad_Click());
    EXPECT_EQ(editor->rows().size(), 10u);
    EXPECT_EQ(doc().itemCount(ItemKind::Asteroid), 2);
    EXPECT_EQ(editor->rows()[7].text, QStringLiteral("Asteroid #2"));
}

TEST_F(EditorFilesTest, LoadReportsProblemsInOneMessageAndOpenFailuresWithTheReason)
{
    writeBytes(path("bad.level"), "function DetermChunk()\r\n"
                                  "  addAsteroid(\"asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\r\n"
                                  "  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\r\n"
                                  "  addCloud(\"c\", \"cloud_0\", {1, 2, 3}, {1e9, 1, 1, 1}, 0, 100)\r\n"
                                  "end\r\n");
    host.openNames = {path("bad.level")};
    ASSERT_TRUE(editor->mnuFileLoad_Click());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("line ")));
    EXPECT_EQ(editor->rows().size(), static_cast<std::size_t>(doc().liveCount(ItemKind::Asteroid) +
                                                              doc().liveCount(ItemKind::Cloud)));

    host.openNames = {path("nothing-here.level")};
    EXPECT_FALSE(editor->mnuFileLoad_Click());
    EXPECT_TRUE(host.lastMessage().startsWith(QStringLiteral("The level ")));
    EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("nothing-here.level")));

    const std::size_t rows = editor->rows().size();
    EXPECT_FALSE(editor->mnuFileLoad_Click()); // cancelled
    EXPECT_EQ(editor->rows().size(), rows);
}

TEST_F(EditorFilesTest, CorpusLevelsLoadWithOneRowPerItem)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no corpus";
    for (const QString& file : files.mid(0, 8)) {
        makeEditor();
        host.openNames = {file};
        ASSERT_TRUE(editor->mnuFileLoad_Click()) << file.toStdString();
        int live = 0;
        for (ItemKind k : arrayKinds)
            live += doc().liveCount(k);
        int rowsOfArrays = 0;
        for (const ObjectRow& r : editor->rows())
            rowsOfArrays += r.kind != ItemKind::PlayerStart;
        EXPECT_EQ(rowsOfArrays, live) << file.toStdString();
        for (int i = 0; i < editor->labelCount(); ++i)
            EXPECT_EQ(editor->rowForKey(editor->labelFor(i).key), i);
    }
}

TEST_F(EditorFilesTest, NewLevelEmptiesTheLevelButKeepsItsWorldAndKind)
{
    buildLevel();
    editor->mapSettings().playerIndex = 4;
    editor->mapSettings().sizeX = QStringLiteral("12345");
    editor->cmdZoomIn_Click();
    clickTop(0, 0);
    const ViewScale zoomed = editor->topScale();
    random.push({0.0, 0.99});
    editor->mnuFileNew_Click();
    EXPECT_TRUE(editor->rows().empty());
    EXPECT_EQ(editor->labelCount(), 0);
    LevelDocument empty;
    empty.setPlayerColours();
    EXPECT_TRUE(doc() == empty);
    EXPECT_EQ(editor->mapSettings().playerIndex, 0);
    EXPECT_EQ(editor->mapSettings().background, QStringLiteral("m01"));
    EXPECT_EQ(editor->mapSettings().music, QStringLiteral("Battle/bentus_arrival"));
    EXPECT_EQ(editor->mapSettings().levelDesc, QStringLiteral("Duel"));
    EXPECT_EQ(editor->mapSettings().sizeX, QStringLiteral("12345"));
    EXPECT_EQ(editor->selectedKind(), ItemKind::Nebula);
    EXPECT_EQ(editor->topScale(), zoomed);

    const LevelDocument once = doc();
    editor->mnuFileNew_Click();
    EXPECT_TRUE(doc() == once);
}

TEST_F(EditorFilesTest, DoneRefusesSizesThatAreNotPositiveNumbers)
{
    QSettingsStore ini(dir.filePath(QStringLiteral("settings.ini")));
    Editor e(host, ini, random.source(), QString());
    struct Case {
        const char* field;
        const char* text;
    };
    const Case cases[] = {{"SizeX", "0"}, {"SizeY", "-5"}, {"SizeZ", "abc"}, {"SizeX", ""},
                          {"Grid Size", "0"}, {"Grid Size", "10 km"}, {"SizeY", "1e999"}};
    for (const Case& c : cases) {
        e.mapSettings() = MapSettings{};
        e.setGridSize(QStringLiteral("1000"));
        const QString text = QString::fromLatin1(c.text);
        const QString field = QString::fromLatin1(c.field);
        if (field == QLatin1String("SizeX"))
            e.mapSettings().sizeX = text;
        else if (field == QLatin1String("SizeY"))
            e.mapSettings().sizeY = text;
        else if (field == QLatin1String("SizeZ"))
            e.mapSettings().sizeZ = text;
        else
            e.setGridSize(text);
        EXPECT_FALSE(e.Command1_Click()) << c.field << "=" << c.text;
        EXPECT_EQ(host.lastMessage(), field + QStringLiteral(" must be a positive number."));
        EXPECT_EQ(ini.read(gridSizeKey, QStringLiteral("unset")), QStringLiteral("unset"));
        EXPECT_EQ(e.topScale(), (ViewScale{-30000, -30000, 30000, 30000}));
    }
}

TEST_F(EditorFilesTest, DoneStoresTheDisplaySettingsAndRescalesTheViews)
{
    const QString file = dir.filePath(QStringLiteral("settings.ini"));
    {
        QSettingsStore ini(file);
        Editor e(host, ini, random.source(), QString());
        e.mapSettings().sizeX = QStringLiteral("50000");
        e.mapSettings().sizeZ = QStringLiteral("1000.9");
        e.setGridSize(QStringLiteral("1000"));
        e.setFontSizeIndex(6);
        const quint64 revision = e.revision();
        ASSERT_TRUE(e.Command1_Click());
        EXPECT_GT(e.revision(), revision);
        EXPECT_EQ(e.topScale(), (ViewScale{-50000, -30000, 50000, 30000}));
        EXPECT_EQ(e.frontScale(), (ViewScale{-50000, 1000, 50000, -1000}));
        EXPECT_EQ(e.labelFontFamily(), QStringLiteral("Arial"));
    }
    QSettingsStore again(file);
    Editor next(host, again, random.source(), QString());
    EXPECT_EQ(next.gridSize(), QStringLiteral("1000"));
    EXPECT_EQ(next.fontSizeIndex(), 6);
}
