#include "LevelIO.h"

#include "document/ItemFields.h"
#include "document/ModelSource.h"
#include "levelfile/GameFunctions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFileInfo>

#include <functional>

using namespace starloom;
using namespace starloom::test;
using ::testing::ElementsAre;
using ::testing::FieldsAre;

namespace {

TEST(LevelReader, ReadsEachKindFromItsArguments)
{
    LevelIO l;
    l.read(body("  addPoint(\"StartPos2\", {100, 50, -200}, {0, 90, 0})\n"
                "  addAsteroid(\"Asteroid_3\", {1, 2, 3}, 75, 0, 0, 0, 0)\n"
                "  addCloud(\"polySurface1\", \"cloud_nores\", {4, 5, 6}, {0.5, 1, 0, 1}, 0.0, 99)\n"
                "  addDustCloud(\"polySurface1\", \"my_dust\", {7, 8, 9}, {0, 0, 0, 1}, 0.0, 5)\n"
                "  addSquadron(\"MEG_TANIS\", \"MEG_TANIS\", {10, 11, 12}, -1, {0, 0, 0}, 0, 0)\n"
                "  addNebula(\"nebula_0\", \"nebula_0\", {13, 14, 15}, {1, 1, 1, 1}, 0.0, 3)\n"
                "  addSalvage(\"slv_chunk_sml02\", {16, 17, 18}, 40, 0, 0, 0, 0)\n"
                "  addSquadron(\"odd_ship\", \"odd_ship\", {19, 20, 21}, 3, {45, 10, 20}, 0, 0)\n"
                "  addPebble(\"pebble_1\", {22, 23, 24}, 0, 0, 0) "));
    const PlayerStartRecord& p = l.document.player(2);
    EXPECT_THAT(
        p, FieldsAre(QStringLiteral("Player 3"), 100, -200, 50, 90.0f, 0, Chunk::Other, SharedValue<ItemSource>()));
    const ResourceRecord& a =
        l.document.resources(ItemKind::Asteroid)[0]; // "Asteroid_3" is the writer's name for "asteroid_3"
    EXPECT_EQ(a.modelIndex, 2);
    EXPECT_EQ(a.customName, QString());
    EXPECT_THAT((std::array{a.posX, a.posY, a.posZ, a.resourcePercent}), ElementsAre(1, 3, 2, 75));
    const CloudRecord& c = l.document.clouds(ItemKind::Cloud)[0];
    EXPECT_THAT((std::array<int, 5>{c.modelIndex, c.red, c.green, c.blue, c.size}), ElementsAre(1, 128, 255, 0, 99));
    EXPECT_EQ(l.document.clouds(ItemKind::DustCloud)[0].customName, QStringLiteral("my_dust"));
    EXPECT_EQ(l.document.props(ItemKind::Megalith)[0].modelIndex, 49);
    EXPECT_EQ(l.document.clouds(ItemKind::Nebula)[0].modelIndex, 11);
    EXPECT_EQ(l.document.resources(ItemKind::Salvage)[0].modelIndex, 6);
    EXPECT_EQ(l.document.props(ItemKind::Pebble)[0].modelIndex, 1);
    const ShipRecord& s = l.document.ships()[0];
    EXPECT_EQ(s.customName, QStringLiteral("odd_ship"));
    EXPECT_THAT((std::array{s.posX, s.posY, s.posZ, int(s.player), s.orientation, s.rotation1, s.rotation2}),
        ElementsAre(19, 21, 20, 3, 45, 20, 10));
    EXPECT_THAT(itemTexts(l),
        ElementsAre("Player 3 start", "Asteroid #1", "Cloud #1", "Dust Cloud #1", "MEG_TANIS", "Nebula #1",
            "Salvage #1", "odd_ship", "Pebble #1"));
    EXPECT_EQ(l.result.lastKind, ItemKind::Pebble);
    EXPECT_TRUE(l.result.problems.empty()) << l.problems();
    // Lines the writer writes itself keep nothing beyond their records.
    EXPECT_FALSE(a.source);
    EXPECT_FALSE(s.source);
}

// The items and kept calls of a second file are added; its globals and player table replace the first's.
TEST(LevelReader, LoadingAppendsToWhatIsThere)
{
    LevelIO l;
    const QByteArray items = body("  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n"
                                  "  addPoint(\"StartPos0\", {0, 0, 0}, {0, 0, 0})\n  addSphere(\"s\", {0, 0, 0}, 5)");
    QByteArray first = "levelDesc = \"First\"\nmaxPlayers = 3\nplayer = {}\n";
    for (int i = 0; i < 3; ++i)
        first += QStringLiteral("player[%1] = {id = %1, name = \"P%1\", resources = 750, raceID = 1, startPos = 1}\n")
                     .arg(i)
                     .toLatin1();
    l.read(first + items);
    EXPECT_EQ(players(l).entries().size(), 3u);
    l.read(
        "levelDesc = \"Second\"\nmaxPlayers = 2\nplayer = {\n  {id = 0, name = \"Q0\", resources = 5000, raceID = 2},\n"
        "  {id = 1, name = \"Q1\", resources = 6000, raceID = 2},\n}\n"
        + items);
    EXPECT_EQ(l.document.itemCount(ItemKind::Asteroid), 2);
    EXPECT_THAT(itemTexts(l), ElementsAre("Asteroid #1", "Player 1 start", "Asteroid #2", "Player 1 start"));
    EXPECT_EQ(l.settings.keptCalls.size(), 2u);
    EXPECT_EQ(l.settings.levelDesc, QStringLiteral("Second"));
    EXPECT_EQ(l.settings.playerCount(), 2);
    EXPECT_TRUE(players(l).isListForm());
    ASSERT_EQ(players(l).entries().size(), 2u);
    EXPECT_THAT((QStringList{players(l).text(0, PlayerTable::Field::Resources),
                    players(l).text(1, PlayerTable::Field::Name), players(l).text(1, PlayerTable::Field::Race)}),
        ElementsAre("5000", "Q1", "2"));
}

// Files with the problem reported (part of the reason; nullptr for none) and the items they hold.
struct ProblemCase {
    const char* name;
    QByteArray file;
    const char* problem;
    int items;
};

class ProblemTest : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(ProblemTest, ReportsTheProblem)
{
    const ProblemCase& c = GetParam();
    LevelIO l;
    l.read(c.file);
    if (c.problem) {
        EXPECT_TRUE(l.hasProblem(c.problem)) << l.problems();
    } else {
        EXPECT_TRUE(l.result.problems.empty()) << l.problems();
    }
}

TEST_P(ProblemTest, KeepsTheItemsLeftAfterSkippingOrClamping)
{
    const ProblemCase& c = GetParam();
    LevelIO l;
    l.read(c.file);
    int inDocument = 0;
    for (ItemKind kind : arrayKinds)
        inDocument += l.document.itemCount(kind);
    for (int slot = 0; slot < playerSlots; ++slot)
        inDocument += !l.document.player(slot).label.isEmpty();
    EXPECT_EQ(inDocument, c.items);
    EXPECT_EQ(int(l.rows.size()), c.items);
    EXPECT_EQ(l.result.itemsRead, c.items);
}

const char* const pebble = "addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)";

INSTANTIATE_TEST_SUITE_P(Files, ProblemTest,
    ::testing::Values(ProblemCase{"empty", "", nullptr, 0},
        ProblemCase{"crlf", QByteArray("function NonDetermChunk()\r\n") + pebble + "\r\nend\r\n", nullptr, 1},
        ProblemCase{"bom",
            QByteArray("\xEF\xBB\xBF"
                       "function NonDetermChunk()\n")
                + pebble + "\nend",
            "byte-order mark", 1},
        ProblemCase{"helperFunction", QByteArray("function F()\n") + pebble + "\nend", "1 helper function", 0},
        ProblemCase{"callInAHelperFunction", QByteArray("function F()\n") + pebble + "\nend",
            "addPebble is called in the function F, not in DetermChunk or NonDetermChunk", 0},
        ProblemCase{"callInAFunctionMadeInAChunk",
            QByteArray("function NonDetermChunk()\nlocal f = function() ") + pebble + " end\nend",
            "addPebble is called in a function the script makes", 0},
        ProblemCase{"blockUnderIfNil", QByteArray("function NonDetermChunk()\nif nil then ") + pebble + " end\nend",
            "which the game never runs", 0},
        ProblemCase{"helperCalledWithAString",
            QByteArray("print \"a\"\nfunction NonDetermChunk()\n") + pebble + "\nend", "1 other statement", 1},
        ProblemCase{
            "chunkAssignedAFunction", QByteArray("NonDetermChunk = function()\n") + pebble + "\nend", nullptr, 1},
        ProblemCase{"startPointPlacedTwice",
            "function DetermChunk()\naddPoint(\"StartPos0\", {0, 0, 0}, {0, 0, 0})\n"
            "addPoint(\"StartPos0\", {5, 0, 0}, {0, 0, 0})\nend",
            "StartPos0 is placed again (first at line 2): the game takes the first as Player 1's start; this one is "
            "kept as a call",
            1},
        ProblemCase{"missingEnd", QByteArray("function NonDetermChunk()\n") + pebble, "\"end\" expected", 1},
        ProblemCase{"outsideFunctions",
            "addSquadron(\"hgn_interceptor\", \"hgn_interceptor\", {1, 2, 3}, 0, {0, 0, 0}, 0, 0)\n"
            "function DetermChunk()\n  -- addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\nend\n",
            "outside the functions DetermChunk and NonDetermChunk", 0},
        ProblemCase{"computedArguments",
            body("  addCloud(iCount.kind, iCount.type, {1, 2, 3}, iCount.color, 0.0, 5)\n"
                 "  addPebble(k, {1, 2, 3}, 0, 0, 0)\n  addAsteroid(\"a\", {241*2, 0, 0}, 100, 0, 0, 0, 0)\n"
                 "  addSalvage(\"b\" .. i, {1, 2, 3}, 100, 0, 0, 0, 0)\n  addPebble(\"pebble_1\", {1, 2, 3}, 0, 0, 0)"),
            "4 calls whose arguments the script computes were skipped", 1},
        // The file's own notes are kept past the cap on listed problems.
        ProblemCase{"manyComputedArguments",
            body(QByteArray("  addPebble(k, {1, 2, 3}, 0, 0, 0)\n").repeated(1001).constData()),
            "1001 calls whose arguments the script computes were skipped", 0},
        ProblemCase{"modelNotAText", body("  addSquadron(\"x\", 5, {1, 2, 3}, -1, {0, 0, 0}, 0, 0)"),
            "is not a quoted text", 0},
        ProblemCase{"slot9", body("addPoint(\"StartPos9\", {1, 2, 3}, {0, 0, 0})"), "no player slot", 0},
        ProblemCase{"slotMinus1", body("addPoint(\"StartPos-1\", {1, 2, 3}, {0, 0, 0})"), "no player slot", 0},
        ProblemCase{"maxPlayers40", "maxPlayers = 40\n", "outside 2 to 8", 0},
        ProblemCase{"maxPlayersComputed", "maxPlayers = 2 + 4\n", "maxPlayers is computed", 0},
        ProblemCase{"hugeNumber", body("addAsteroid(\"a\", {1e309, 0, 0}, 100, 0, 0, 0, 0)"), "32-bit", 1},
        ProblemCase{"notANumber", body("addAsteroid(\"a\", {\"x\", nil, {}}, 100, 0, 0, 0, 0)"), "not a number", 1},
        ProblemCase{"colour1000", body("addCloud(\"p\", \"cloud_0\", {0, 0, 0}, {1000, 0, 0, 1}, 0.0, 1)"),
            "the red component 1000 is outside 0 to 1; the call is saved as it was read", 1},
        ProblemCase{"colourWithinTheShortRange",
            body("addCloud(\"p\", \"cloud_0\", {0, 0, 0}, {98, 133, 0, 50}, 0.0, 1)"),
            "the red component 98 is outside 0 to 1", 1},
        ProblemCase{"positionNotATable", body("addAsteroid(\"a\", nil, 100, 0, 0, 0, 0)"),
            "the position nil is not a table of three numbers; the map uses 0, 0, 0, and the call is saved as it was "
            "read",
            1},
        ProblemCase{"positionBeyond32Bits", body("addAsteroid(\"a\", {4294967296, 0, 0}, 100, 0, 0, 0, 0)"),
            "the x position 4294967296 is outside the 32-bit range; the map uses 2147483647, and the call is saved as "
            "it was read",
            1},
        ProblemCase{"positionWithAHole", body("addAsteroid(\"a\", {nil, 0, 0}, 100, 0, 0, 0, 0)"),
            "the x position is missing; the map uses 0, and the call is saved as it was read unless the item is "
            "changed",
            1},
        ProblemCase{"cameraDistanceMissing", body("setSensorsManagerCameraDistances(7000)"),
            "the maximum camera distance is missing; the Level Settings show 230000, and the call is saved as it "
            "was read until they are changed",
            0},
        ProblemCase{
            "maxPlayersNotANumber", "maxPlayers = \"many\"\n", "maxPlayers \"many\" is not a player count; kept", 0},
        ProblemCase{"bytecode", QByteArray("\x1bLua\x40\x01\x04\x04", 8) + QByteArray(100, '\0'), "bytecode", 0},
        ProblemCase{"binary", QByteArray("abc\0\x01\x02", 6), "not a text file", 0},
        ProblemCase{"invalidCharacter", body("addAsteroid(\"a\", {1, 2, 3}, 100, 0, 0, 0, 0) @\n" + QByteArray(pebble)),
            "cannot appear in Lua code", 2},
        ProblemCase{
            "unterminatedString", body("addAsteroid(\"a, {1, 2, 3}, 100, 0, 0, 0, 0)"), "not closed on its line", 0},
        // Lua cannot read these files; the values are plain, so they are kept and the problem said.
        ProblemCase{
            "unterminatedBrace", body("addAsteroid(\"a\", {1, 2, 3, 100, 0, 0, 0, 0)"), "\"{\" is not closed", 1},
        ProblemCase{"unclosedCallBeforeTheNextCall",
            body("addAsteroid(\"a\", {1, 2, 3}, 100, 0, 0, 0, 0\naddAsteroid(\"b\", {4, 5, 6}, 100, 0, 0, 0, 0)"),
            "\")\" is missing", 2},
        ProblemCase{"nestedTooDeep", "function DetermChunk()\n" + QByteArray(300, ' ').replace(" ", "do ") + pebble,
            "nested more than", 0},
        ProblemCase{
            "worldBoundsExpression", body("setWorldBoundsInner({0, 0, 0}, {size, 1, 2})"), "computed by the script", 0},
        ProblemCase{"chunkDefinedTwice",
            QByteArray("function NonDetermChunk()\n") + pebble + "\nend\nfunction NonDetermChunk()\nend\n",
            "NonDetermChunk is defined again on line 4, and the game runs only its last definition: the calls of "
            "this one were not read",
            0},
        ProblemCase{"callInALoop", body("for i = 1, 3 do\n  " + QByteArray(pebble) + "\nend"), "read once", 1}),
    [](const ::testing::TestParamInfo<ProblemCase>& instance) { return std::string(instance.param.name); });

namespace {

QByteArray asteroidAt(int x)
{
    return "  addAsteroid(\"Asteroid_1\", {" + QByteArray::number(x) + ", 0, 0}, 100, 0, 0, 0, 0)\n";
}

std::vector<int> asteroidXs(const LevelIO& l)
{
    std::vector<int> xs;
    for (int i = 0; i < l.document.itemCount(ItemKind::Asteroid); ++i)
        xs.push_back(l.document.resources(ItemKind::Asteroid)[static_cast<std::size_t>(i)].posX);
    return xs;
}

} // namespace

// The game runs only the last definition of a chunk: its calls alone are read, however the chunk
// is defined, and each definition left out is named with the line of the one that replaces it.
TEST(LevelReader, OnlyTheLastDefinitionOfAChunkIsRead)
{
    struct Case {
        const char* name;
        QByteArray file;
        std::vector<int> xs;
        std::vector<const char*> problems;
    };
    const QByteArray determ = "function DetermChunk()\n";
    const std::vector<Case> cases{
        {"two statements", determ + asteroidAt(1) + "end\n" + determ + asteroidAt(2) + asteroidAt(3) + "end\n", {2, 3},
            {"DetermChunk is defined again on line 4"}},
        {"assigned, then a statement",
            "DetermChunk = function()\n" + asteroidAt(1) + "end\n" + determ + asteroidAt(2) + "end\n", {2},
            {"DetermChunk is defined again on line 4"}},
        {"a statement, then assigned",
            determ + asteroidAt(1) + "end\nDetermChunk = function()\n" + asteroidAt(2) + "end\n", {2},
            {"DetermChunk is defined again on line 4"}},
        {"three times",
            determ + asteroidAt(1) + "end\n" + determ + asteroidAt(2) + "end\n" + determ + asteroidAt(3) + "end\n", {3},
            {"DetermChunk is defined again on line 7"}},
        {"each chunk once, the other twice",
            "function NonDetermChunk()\n" + asteroidAt(1) + "end\n" + determ + asteroidAt(2) + "end\n"
                + "function NonDetermChunk()\n" + asteroidAt(3) + "end\n",
            {2, 3}, {"NonDetermChunk is defined again on line 7"}},
        {"a local function of the same name is no chunk",
            "local function DetermChunk()\nend\n" + determ + asteroidAt(2) + "end\n", {2}, {}},
    };
    for (const Case& c : cases) {
        LevelIO l;
        l.read(c.file);
        EXPECT_EQ(asteroidXs(l), c.xs) << c.name;
        for (const char* problem : c.problems)
            EXPECT_TRUE(l.hasProblem(problem)) << c.name << ": " << problem << "\n" << l.problems();
        EXPECT_EQ(l.hasProblem("defined again"), !c.problems.empty()) << c.name;
    }
    // Load Level into a level with items: they stay, once.
    LevelIO l;
    l.read(determ + asteroidAt(7) + "end\n");
    l.read(determ + asteroidAt(1) + "end\n" + determ + asteroidAt(2) + "end\n");
    EXPECT_EQ(asteroidXs(l), (std::vector<int>{7, 2}));
    EXPECT_EQ(l.rows.size(), 2u);
}

// What the user changes is written into the call as the file gave it; the rest stays as written.
TEST(LevelReader, EditedValuesGoIntoTheCallsAsRead)
{
    LevelIO l;
    l.read(body("  addAsteroid(\"Asteroid_2\", {1.25, 2, 3}, 100, 12.5, -3, 45, 1)\n"
                "  addNebula(\"Veil\", \"nebula_0\", {1, 2, 3}, {1, 0.5, 0, 0.25}, 0, 8000)\n"
                "  addSquadron(\"Alpha\", \"hgn_scout\", {4, 5, 6}, 2, {10.5, 20, 30}, 1, 0)"));
    ResourceRecord& asteroid = l.document.resources(ItemKind::Asteroid)[0];
    asteroid.resourcePercent = 55;
    asteroid.posY = 9;
    CloudRecord& nebula = l.document.clouds(ItemKind::Nebula)[0];
    nebula.green = 255;
    nebula.modelIndex = 0;
    ShipRecord& ship = l.document.ships()[0];
    ship.rotation1 = 31;
    const QByteArray out = l.write();
    EXPECT_TRUE(out.contains("  addAsteroid(\"Asteroid_2\", {1.25, 2, 9}, 55, 12.5, -3, 45, 1)\r\n"))
        << out.constData();
    EXPECT_TRUE(
        out.contains("  addNebula(\"Veil\", \"m05_dustcloud_nebula\", {1, 2, 3}, {1, 1, 0, 0.25}, 0, 8000)\r\n"))
        << out.constData();
    EXPECT_TRUE(out.contains("  addSquadron(\"Alpha\", \"hgn_scout\", {4, 5, 6}, 2, {10.5, 20, 31}, 1, 0)\r\n"))
        << out.constData();
}

// Files read as defined that survive a save and a load: the same level and the same bytes again.
struct RoundTripCase {
    const char* name;
    QByteArray file;
    std::function<void(LevelIO&)> expect;
};

class RoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTest, ReadsAsDefined)
{
    LevelIO first;
    first.read(GetParam().file);
    GetParam().expect(first);
}

TEST_P(RoundTripTest, SurvivesASaveWithTheSameBytes)
{
    LevelIO first;
    first.read(GetParam().file);
    const QByteArray saved = first.write();
    LevelIO second;
    second.read(saved);
    EXPECT_TRUE(second.result.problems.empty()) << second.problems();
    EXPECT_EQ(second.write(), saved);
}

INSTANTIATE_TEST_SUITE_P(Files, RoundTripTest,
    ::testing::Values(
        RoundTripCase{"globalsAndSettings",
            "levelDesc = \"My Map\";\nmaxPlayers = 4\nfunction NonDetermChunk()\n"
            "  setWorldBoundsInner({0, 0, 0}, {40000, 15000, 35000})\n  loadBackground(\"m07\")\n"
            "  setSensorsManagerCameraDistances(4000, 100000)\n"
            "  setDefaultMusic(\"Data:sound/music/Battle/battle_06\")\nend\n",
            [](LevelIO& l) {
                const MapSettings& s = l.settings;
                EXPECT_THAT((QStringList{s.levelDesc, s.sizeX, s.sizeY, s.sizeZ, s.background, s.cameraMin, s.cameraMax,
                                s.music}),
                    ElementsAre("My Map", "40000", "35000", "15000", "m07", "4000", "100000", "Battle/battle_06"));
                EXPECT_EQ(s.playerIndex, 2);
                EXPECT_TRUE(l.result.worldBoundsRead);
            }},
        // Found by fuzzing: the game runs DetermChunk first and the writer writes it first, so a
        // line of it is the level's even where the file's NonDetermChunk comes before it; the other
        // goes back among the kept calls where it stood.
        RoundTripCase{"chunksInEitherOrder",
            "function NonDetermChunk()\n  loadBackground(\"m07\")\n  fogSetType(1)\n"
            "  setDefaultMusic(\"Data:sound/music/late\")\n  fogSetStart(2)\nend\n"
            "function DetermChunk()\n  loadBackground(\"ez09\")\n  setDefaultMusic(\"Data:sound/music/early\")\n"
            "  loadBackground(\"m03\")\nend\n",
            [](LevelIO& l) {
                const MapSettings& s = l.settings;
                EXPECT_EQ(s.background + u'|' + s.music, QLatin1String("ez09|early"));
                QStringList kept;
                for (const KeptCall& c : s.keptCalls)
                    kept << QString::fromStdString(c.name + (c.chunk == Chunk::Determ ? " D" : " N"));
                EXPECT_THAT(kept,
                    ElementsAre(
                        "loadBackground N", "fogSetType N", "setDefaultMusic N", "fogSetStart N", "loadBackground D"));
                EXPECT_EQ(l.result.callsKept, 5);
            }},
        RoundTripCase{"eightBitText", "levelDesc = \"Caf\xe9 \xff\"\n",
            [](LevelIO& l) {
                EXPECT_EQ(l.settings.levelDesc, QString::fromLatin1("Caf\xe9 \xff"));
                EXPECT_TRUE(l.write().contains("levelDesc = \"Caf\xe9 \xff\"\r\n"));
            }},
        RoundTripCase{"escapedDescription", "levelDesc = \"Say \\\"hi\\\" \\\\o/\"\n",
            [](LevelIO& l) { EXPECT_EQ(l.settings.levelDesc, QLatin1String("Say \"hi\" \\o/")); }},
        RoundTripCase{"namesInNoList",
            body("  addCloud(\"p\", \"cloud_mod\", {1, 2, 3}, {0, 0, 0, 1}, 0.0, 5)\n"
                 "  addSquadron(\"meg_modded\", \"meg_modded\", {1, 2, 3}, -1, {0, 0, 0}, 0, 0)\n"
                 "  addPebble(\"rock\", {1, 2, 3}, 0, 0, 0)\n"
                 "  addNebula(\"weird_nebula\", \"weird_nebula\", {1, 2, 3}, {0.5, 0, 0, 1}, 0.0, 44)"),
            [](LevelIO& l) {
                const CloudRecord& n = l.document.clouds(ItemKind::Nebula)[0];
                EXPECT_THAT((QStringList{l.document.clouds(ItemKind::Cloud)[0].customName,
                                l.document.props(ItemKind::Megalith)[0].customName,
                                l.document.props(ItemKind::Pebble)[0].customName, n.customName}),
                    ElementsAre("cloud_mod", "meg_modded", "rock", "weird_nebula"));
                EXPECT_THAT((std::array<int, 3>{n.modelIndex, n.red, n.size}), ElementsAre(-1, 128, 44));
            }},
        RoundTripCase{"modelNamesComeBackAsThemselves",
            body("  addSquadron(\"hgn_assaultcorvette\", \"hgn_assaultcorvette\", {0, 0, 0}, 0, {0, 0, 0}, 0, 0)\n"
                 "  addSquadron(\"meg_bentus_ruin_1\", \"meg_bentus_ruin_1\", {0, 0, 0}, -1, {0, 0, 0}, 0, 0)\n"
                 "  addSquadron(\"assaultcorvette\", \"assaultcorvette\", {0, 0, 0}, 0, {0, 0, 0}, 0, 0)"),
            [](LevelIO& l) { // the last: containment when nothing is equal
                EXPECT_THAT((std::array<int, 3>{l.document.ships()[0].modelIndex,
                                l.document.props(ItemKind::Megalith)[0].modelIndex, l.document.ships()[1].modelIndex}),
                    ElementsAre(0, 5, 1));
                EXPECT_TRUE(l.write().contains("addSquadron(\"assaultcorvette\", \"assaultcorvette\""));
            }},
        RoundTripCase{"escapedNames",
            body("  addPebble(\"a\\\\b\", {1, 2, 3}, 0, 0, 0)\n"
                 "  addSquadron(\"say\\\\hi\", \"x\\ty\", {1, 2, 3}, 0, {0, 0, 0}, 0, 0)\n"
                 "  loadBackground(\"m\\\\01\")\n  setDefaultMusic(\"Data:sound/music/a\\\\b\")"),
            [](LevelIO& l) {
                EXPECT_THAT((QStringList{l.document.props(ItemKind::Pebble)[0].customName, l.document.ships()[0].name,
                                l.document.ships()[0].customName, l.settings.background, l.settings.music}),
                    ElementsAre("a\\b", "say\\hi", "x\ty", "m\\01", "a\\b"));
            }},
        // Found by the editor's monkey test: "Custom" is no model, and a quoted background or music
        // keeps its blanks and quotes.
        RoundTripCase{"namedCustom", body("  addAsteroid(\"Custom\", {1, 2, 3}, 100, 0, 0, 0, 0)"),
            [](LevelIO& l) {
                EXPECT_EQ(l.document.resources(ItemKind::Asteroid)[0].modelIndex, -1);
                EXPECT_EQ(l.document.resources(ItemKind::Asteroid)[0].customName, QStringLiteral("Custom"));
            }},
        RoundTripCase{"quotedSettings",
            body("  loadBackground(\"  my, (odd) sky \")\n"
                 "  setDefaultMusic(\"Data:sound/music/Say \\\"hi\\\"\")"),
            [](LevelIO& l) {
                EXPECT_EQ(
                    l.settings.background + u'|' + l.settings.music, QLatin1String("  my, (odd) sky |Say \"hi\""));
            }}),
    [](const ::testing::TestParamInfo<RoundTripCase>& instance) { return std::string(instance.param.name); });

TEST(LevelReader, WriteReadWriteGivesTheSameBytes)
{
    LevelIO first;
    first.settings.levelDesc = QStringLiteral("All kinds");
    first.settings.playerIndex = 1;
    first.settings.sizeX = QStringLiteral("1000");
    first.settings.background = QStringLiteral("m05");
    first.settings.music = QStringLiteral("Ambient/amb_02");
    for (int slot = 0; slot < 3; ++slot) {
        PlayerStartRecord& p = first.document.player(slot);
        p.label = QStringLiteral("Player %1").arg(slot + 1);
        p.posX = slot * 100;
        p.posY = -slot;
        p.posZ = 7;
        p.orientation = 12.25f * float(slot);
    }
    for (ItemKind kind : arrayKinds) {
        for (std::int16_t i = 0; i < 3; ++i) {
            const int v = typeIdOf(kind) * 1000 + i;
            AnyRecord record = blankRecord(kind);
            std::visit(
                [&](auto& r) {
                    using R = std::decay_t<decltype(r)>;
                    if constexpr (!std::is_same_v<R, PlayerStartRecord>) {
                        r.modelIndex = i;
                        r.posX = v;
                        r.posY = -v;
                        r.posZ = i;
                        r.drawColour = kindInfo(kind).drawColour;
                    }
                    if constexpr (std::is_same_v<R, ShipRecord>) {
                        r.orientation = 90;
                        r.rotation1 = -5;
                        r.rotation2 = 6;
                        r.player = 1;
                    } else if constexpr (std::is_same_v<R, CloudRecord>) {
                        r.size = 500;
                        r.red = 10;
                        r.green = 128;
                        r.blue = 255;
                    } else if constexpr (std::is_same_v<R, ResourceRecord>) {
                        r.resourcePercent = 90;
                    }
                },
                record);
            first.document.appendRecord(kind, record);
        }
        first.document.markDeleted(kind, 1);
    }
    const QByteArray once = first.write();
    LevelIO second;
    second.read(once);
    EXPECT_TRUE(second.result.problems.empty()) << second.problems();
    EXPECT_EQ(second.write(), once);
    for (ItemKind kind : arrayKinds) {
        for (int i = 0; i < second.document.itemCount(kind); ++i)
            second.document.visit(
                kind, i, [](const auto& r) { EXPECT_FALSE(r.source) << "the editor's own lines keep nothing"; });
    }
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

// Every real map whose chunk functions hold plain calls only: what the game sees in the file is
// what it sees in the file the editor saves (the editor adds only its own level-wide lines
// where the file had none). The plain maps' calls are also what lua5.4 sees: the reader misses
// nothing.
TEST(LevelReader, RealMapsMadeOfPlainCallsKeepWhatTheGameSees)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty() || !haveLua())
        GTEST_SKIP() << "the real levels or lua5.4 are missing";
    QStringList plain;
    for (const QString& file : files) {
        const QByteArray bytes = readBytes(file);
        LevelIO l;
        l.read(bytes);
        const QByteArray saved = l.write();
        LevelIO again;
        again.read(saved);
        EXPECT_EQ(again.write(), saved) << file.toStdString() << ": a second load and save changes nothing";
        if (l.result.scriptInChunks > 0 || l.result.callsSkipped > 0 || bytes.startsWith("\x1bLua")
            || l.hasProblem("includes"))
            continue;
        plain << QFileInfo(file).fileName();
        const QStringList before = gameView(bytes);
        ASSERT_FALSE(before.isEmpty()) << file.toStdString();
        const GameViewChange change = gameViewChange(before, gameView(saved));
        EXPECT_TRUE(change.same()) << file.toStdString() << change.text();
    }
    // 4p_ironcurtain, 5p_radial_symmetry, 6p_fieldsofplaz, 8p_scattered, harbourofrefuge and the
    // seven requiem-for-freedom maps.
    EXPECT_EQ(plain.size(), 12) << plain.join(QLatin1Char(' ')).toStdString();
}

} // namespace

namespace {

struct RecordingSink final : ReadSink {
    std::vector<LevelCall> calls;
    int problems = 0;
    void call(const LevelCall& c) override { calls.push_back(c); }
    void global(std::string_view, const LuaValue&, qint64) override {}
    void problem(qint64, const QString&) override { ++problems; }
};

RecordingSink readCalls(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    RecordingSink sink;
    readLevelCalls(buffer, sink);
    return sink;
}

} // namespace

// A call written on one line is read straight from its bytes; with a line end after its "(" it is
// read token by token. Both must give the same calls, numerals spelt alike and -0 kept.
TEST(LevelReader, CallsReadFromTheirBytesEqualCallsReadByToken)
{
    const char* arguments[] = {
        "\"Asteroid_1\", {19759, -307, -18046}, 100, 0, 0, 0, 0",
        "007, -007, -0, 0.0, -0.0, 1.50, 1e5, 2E-3, 1e+400, -1e400",
        "123456789012345, 1234567890123456, 12345678901234567890, -123456789012345678",
        "{}, {1, 2,}, {{1, {-2}}, \"x\"}, \"\", \"a b\tc\", \"\xe9\"",
        "- 5, -\t7, 1 , 2 ,3",
        "1 + 2",
        "x, 1",
        "{a = 1}",
        "{[1] = 2}",
        "1.5.3",
        "1..2",
        "\"a\\\"b\", \"c\\65\"",
        ".5, -.5",
        "-x",
        "12abc",
        "nil, 3",
        "0x10",
        "1, 2 -- a comment",
        "{1; 2}",
        "'single'",
        "{{{{{{{{{{1}}}}}}}}}}",
    };
    for (const char* args : arguments) {
        const RecordingSink plain = readCalls(body((std::string("  addAsteroid(") + args + ")").c_str()));
        const RecordingSink tokens = readCalls(body((std::string("  addAsteroid(\n") + args + ")").c_str()));
        ASSERT_EQ(plain.calls.size(), tokens.calls.size()) << args;
        EXPECT_EQ(plain.problems, tokens.problems) << args;
        for (std::size_t c = 0; c < plain.calls.size(); ++c) {
            const std::vector<LuaValue>& a = plain.calls[c].args;
            const std::vector<LuaValue>& b = tokens.calls[c].args;
            ASSERT_EQ(a.size(), b.size()) << args;
            for (std::size_t i = 0; i < a.size(); ++i) {
                EXPECT_TRUE(a[i] == b[i])
                    << args << ": argument " << i + 1 << " " << luaText(a[i]) << " / " << luaText(b[i]);
                EXPECT_EQ(luaText(a[i]), luaText(b[i])) << args << ": argument " << i + 1;
            }
        }
    }
}

TEST(GameFunctions, KnownNamesOfEveryLengthAreRecognised)
{
    for (const char* name : {"addPath", "addPoint", "addCloud", "fogSetEnd", "addPebble", "setMaxCameraDistance",
             "addReactiveFleetSlot", "setSensorsManagerCameraDistances"})
        EXPECT_TRUE(isKnownGameFunction(name)) << name;
}

TEST(GameFunctions, NearMissesOfKnownNamesAreNotRecognised)
{
    for (const char* name : {"", "add", "addpoint", "addPoin", "addPointX", "AddPoint",
             "setSensorsManagerCameraDistancesX", "setSensorsManagerCameraDistanceX"})
        EXPECT_FALSE(isKnownGameFunction(name)) << name;
}
