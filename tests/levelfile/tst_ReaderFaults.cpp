// Faults of earlier readers, each as a small level read, saved and read again.

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

// Lists the asteroid names in an order of its own, as a game folder may.
class ShuffledAsteroids final : public ModelSource {
public:
    QString description() const override { return QStringLiteral("shuffled"); }
    std::optional<QStringList> entries(const QString& folder) const override
    {
        if (folder == Catalogue::dataFolder(ItemKind::Asteroid))
            return QStringList{"asteroid_4", "asteroid_2", "asteroid_1", "asteroid_3"};
        return std::nullopt;
    }
};

// Faults of earlier readers, each as a small level: what the level must read as, and that load and
// save keep what the game sees (as lua5.4 reads the file, or, where lua5.4 reads it otherwise than
// the game's Lua 4.0, as the case lists it: the saved file is plain calls that both read alike).
struct FaultCase {
    const char* name;
    QByteArray file;
    std::function<void(const LevelIO&)> expect;
    QStringList gameSees = {}; // empty: as lua5.4 reads the file
    std::function<void(LevelIO&)> prepare = nullptr;
};

class FaultTest : public ::testing::TestWithParam<FaultCase> {};

LevelIO readCase(const FaultCase& c, const QByteArray& file)
{
    LevelIO l;
    if (c.prepare)
        c.prepare(l);
    l.read(file);
    return l;
}

TEST_P(FaultTest, ReadsWhatTheGameReads)
{
    const FaultCase& c = GetParam();
    c.expect(readCase(c, c.file));
}

TEST_P(FaultTest, ASecondLoadChangesNothingOnSave)
{
    const FaultCase& c = GetParam();
    const QByteArray saved = readCase(c, c.file).write(true);
    EXPECT_EQ(readCase(c, saved).write(true), saved);
}

TEST_P(FaultTest, TheSavedFileShowsTheGameWhatItSawBefore)
{
    const FaultCase& c = GetParam();
    if (!haveLua())
        GTEST_SKIP() << "lua5.4 is missing";
    const QByteArray saved = readCase(c, c.file).write(true);
    QString error;
    const QStringList before = c.gameSees.isEmpty() ? gameView(c.file, &error) : c.gameSees;
    ASSERT_FALSE(before.isEmpty()) << error.toStdString();
    const GameViewChange change = gameViewChange(before, gameView(saved));
    EXPECT_TRUE(change.same()) << change.text() << "\n" << saved.constData();
}

INSTANTIATE_TEST_SUITE_P(Files, FaultTest,
    ::testing::Values(FaultCase{"playerTable",
                          "maxPlayers = 2\nplayer = {}\nplayer[0] = {id = 0, name = \"Red\", resources = 750, raceName "
                          "= \"Hiigaran\", "
                          "startPos = 1, team = 2}\nplayer[1] = {id = 1, name = \"Blue\", resources = 20000, raceID = "
                          "2, startPos = 1}\n",
                          [](const LevelIO& l) {
                              EXPECT_EQ(players(l).text(0, PlayerTable::Field::Resources), QStringLiteral("750"));
                              EXPECT_EQ(players(l).text(0, PlayerTable::Field::Race), QStringLiteral("Hiigaran"));
                              EXPECT_EQ(players(l).text(1, PlayerTable::Field::Race), QStringLiteral("2"));
                              EXPECT_EQ(players(l).text(1, PlayerTable::Field::Name), QStringLiteral("Blue"));
                          }},
        FaultCase{"playerList",
            "player =\n{\n\t{id = 0, name = \"Vaygr\", resources = 5000, raceID = 2, startPos = 1,},\n"
            "\t{id = 1, name = \"Hiigaran\", resources = 5000, raceID = 1, startPos = 1,},\n"
            "\t{id = 2, name = \"Extra\", resources = 1, raceID = 1, startPos = 1,},\n}\nmaxPlayers = 2\n",
            [](const LevelIO& l) {
                EXPECT_TRUE(players(l).isListForm());
                EXPECT_EQ(players(l).text(1, PlayerTable::Field::Name), QStringLiteral("Hiigaran"));
                EXPECT_EQ(players(l).entries().size(), 3u) << "an entry beyond the player count is kept";
            }},
        FaultCase{"squadronTypeIsTheSecondArgument",
            body("  addSquadron(\"light\", \"meg_NavBouy_simple\", {1, 2, 3}, -1, {0, 0, 0}, 0, 0)\n"
                 "  addSquadron(\"Alpha\", \"hgn_scout\", {4, 5, 6}, 2, {10, 20, 30}, 1, 0)"),
            [](const LevelIO& l) {
                const PropRecord& m = l.document.props(ItemKind::Megalith)[0];
                EXPECT_EQ(m.customName, QStringLiteral("meg_NavBouy_simple"));
                EXPECT_EQ(m.name, QStringLiteral("light"));
                const ShipRecord& s = l.document.ships()[0];
                EXPECT_EQ(s.modelIndex, 30);
                EXPECT_EQ(s.name, QStringLiteral("Alpha"));
                EXPECT_THAT(
                    (std::array{int(s.player), s.orientation, s.rotation2, s.rotation1}), ElementsAre(2, 10, 20, 30));
                EXPECT_THAT(itemTexts(l), ElementsAre("light", "Alpha"));
            }},
        FaultCase{"rotationsAndTrailingArguments",
            body("  addSquadron(\"Meg_SajHulkPanels2\", \"Meg_SajHulkPanels\", {1, 2, 3}, -1, {-8.864, 20.864, "
                 "-69.471}, 0, 0)\n"
                 "  addAsteroid(\"Asteroid_2\", {1, 2, 3}, 100, 12.5, -3, 45, 1)\n"
                 "  addSalvage(\"slv_chunk_lrg01\", {1, 2, 3}, 80, 0, 90, 0, 1)\n"
                 "  addPebble(\"pebble_0\", {1, 2, 3}, 0.0, 0.5, 0.0)"),
            [](const LevelIO& l) {
                EXPECT_TRUE(l.document.props(ItemKind::Megalith)[0].source);
                EXPECT_TRUE(l.document.resources(ItemKind::Asteroid)[0].source);
                EXPECT_EQ(l.document.props(ItemKind::Pebble)[0].chunk, Chunk::Determ)
                    << "a pebble read from DetermChunk";
            }},
        FaultCase{"cloudNamesAlphaAndFifthArgument",
            body("  addDustCloud(\"Lane1\", \"dustcloud_nores\", {1, 2, 3}, {0.2, 0.4, 0.6, 0.5}, 2.5, 3000)\n"
                 "  addNebula(\"Veil\", \"nebula_0\", {1, 2, 3}, {1, 0.5, 0, 0.25}, 0, 8000)\n"
                 "  addCloud(\"c\", \"cloud_0\", {.5, -0, 1e3}, {0, 0, 0, 0}, 0, 0)"),
            [](const LevelIO& l) {
                const CloudRecord& n = l.document.clouds(ItemKind::Nebula)[0];
                EXPECT_EQ(n.modelIndex, 11);
                EXPECT_EQ(n.name, QStringLiteral("Veil"));
                EXPECT_THAT((std::array<int, 4>{n.red, n.green, n.blue, n.size}), ElementsAre(255, 128, 0, 8000));
                EXPECT_EQ(l.document.clouds(ItemKind::DustCloud)[0].modelIndex, 1);
            }},
        FaultCase{"callsTheEditorDoesNotModel",
            "function DetermChunk()\n  setWorldBoundsOuter({0, 0, 0}, {50000, 20000, 50000})\n"
            "  addSphere(\"s\", {1, 2, 3}, 500)\n  addCamera(\"cam\", {0, 0, 0}, {1, 1, 1})\n"
            "  addPath(\"p\", {0, 0, 0}, {1, 1, 1})\n  createSOBGroup(\"g\")\nend\n"
            "function NonDetermChunk()\n  fogSetActive(1)\n  fogSetType(\"linear\")\n  fogSetStart(10)\n  "
            "fogSetEnd(15000)\n"
            "  fogSetColour(0.35, 0.2, 0.07, 1)\n  fogSetDensity(0.28)\n  "
            "setBattleMusic(\"Data:sound/music/battle/b01\")\n"
            "  setDustCloudAmbient({0.1, 0.2, 0.3, 1})\n  setLevelShadowColour(0, 0, 0, 0)\n"
            "  setWorldBoundsInner({-4.4, 0, 0}, {41000, 41000, 41000})\nend\n",
            [](const LevelIO& l) {
                EXPECT_EQ(l.settings.keptCalls.size(), 12u);
                EXPECT_EQ(l.settings.sizeX, QStringLiteral("41000"));
                EXPECT_TRUE(l.write().contains("  fogSetActive(1)\r\n"));
                EXPECT_FALSE(l.write().contains("fogSetActive(0)")) << "the file's fog line replaces the editor's";
            }},
        FaultCase{"globalsWithoutBlanks",
            "levelDesc=\"Perihelion\";maxPlayers=6;\nfunction DetermChunk()\n"
            "addPoint(\"StartPos0\",{1,0,1},{0,0,0});addPoint(\"StartPos1\",{2,0,2},{0,0,0});"
            "addPoint(\"StartPos2\",{3,0,3},{0,0,0})\naddPoint(\"StartPos3\",{4,0,4},{0,0,0}) "
            "addPoint(\"StartPos4\",{5,0,5},{0,0,0}) addPoint(\"StartPos5\",{6,0,6},{0,0,0})\nend",
            [](const LevelIO& l) {
                EXPECT_EQ(l.settings.levelDesc, QStringLiteral("Perihelion"));
                EXPECT_EQ(l.settings.playerCount(), 6);
                EXPECT_EQ(l.document.liveCount(ItemKind::PlayerStart), 6);
            }},
        FaultCase{"eightPlayers",
            "maxPlayers = 8\nfunction DetermChunk()\n" +
                [] {
                    QByteArray points;
                    for (int i = 0; i < 8; ++i)
                        points += "  addPoint(\"StartPos" + QByteArray::number(i) + "\", {" + QByteArray::number(i)
                            + ", 0, 0}, {0, 45, 0})\n";
                    return points;
                }()
                + "end\n",
            [](const LevelIO& l) {
                EXPECT_EQ(l.settings.playerCount(), 8);
                EXPECT_EQ(l.document.player(7).label, QStringLiteral("Player 8"));
                EXPECT_EQ(itemTexts(l).last(), QStringLiteral("Player 8 start"));
            }},
        FaultCase{"quotedNamesAreOneArgument",
            body("  addSquadron(\"Aircraft Carrier\", \"Aircraft Carrier\", {1, 2, 3}, 0, {0, 0, 0}, 0, 0)\n"
                 "  addSquadron(\"my\\\"ship\", \"my\\\"ship\", {4, 5, 6}, 1, {7, 8, 9}, 0, 0)\n"
                 "  addSquadron('single, (quoted)', 'single, (quoted)', {1, 1, 1}, 0, {0, 0, 0}, 0, 0)\n"
                 "  addSquadron(\"caf\\233\", \"caf\\233\", {1, 1, 1}, 0, {0, 0, 0}, 0, 0)"),
            [](const LevelIO& l) {
                EXPECT_EQ(l.document.ships()[0].customName, QStringLiteral("Aircraft Carrier"));
                const ShipRecord& s = l.document.ships()[1];
                EXPECT_EQ(s.customName, QStringLiteral("my\"ship"));
                EXPECT_THAT(
                    (std::array{s.posX, s.posY, s.posZ, int(s.player), s.orientation}), ElementsAre(4, 6, 5, 1, 7));
                EXPECT_EQ(l.document.ships()[2].customName, QStringLiteral("single, (quoted)"));
                EXPECT_EQ(l.document.ships()[3].customName, QString::fromLatin1("caf\xe9"));
            }},
        FaultCase{"commentInsideACallAndTwoCallsOnALine",
            body("  addAsteroid(\"Asteroid_1\", {40, -- x\n 50, 60}, 70, 0, 0, 0, 0)\n"
                 "  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0); addPebble(\"pebble_1\", {4, 5, 6}, 0, 0, 0)"),
            [](const LevelIO& l) {
                const ResourceRecord& a = l.document.resources(ItemKind::Asteroid)[0];
                EXPECT_THAT((std::array{a.posX, a.posZ, a.posY, a.resourcePercent}), ElementsAre(40, 50, 60, 70));
                EXPECT_EQ(l.document.itemCount(ItemKind::Pebble), 2);
            }},
        // Lua 5 would read the three lines after "--[[" as a comment; the game reads them.
        FaultCase{"blockCommentsAreLineComments",
            "--[[ a header\nfunction NonDetermChunk()\n  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\nend\n--]]\n",
            [](const LevelIO& l) {
                EXPECT_EQ(l.document.itemCount(ItemKind::Pebble), 1);
                EXPECT_TRUE(l.hasProblem("block comment"));
            },
            {"C NonDetermChunk addPebble(\"pebble_0\", {[1]=1,[2]=2,[3]=3}, 0, 0, 0)"}},
        // A lone CR is a blank to Lua 4.0: the calls are read, and a comment line swallows the rest.
        FaultCase{"carriageReturnLineEnds",
            "function NonDetermChunk()\raddPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\rend\r-- the end\raddPebble(\"x\", "
            "{}, 0, 0, 0)",
            [](const LevelIO& l) {
                EXPECT_EQ(l.document.itemCount(ItemKind::Pebble), 1);
                EXPECT_TRUE(l.hasProblem("lone carriage return"));
            },
            {"C NonDetermChunk addPebble(\"pebble_0\", {[1]=1,[2]=2,[3]=3}, 0, 0, 0)"}},
        FaultCase{"worldBoundsAsTexts", body("  setWorldBoundsInner({0, 0, 0}, {\"1d5\", 20000, \"+5\"})"),
            [](const LevelIO& l) {
                EXPECT_EQ(l.settings.sizeZ, QStringLiteral("20000"));
                EXPECT_TRUE(l.hasProblem("world size X"));
                EXPECT_TRUE(l.write().contains("{\"1d5\", 20000, \"+5\"}")) << "written back as the texts they were";
            }},
        FaultCase{"asteroidNamesStayWithAShuffledList",
            body("  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n  addAsteroid(\"Asteroid_3\", {1, 2, 3}, "
                 "100, 0, 0, 0, 0)"),
            [](const LevelIO& l) {
                EXPECT_EQ(l.document.resources(ItemKind::Asteroid)[0].modelIndex, 2);
                EXPECT_TRUE(l.write().contains("addAsteroid(\"Asteroid_1\""));
                EXPECT_TRUE(l.write().contains("addAsteroid(\"Asteroid_3\""));
            },
            {},
            [](LevelIO& l) {
                l.catalogue = Catalogue(QStringLiteral("game"), {std::make_shared<ShuffledAsteroids>()});
            }}),
    [](const ::testing::TestParamInfo<FaultCase>& instance) { return std::string(instance.param.name); });

} // namespace
