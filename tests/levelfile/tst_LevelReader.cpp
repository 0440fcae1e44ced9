#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace starloom;

namespace {

struct SinkItem {
    ItemKind kind;
    int index;
    QString text;
    int x;
    int y;
};

struct Loaded : ReadSink {
    LevelDocument doc;
    MapSettings settings;
    Catalogue catalogue;
    ReadResult result;
    std::vector<SinkItem> items;

    void itemRead(ItemKind kind, std::int16_t index, const QString& text, std::int32_t x, std::int32_t y) override
    {
        items.push_back({kind, index, text, x, y});
    }
    void read(QByteArray bytes)
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ModelLists models(catalogue);
        result = readLevel(buffer, doc, settings, models, this);
    }
    QByteArray write()
    {
        ModelLists models(catalogue);
        return writeLevel(doc, settings, models);
    }
    bool hasProblem(const char* part) const
    {
        for (const ReadProblem& p : result.problems) {
            if (p.reason.contains(QLatin1String(part)))
                return true;
        }
        return false;
    }
};

// One call line inside a function body.
QByteArray body(const char* line)
{
    return QByteArray("function DetermChunk()\n") + line + "\nend\n";
}

TEST(LevelReader, ReadsEachKindFromItsWords)
{
    Loaded l;
    l.read(body("  addPoint(\"StartPos2\", {100, 50, -200}, {0, 90, 0})\n"
                "  addAsteroid(\"Asteroid_3\", {1, 2, 3}, 75, 0, 0, 0, 0)\n"
                "  addCloud(\"polySurface1\", \"cloud_nores\", {4, 5, 6}, {0.5, 1, 0, 1}, 0.0, 99)\n"
                "  addDustCloud(\"polySurface1\", \"my_dust\", {7, 8, 9}, {0, 0, 0, 1}, 0.0, 5)\n"
                "  addSquadron(\"MEG_TANIS\", \"MEG_TANIS\", {10, 11, 12}, -1, {0, 0, 0}, 0, 0)\n"
                "  addNebula(\"nebula_0\", \"nebula_0\", {13, 14, 15}, {1, 1, 1, 1}, 0.0, 3)\n"
                "  addSalvage(\"slv_chunk_sml02\", {16, 17, 18}, 40, 0, 0, 0, 0)\n"
                "  addSquadron(\"odd_ship\", \"odd_ship\", {19, 20, 21}, 3, {45, 10, 20}, 0, 0)\n"
                "  addPebble(\"pebble_1\", {22, 23, 24}, 0, 0, 0) "));
    const PlayerStartRecord& p = l.doc.player(2);
    EXPECT_EQ(p.label, QLatin1String("Player 3"));
    EXPECT_EQ((std::array{p.posX, p.posY, p.posZ}), (std::array{100, -200, 50}));
    EXPECT_EQ(p.orientation, 90.0f);

    const ResourceRecord& a = l.doc.resources(ItemKind::Asteroid)[0];
    EXPECT_EQ(a.modelIndex, 2); // "Asteroid_3" is the writer's name for "asteroid_3"
    EXPECT_TRUE(a.customName.isEmpty());
    EXPECT_EQ((std::array{a.posX, a.posY, a.posZ, a.resourcePercent}), (std::array{1, 3, 2, 75}));
    EXPECT_EQ(a.drawColour, rgb(154, 110, 4));

    const CloudRecord& c = l.doc.clouds(ItemKind::Cloud)[0];
    EXPECT_EQ(c.modelIndex, 1);
    EXPECT_EQ((std::array{c.red, c.green, c.blue}), (std::array<std::int16_t, 3>{128, 255, 0}));
    EXPECT_EQ(c.size, 99);

    const CloudRecord& d = l.doc.clouds(ItemKind::DustCloud)[0];
    EXPECT_EQ(d.modelIndex, -1);
    EXPECT_EQ(d.customName, QLatin1String("my_dust"));

    EXPECT_EQ(l.doc.props(ItemKind::Megalith)[0].modelIndex, 49);
    EXPECT_EQ(l.doc.clouds(ItemKind::Nebula)[0].modelIndex, 11);
    EXPECT_EQ(l.doc.resources(ItemKind::Salvage)[0].modelIndex, 6);

    const ShipRecord& s = l.doc.ships()[0];
    EXPECT_EQ(s.modelIndex, -1);
    EXPECT_EQ(s.customName, QLatin1String("odd_ship"));
    EXPECT_EQ((std::array{s.posX, s.posY, s.posZ}), (std::array{19, 21, 20}));
    EXPECT_EQ(s.player, 3);
    EXPECT_EQ((std::array{s.orientation, s.rotation1, s.rotation2}), (std::array{45, 20, 10}));
    EXPECT_EQ(l.doc.props(ItemKind::Pebble)[0].modelIndex, 1);

    ASSERT_EQ(l.items.size(), 9u);
    const std::vector<QString> texts = {"Player 3 start", "Asteroid #1", "Cloud #1", "Dust Cloud #1", "MEG_TANIS",
                                        "Nebula #1", "Salvage #1", "odd_ship", "Pebble #1"};
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(l.items[i].text, texts[i]);
    EXPECT_EQ(l.items[0].x, 100);
    EXPECT_EQ(l.items[0].y, -200);
    EXPECT_EQ(l.result.lastKind, ItemKind::Pebble);
    EXPECT_TRUE(l.result.problems.empty()) << problemsText(l.result.problems).toStdString();
}

TEST(LevelReader, NamesInNoListAreKeptForEveryKind)
{
    Loaded l;
    l.read(body("  addCloud(\"p\", \"cloud_mod\", {1, 2, 3}, {0, 0, 0, 1}, 0.0, 5)\n"
                "  addSquadron(\"meg_modded\", \"meg_modded\", {1, 2, 3}, -1, {0, 0, 0}, 0, 0)\n"
                "  addPebble(\"rock\", {1, 2, 3}, 0, 0, 0)"));
    EXPECT_EQ(l.doc.clouds(ItemKind::Cloud)[0].customName, QLatin1String("cloud_mod"));
    EXPECT_EQ(l.doc.props(ItemKind::Megalith)[0].customName, QLatin1String("meg_modded"));
    EXPECT_EQ(l.doc.props(ItemKind::Pebble)[0].customName, QLatin1String("rock"));
    l.doc.player(0).label = QStringLiteral("Player 1");
    const QByteArray out = l.write();
    EXPECT_TRUE(out.contains("addCloud(\"polySurface1\", \"cloud_mod\""));
    EXPECT_TRUE(out.contains("addSquadron(\"meg_modded\", \"meg_modded\""));
    EXPECT_TRUE(out.contains("addPebble(\"rock\""));
}

TEST(LevelReader, NamesBuiltByTheScriptSkipTheItem)
{
    Loaded l;
    l.read(body("  addCloud(iCount.kind, iCount.type, {1, 2, 3}, iCount.color, 0.0, 5)\n"
                "  addPebble(k, {1, 2, 3}, 0, 0, 0)\n"
                "  addSquadron(\"\", \"\", {1, 2, 3}, -1, {0, 0, 0}, 0, 0)"));
    EXPECT_EQ(l.doc.itemCount(ItemKind::Cloud), 0);
    EXPECT_EQ(l.doc.itemCount(ItemKind::Pebble), 0);
    EXPECT_EQ(l.doc.itemCount(ItemKind::Ship), 0);
    EXPECT_EQ(l.result.problems.size(), 3u);
    EXPECT_TRUE(l.hasProblem("not a quoted text"));
}

TEST(LevelReader, LinesOutsideFunctionsAndUnknownCallsAreIgnored)
{
    Loaded l;
    l.read("addSquadron(\"hgn_interceptor\", \"hgn_interceptor\", {1, 2, 3}, 0, {0, 0, 0}, 0, 0)\n"
           "function DetermChunk()\n"
           "  fogSetActive(0)\n"
           "  addPlanet(\"x\", {1, 2, 3})\n"
           "  -- addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n"
           "end\n"
           "addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n");
    EXPECT_EQ(l.doc.itemCount(ItemKind::Ship), 0);
    EXPECT_EQ(l.doc.itemCount(ItemKind::Asteroid), 0);
    EXPECT_TRUE(l.items.empty());
}

TEST(LevelReader, GlobalsAndSettings)
{
    Loaded l;
    l.read("levelDesc = \"My Map\"\nmaxPlayers = 4\n"
           "function NonDetermChunk()\n"
           "  setWorldBoundsInner({0, 0, 0}, {40000, 15000, 35000})\n"
           "  loadBackground(\"m07\")\n"
           "  setSensorsManagerCameraDistances(4000, 100000)\n"
           "  setDefaultMusic(\"Data:sound/music/Battle/battle_06\")\n"
           "end\n");
    EXPECT_EQ(l.settings.levelDesc, QLatin1String("My Map"));
    EXPECT_EQ(l.settings.playerIndex, 2);
    EXPECT_EQ((std::array{l.settings.sizeX, l.settings.sizeY, l.settings.sizeZ}),
              (std::array<QString, 3>{"40000", "35000", "15000"}));
    EXPECT_EQ(l.settings.background, QLatin1String("m07"));
    EXPECT_EQ(l.settings.cameraMin, QLatin1String("4000"));
    EXPECT_EQ(l.settings.cameraMax, QLatin1String("100000"));
    EXPECT_EQ(l.settings.music, QLatin1String("Battle/battle_06"));
    EXPECT_TRUE(l.result.worldBoundsRead);
}

TEST(LevelReader, LoadingAppendsToWhatIsThere)
{
    Loaded l;
    const QByteArray file = body("  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n"
                                 "  addPoint(\"StartPos0\", {0, 0, 0}, {0, 0, 0})");
    l.read(file);
    l.read(file);
    EXPECT_EQ(l.doc.itemCount(ItemKind::Asteroid), 2);
    ASSERT_EQ(l.items.size(), 4u);
    EXPECT_EQ(l.items[2].text, QLatin1String("Asteroid #2"));
    EXPECT_EQ(l.items[3].text, QLatin1String("Player 1 start"));
}

struct ProblemCase {
    const char* name;
    QByteArray file;
    const char* problem; // part of the reason; nullptr for none
    int asteroids;
};

class ProblemTest : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(ProblemTest, BadInputIsSkippedOrClampedAndReported)
{
    const ProblemCase& c = GetParam();
    Loaded l;
    l.read(c.file);
    if (c.problem)
        EXPECT_TRUE(l.hasProblem(c.problem)) << problemsText(l.result.problems).toStdString();
    else
        EXPECT_TRUE(l.result.problems.empty()) << problemsText(l.result.problems).toStdString();
    EXPECT_EQ(l.doc.itemCount(ItemKind::Asteroid), c.asteroids);
    EXPECT_EQ(int(l.items.size()), l.result.itemsRead);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProblemTest,
    ::testing::Values(
        ProblemCase{"empty", "", nullptr, 0},
        ProblemCase{"slot99", body("addPoint(\"StartPos99\", {1, 2, 3}, {0, 0, 0})"), "no player slot", 0},
        ProblemCase{"slotMinus1", body("addPoint(\"StartPos-1\", {1, 2, 3}, {0, 0, 0})"), "no player slot", 0},
        ProblemCase{"maxPlayers40", "maxPlayers = 40\n", "outside 2 to 6", 0},
        ProblemCase{"hugeNumber", body("addAsteroid(\"a\", {1e309, 0, 0}, 100, 0, 0, 0, 0)"), "32-bit", 1},
        ProblemCase{"notANumber", body("addAsteroid(\"a\", {0x10, --5, 1.5.5}, -nan, 0, 0, 0, 0)"), "not a number", 1},
        ProblemCase{"colour1000", body("addCloud(\"p\", \"cloud_0\", {0, 0, 0}, {1000, 0, 0, 1}, 0.0, 1)"), "out of range", 0},
        ProblemCase{"bytecode", QByteArray("\x1bLua\x40\x01\x04\x04", 8) + QByteArray(100, '\0'), "bytecode", 0},
        ProblemCase{"binary", QByteArray("abc\0\x01\x02", 6), "not a text file", 0},
        ProblemCase{"nulInLine", body("addAsteroid(\"a\", {1, 2, 3}, 100, 0, 0, 0, 0)").replace("addAsteroid(\"a\"", QByteArray("addAsteroid(\"a\0\"", 16)), "NUL", 0},
        ProblemCase{"longLine", body(QByteArray(40000, 'x').prepend("addAsteroid(\"a\", {1, 2, 3}, 100) -- ").constData()), "longer than", 0},
        ProblemCase{"unterminated", body("addAsteroid(\"a, {1, 2, 3}, 100, 0, 0, 0, 0"), "not a quoted text", 0},
        ProblemCase{"unterminatedBrace", body("addAsteroid(\"a\", {1, 2, 3, 100, 0, 0, 0, 0)"), nullptr, 1},
        ProblemCase{"unclosedCallAtTheEnd", "function F()\naddAsteroid(\"a\", {1, 2, 3}, 100", nullptr, 1},
        ProblemCase{"unclosedCallBeforeTheNextCall",
                    body("addAsteroid(\"a\", {1, 2, 3}, 100, 0, 0, 0, 0\naddAsteroid(\"b\", {4, 5, 6}, 100, 0, 0, 0, 0)"),
                    nullptr, 2},
        ProblemCase{"worldBoundsExpression", body("setWorldBoundsInner({0, 0, 0}, {size, 1, 2})"), "world size X", 0}),
    [](const ::testing::TestParamInfo<ProblemCase>& info) { return std::string(info.param.name); });

TEST(LevelReader, CallsSplitOverLinesAreJoined)
{
    Loaded l;
    l.read(body("  addAsteroid(\"Asteroid_3\", {-10294,\n  -119,\n  1150}, 100, 0, 0, 0, 0);\n"
                "  addPoint(\"StartPos0\", \n  { 100000, 0, 11000} , \n  { 0, -90, 0, })"));
    const ResourceRecord& a = l.doc.resources(ItemKind::Asteroid)[0];
    EXPECT_EQ((std::array{a.posX, a.posY, a.posZ, a.resourcePercent}), (std::array{-10294, 1150, -119, 100}));
    EXPECT_EQ(l.doc.player(0).posX, 100000);
    EXPECT_EQ(l.doc.player(0).orientation, -90.0f);
    EXPECT_TRUE(l.result.problems.empty()) << problemsText(l.result.problems).toStdString();
}

TEST(LevelReader, AJoinStopsAtTheEndOfAFunction)
{
    Loaded l;
    l.read(body("  addAsteroid(\"a\", {1, 2, 3}, 100\nend\nfunction X()\n  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)"));
    EXPECT_EQ(l.doc.itemCount(ItemKind::Asteroid), 1);
    EXPECT_EQ(l.doc.itemCount(ItemKind::Pebble), 1);
}

TEST(LevelReader, LineEndsAndByteOrderMark)
{
    for (const QByteArray& file :
         {QByteArray("function F()\r\naddPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\r\nend\r\n"),
          QByteArray("\xEF\xBB\xBF" "function F()\naddPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\nend"),
          QByteArray("function F()\naddPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)")}) {
        Loaded l;
        l.read(file);
        EXPECT_EQ(l.doc.itemCount(ItemKind::Pebble), 1) << file.constData();
        EXPECT_TRUE(l.result.problems.empty());
    }
}

TEST(LevelReader, EightBitTextRoundTrips)
{
    Loaded l;
    l.read("levelDesc = \"Caf\xe9 \xff\"\n");
    EXPECT_EQ(l.write().mid(0, 200).contains("levelDesc = \"Caf\xe9 \xff\"\r\n"), true);
}

TEST(LevelReader, EscapedDescriptionRoundTrips)
{
    Loaded first;
    first.settings.levelDesc = QStringLiteral("Say \"hi\" \\o/");
    first.doc.player(0).label = QStringLiteral("Player 1");
    Loaded second;
    second.read(first.write());
    EXPECT_EQ(second.settings.levelDesc, first.settings.levelDesc);
    // A plain description in the reader's forgiving form.
    Loaded third;
    third.read("levelDesc = \"Hellfire\";\n");
    EXPECT_EQ(third.settings.levelDesc, QLatin1String("Hellfire"));
}

TEST(LevelReader, ModelNamesComeBackAsThemselves)
{
    Loaded l;
    l.read(body("  addSquadron(\"hgn_assaultcorvette\", \"hgn_assaultcorvette\", {0, 0, 0}, 0, {0, 0, 0}, 0, 0)\n"
                "  addSquadron(\"meg_bentus_ruin_1\", \"meg_bentus_ruin_1\", {0, 0, 0}, -1, {0, 0, 0}, 0, 0)\n"
                "  addSquadron(\"assaultcorvette\", \"assaultcorvette\", {0, 0, 0}, 0, {0, 0, 0}, 0, 0)"));
    EXPECT_EQ(l.doc.ships()[0].modelIndex, 0);
    EXPECT_EQ(l.doc.props(ItemKind::Megalith)[0].modelIndex, 5);
    EXPECT_EQ(l.doc.ships()[1].modelIndex, 1); // containment when nothing is equal
}

TEST(LevelReader, CustomNebulaRoundTrips)
{
    Loaded first;
    first.doc.player(0).label = QStringLiteral("Player 1");
    first.doc.player(1).label = QStringLiteral("Player 2");
    CloudRecord n;
    n.modelIndex = -1;
    n.customName = QStringLiteral("weird_nebula");
    n.posX = 1;
    n.posY = 2;
    n.posZ = 3;
    n.red = 10;
    n.size = 44;
    first.doc.appendItem(ItemKind::Nebula, n);
    Loaded second;
    second.read(first.write());
    const CloudRecord& back = second.doc.clouds(ItemKind::Nebula)[0];
    EXPECT_EQ(back.customName, n.customName);
    EXPECT_EQ((std::array{back.posX, back.posY, back.posZ, back.size}), (std::array{1, 2, 3, 44}));
    EXPECT_EQ(back.red, 10);
}

TEST(LevelReader, WriteReadWriteGivesTheSameBytes)
{
    Loaded first;
    first.settings.background = QStringLiteral("m05");
    first.settings.music = QStringLiteral("Ambient/amb_02");
    first.settings.playerIndex = 1;
    for (int slot = 0; slot < 3; ++slot)
        first.doc.player(slot) = {QStringLiteral("Player %1").arg(slot + 1), slot * 100, -slot, 7, 12.25f * float(slot), playerColour(slot)};
    for (ItemKind kind : arrayKinds) {
        for (int i = 0; i < 3; ++i) {
            const int v = typeIdOf(kind) * 1000 + i;
            first.doc.visit(kind, 0, [&](auto& sample) {
                auto r = std::decay_t<decltype(sample)>{};
                r.posX = v;
                r.posY = -v;
                r.posZ = i;
                r.drawColour = kindInfo(kind).drawColour;
                if constexpr (std::is_same_v<decltype(r), ShipRecord>) {
                    r.modelIndex = static_cast<std::int16_t>(i);
                    r.player = 1;
                    r.orientation = 90;
                    r.rotation1 = -5;
                    r.rotation2 = 6;
                } else if constexpr (std::is_same_v<decltype(r), CloudRecord>) {
                    r.red = 10;
                    r.green = 128;
                    r.blue = 255;
                    r.size = 500;
                } else if constexpr (std::is_same_v<decltype(r), ResourceRecord>) {
                    r.resourcePercent = 90;
                    r.modelIndex = static_cast<std::int16_t>(i);
                }
                if constexpr (!std::is_same_v<decltype(r), PlayerStartRecord>)
                    first.doc.appendItem(kind, r);
            });
        }
        first.doc.markDeleted(kind, 1);
    }
    const QByteArray once = first.write();
    Loaded second;
    second.read(once);
    EXPECT_TRUE(second.result.problems.empty()) << problemsText(second.result.problems).toStdString();
    EXPECT_EQ(second.write(), once);
}

TEST(LevelReader, ReadLevelFileReportsWhyAFileCannotBeOpened)
{
    QTemporaryDir dir;
    LevelDocument doc;
    MapSettings settings;
    Catalogue catalogue;
    ModelLists models(catalogue);
    QString error;
    EXPECT_FALSE(readLevelFile(dir.path(), doc, settings, models, nullptr, &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("folder")));
    EXPECT_FALSE(readLevelFile(dir.filePath(QStringLiteral("none.level")), doc, settings, models, nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(LevelReader, ProblemsTextIsLimited)
{
    std::vector<ReadProblem> problems;
    for (int i = 1; i <= 30; ++i)
        problems.push_back({i, QStringLiteral("bad")});
    const QString text = problemsText(problems, 5);
    EXPECT_TRUE(text.startsWith(QLatin1String("line 1: bad\n")));
    EXPECT_TRUE(text.endsWith(QLatin1String("... and 25 more")));
}

} // namespace
