// The checks of a level: one small level per finding, the tool's output for the real maps, and the
// groups the Checks panel lists.

#include "editing/Checks.h"

#include "TestSupport.h"
#include "document/Catalogue.h"
#include "document/ItemFields.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include <functional>

namespace starloom::test {
namespace {

// A level of `players` players with start points at `starts` (slot order) and items added by hand.
struct LevelMaker {
    Level level = plainLevel();

    LevelMaker& starts(std::initializer_list<ItemPosition> at)
    {
        int slot = 0;
        for (const ItemPosition& p : at) {
            PlayerStartRecord& r = level.document.player(slot);
            r.label = QStringLiteral("Player %1").arg(slot + 1);
            r.posX = p.x, r.posY = p.y, r.posZ = p.z;
            level.rows.push_back({r.label + QStringLiteral(" start"), ItemKind::PlayerStart, std::int16_t(slot++)});
        }
        level.settings.playerIndex = std::max(0, slot - 2);
        return *this;
    }
    LevelMaker& add(ItemKind kind, ItemPosition p, std::function<void(AnyRecord&)> change = {})
    {
        AnyRecord r = blankRecord(kind);
        std::visit([&](auto& rec) { rec.posX = p.x, rec.posY = p.y, rec.posZ = p.z; }, r);
        if (change)
            change(r);
        const auto index = level.document.appendRecord(kind, r);
        level.rows.push_back({QStringLiteral("Item %1").arg(level.rows.size()), kind, *index});
        return *this;
    }
};

void percent(AnyRecord& r, int p)
{
    std::get<ResourceRecord>(r).resourcePercent = p;
}

struct Case {
    const char* name;
    std::function<Level()> make;
    std::vector<QString> lines; // the findings expected, in order
};

TEST(Checks, EachFindingFromASmallLevel)
{
    const std::vector<Case> cases = {
        {"a fair two-player map has no finding",
            [] {
                return LevelMaker()
                    .starts({{0, -10000, 0}, {0, 10000, 0}})
                    .add(ItemKind::Asteroid, {0, -8000, 0}, [](AnyRecord& r) { percent(r, 100); })
                    .add(ItemKind::Asteroid, {0, 8000, 0}, [](AnyRecord& r) { percent(r, 100); })
                    .level;
            },
            {}},
        {"missing start point",
            [] {
                Level l = LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}}).level;
                l.settings.playerIndex = 1;
                return l;
            },
            {"error: missing-start: Player 3 has no start point"}},
        {"start points too close in 3-D",
            [] {
                return LevelMaker().starts({{0, 0, -3000}, {0, 0, 3000}}).level;
            },
            {"warning: starts-too-close: The start points of Player 1 and Player 2 are 6000 units apart (less than "
             "8000) [0o 1o]"}},
        {"outside the world",
            [] {
                return LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}}).add(ItemKind::Pebble, {0, 0, 20001}).level;
            },
            {"warning: outside-world: Item 2 at (0, 0, 20001) lies outside the world [2o]"}},
        {"two of a kind at one place",
            [] {
                return LevelMaker()
                    .starts({{0, -10000, 0}, {0, 10000, 0}})
                    .add(ItemKind::Pebble, {5, 5, 5})
                    .add(ItemKind::Megalith, {5, 5, 5})
                    .add(ItemKind::Pebble, {5, 5, 5})
                    .level;
            },
            {"warning: same-place: Item 2 and Item 4 are at the same place (5, 5, 5) [2o 4o]"}},
        {"unfair resources, nebulae with \"nores\" not counted",
            [] {
                return LevelMaker()
                    .starts({{0, -10000, 0}, {0, 10000, 0}})
                    .add(ItemKind::Asteroid, {0, -8000, 0}, [](AnyRecord& r) { percent(r, 100); })
                    .add(ItemKind::Salvage, {0, 8000, 0}, [](AnyRecord& r) { percent(r, 50); })
                    .add(ItemKind::Nebula, {0, 9000, 0},
                        [](AnyRecord& r) {
                            auto& c = std::get<CloudRecord>(r);
                            c.modelIndex = -1, c.customName = QStringLiteral("M05_nores");
                        })
                    .add(ItemKind::DustCloud, {0, 9000, 0},
                        [](AnyRecord& r) { std::get<CloudRecord>(r).customName = QStringLiteral("dust"); })
                    .level;
            },
            {"warning: unfair-resources: The resources nearest to each start point differ by more than 10% "
             "(Player 1: 1, Player 2: 1.5) [0o 1o]"}},
        {"start points at unequal distances from the centre",
            [] {
                return LevelMaker().starts({{0, -10000, 0}, {0, 12000, 0}}).level;
            },
            {"warning: unequal-start-distance: The start points' distances from the world centre differ by more "
             "than 10% (Player 1: 10000, Player 2: 12000) [0o 1o]"}},
        {"a world size the game cannot read is named, and nothing is said to lie outside it",
            [] {
                Level l = LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}}).add(ItemKind::Pebble, {0, 0, 5}).level;
                l.settings.sizeX = QStringLiteral("abc");
                return l;
            },
            {"error: invalid-setting: SizeX must be a positive number."}},
        {"a race the game does not know, by name and by number",
            [] {
                Level l = LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}}).level;
                l.settings.players.setText(0, PlayerTable::Field::Race, QStringLiteral("abc"));
                l.settings.players.setText(1, PlayerTable::Field::Race, QStringLiteral("7"));
                return l;
            },
            {"warning: unknown-race: The race \"abc\" of Player 1 is not one the game knows (raceName \"Hiigaran\" or "
             "\"Vaygr\"); a mod may add it",
                "warning: unknown-race: The race \"7\" of Player 2 is not one the game knows (raceID 1 or 2); a mod "
                "may add it"}},
        {"the races the game knows, in either form",
            [] {
                Level l = LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}}).level;
                l.settings.players.setText(0, PlayerTable::Field::Race, QStringLiteral("Vaygr"));
                l.settings.players.setText(1, PlayerTable::Field::Race, QStringLiteral("2"));
                return l;
            },
            {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<QString> lines;
        for (const Finding& f : checkLevel(c.make(), {}, nullptr))
            lines.push_back(findingLine(f));
        EXPECT_EQ(lines, c.lines);
    }
}

// What a save must settle first, as "refusal|slots left out|their message".
std::string blockersOf(const Level& level)
{
    const SaveBlockers b = saveBlockers(level);
    QStringList slots;
    for (const int slot : b.startsLeftOut)
        slots << QString::number(slot);
    return (b.refusal + u'|' + slots.join(u' ') + u'|' + b.leftOutMessage).toStdString();
}

Level twoPlayerLevel()
{
    return LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}}).level;
}

TEST(Checks, ASaveIsRefusedForAMissingStartPointFirstThenForASettingTheGameCannotRead)
{
    EXPECT_EQ(blockersOf(twoPlayerLevel()), "||");
    Level badSetting = twoPlayerLevel();
    badSetting.settings.sizeX = QStringLiteral("abc");
    EXPECT_EQ(blockersOf(badSetting), "SizeX must be a positive number.||");
    Level missing = badSetting;
    missing.settings.playerIndex = 2; // four players, slots 2 and 3 empty
    EXPECT_EQ(blockersOf(missing), "You haven't specified all the player starting positions!||");
}

TEST(Checks, StartPointsBeyondThePlayerCountAreNamedAsLeftOutOfTheSave)
{
    Level beyond = LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}, {10000, 0, 0}}).level;
    beyond.document.player(7).label = QStringLiteral("Player 8");
    beyond.settings.playerIndex = 0;
    EXPECT_EQ(blockersOf(beyond),
        "|2 7|The start points of Player 3 and Player 8 lie beyond the level's 2 players and are not saved");
}

// Two players, the start points at unequal distances from the centre, one asteroid of a model the
// catalogue does not know.
Level unknownRockLevel()
{
    return LevelMaker()
        .starts({{0, -10000, 0}, {0, 8900, 0}})
        .add(ItemKind::Asteroid, {0, -8000, 0},
            [](AnyRecord& r) {
                auto& a = std::get<ResourceRecord>(r);
                a.modelIndex = -1, a.customName = QStringLiteral("NoSuchRock"), a.resourcePercent = 100;
            })
        .add(ItemKind::Asteroid, {0, 8000, 0}, [](AnyRecord& r) { percent(r, 100); })
        .level;
}

TEST(Checks, AModelTheCatalogueDoesNotKnowIsAWarning)
{
    Catalogue catalogue;
    ModelLists models(catalogue);
    std::vector<QString> lines;
    for (const Finding& f : checkLevel(unknownRockLevel(), {}, &models))
        lines.push_back(findingLine(f));
    EXPECT_EQ(lines,
        (std::vector<QString>{"warning: unknown-model: Item 2: the model \"NoSuchRock\" is not in the catalogue [2o]",
            "warning: unequal-start-distance: The start points' distances from the world centre differ by more than "
            "10% (Player 1: 10000, Player 2: 8900) [0o 1o]"}));
}

TEST(Checks, TheLimitsAreSettable)
{
    Catalogue catalogue;
    ModelLists models(catalogue);
    const Level level = unknownRockLevel();
    CheckOptions loose;
    loose.centreShare = 0.2;
    loose.minStartDistance = 20000;
    EXPECT_EQ(checkLevel(level, loose, &models).front().code, QStringLiteral("starts-too-close"));
    EXPECT_EQ(checkLevel(level, loose, &models).back().code, QStringLiteral("unknown-model"));
}

} // namespace
} // namespace starloom::test

namespace starloom::test {
namespace {

TEST(Checks, FindingsOfOneCodeAreSummedUpInOneLine)
{
    Catalogue catalogue;
    ModelLists models(catalogue);
    LevelMaker maker;
    maker.starts({{0, -10000, 0}, {0, 10000, 0}});
    for (const char* name : {"Rock_A", "Rock_B", "Rock_A", "Rock_C", "Rock_D", "Rock_E", "Rock_F"})
        maker.add(ItemKind::Asteroid, {0, 0, 0}, [name](AnyRecord& r) {
            auto& a = std::get<ResourceRecord>(r);
            a.modelIndex = -1, a.customName = QString::fromLatin1(name);
        });
    maker.level.settings.playerIndex = 1; // Player 3 has no start
    const std::vector<Finding> findings = checkLevel(maker.level, {}, &models);
    const std::vector<FindingGroup> groups = groupFindings(findings);
    std::vector<QString> lines;
    for (const FindingGroup& g : groups)
        lines.push_back(groupLine(g, findings));
    EXPECT_EQ(lines,
        (std::vector<QString>{"error: missing-start: Player 3 has no start point",
            "warning: same-place: 6 pairs of items of one kind are at the same place: Item 2 and Item 3, Item 2 and "
            "Item 4, Item 2 and Item 5, Item 2 and Item 6, Item 2 and Item 7, \u2026",
            "warning: unknown-model: 7 items use models the catalogue does not know: Rock_A, Rock_B, Rock_C, Rock_D, "
            "Rock_E, \u2026"}));
    ASSERT_EQ(groups.size(), std::size_t(3));
    EXPECT_EQ(groups[2].members.size(), std::size_t(7));
    EXPECT_EQ(groups[2].rows, (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(checksCountText(findings, 0), QStringLiteral("1 error, 13 warnings"));
    EXPECT_EQ(checksCountText({findings.front()}, 1), QStringLiteral("1 error, 1 load problem"));
    EXPECT_EQ(checksCountText({}, 0), QStringLiteral("no problems"));
}

TEST(Checks, ResourcesAreShownAsPeopleWriteThem)
{
    LevelMaker maker;
    maker.starts({{0, -10000, 0}, {0, 10000, 0}});
    // 82 asteroids of 1 % near Player 1: a sum that comes out as 0.820000000000001.
    for (int i = 0; i < 82; ++i)
        maker.add(ItemKind::Asteroid, {0, -9000, i}, [](AnyRecord& r) { percent(r, 1); });
    maker.add(ItemKind::Asteroid, {0, 9000, 0}, [](AnyRecord& r) { percent(r, 1); });
    const std::vector<Finding> findings = checkLevel(maker.level, {}, nullptr);
    ASSERT_FALSE(findings.empty());
    EXPECT_TRUE(findings.front().message.contains(QStringLiteral("(Player 1: 0.82, Player 2: 0.01)")))
        << findings.front().message.toStdString();
}

} // namespace
} // namespace starloom::test

#include "editing/CheckGroups.h"

namespace starloom::test {
namespace {

// Each finding with a number, as the Checks panel shows it: every number with its unit, and the
// items named by their rows' texts where the message does not name them.
TEST(CheckGroups, FindingsShowTheirNumbersWithUnitsAndNameTheirItems)
{
    struct UnitCase {
        const char* name;
        std::function<Level()> make;
        std::vector<QString> texts;
    };
    const std::vector<UnitCase> cases = {
        {"start points too close",
            [] {
                return LevelMaker().starts({{0, 0, -3000}, {0, 0, 3000}}).level;
            },
            {"The start points of Player 1 and Player 2 are 6000 u apart (less than 8000 u) \u2014 Player 1 start, "
             "Player 2 start"}},
        {"outside the world",
            [] {
                return LevelMaker().starts({{0, -10000, 0}, {0, 10000, 0}}).add(ItemKind::Pebble, {0, 0, 20001}).level;
            },
            {"Item 2 at (0, 0, 20001) u lies outside the world"}},
        {"two of a kind at one place",
            [] {
                return LevelMaker()
                    .starts({{0, -10000, 0}, {0, 10000, 0}})
                    .add(ItemKind::Pebble, {5, 5, 5})
                    .add(ItemKind::Pebble, {5, 5, 5})
                    .level;
            },
            {"Item 2 and Item 3 are at the same place (5, 5, 5) u"}},
        {"unfair resources",
            [] {
                return LevelMaker()
                    .starts({{0, -10000, 0}, {0, 10000, 0}})
                    .add(ItemKind::Asteroid, {0, -8000, 0}, [](AnyRecord& r) { percent(r, 100); })
                    .add(ItemKind::Asteroid, {0, 8000, 0}, [](AnyRecord& r) { percent(r, 150); })
                    .level;
            },
            {"The resources nearest to each start point differ by more than 10% (Player 1: 100% RU, Player 2: "
             "150% RU) \u2014 Player 1 start, Player 2 start"}},
        {"unequal distances from the centre",
            [] {
                return LevelMaker().starts({{0, -10000, 0}, {0, 12000, 0}}).level;
            },
            {"The start points' distances from the world centre differ by more than 10% (Player 1: 10000 u, Player "
             "2: 12000 u) \u2014 Player 1 start, Player 2 start"}},
        {"no number, no item",
            [] {
                Level l = twoPlayerLevel();
                l.settings.playerIndex = 1;
                return l;
            },
            {"Player 3 has no start point"}},
    };
    for (const UnitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Level level = c.make();
        std::vector<QString> texts;
        for (const Finding& f : checkLevel(level, {}, nullptr))
            texts.push_back(findingText(f, level.rows));
        EXPECT_EQ(texts, c.texts);
    }
}

TEST(CheckGroups, ANameIsGivenOnceAndRowsThatDoNotExistAreLeftOut)
{
    const std::vector<ObjectRow> rows = {{QStringLiteral("Rock"), ItemKind::Asteroid, 0}};
    const Finding f{Severity::Warning, QStringLiteral("x"), QStringLiteral("Something"), {0, 0, 7, -1}, {}, {}};
    EXPECT_EQ(findingText(f, rows), QStringLiteral("Something \u2014 Rock"));
}

// A level with two load problems, two players without a start point and two unknown models.
struct GroupedLevel {
    Level level;
    std::vector<Finding> findings;
    std::vector<ReadProblem> problems{{5, QStringLiteral("the position is not a table of three numbers; read as 0")},
        {0, QStringLiteral("3 more problems not listed")}};

    GroupedLevel()
    {
        LevelMaker maker;
        maker.starts({{0, -10000, 0}, {0, 10000, 0}});
        for (const char* name : {"Rock_A", "Rock_B"})
            maker.add(ItemKind::Asteroid, {0, 1000 * qint32(maker.level.rows.size()), 0}, [name](AnyRecord& r) {
                auto& a = std::get<ResourceRecord>(r);
                a.modelIndex = -1, a.customName = QString::fromLatin1(name), a.resourcePercent = 0;
            });
        maker.level.settings.playerIndex = 2; // four players: Player 3 and Player 4 have no start
        level = maker.level;
        Catalogue catalogue;
        ModelLists models(catalogue);
        findings = checkLevel(level, {}, &models);
    }
    std::vector<CheckGroup> groups(const char* filter = "") const
    {
        return checkGroups(problems, findings, level.rows, QString::fromLatin1(filter));
    }
};

std::vector<QString> titlesOf(const std::vector<CheckGroup>& groups)
{
    std::vector<QString> titles;
    for (const CheckGroup& g : groups)
        titles.push_back(g.title);
    return titles;
}

TEST(CheckGroups, LoadProblemsComeFirstThenOneGroupPerCodeWithItsCount)
{
    const GroupedLevel grouped;
    const std::vector<CheckGroup> groups = grouped.groups();
    EXPECT_EQ(titlesOf(groups),
        (std::vector<QString>{QStringLiteral("load problems (2)"), QStringLiteral("missing-start (2)"),
            QStringLiteral("unknown-model (2)")}));
    ASSERT_EQ(groups.size(), std::size_t(3));
    EXPECT_EQ(groups[0].severity, CheckSeverity::Warning);
    EXPECT_EQ(groups[0].lines.front().text,
        QStringLiteral("line 5: the position is not a table of three numbers; read as 0"));
    EXPECT_EQ(groups[0].lines.back().text, QStringLiteral("3 more problems not listed"));
    EXPECT_EQ(groups[1].severity, CheckSeverity::Error);
    EXPECT_EQ(groups[1].summary, QStringLiteral("2 players have no start point: Player 3, Player 4"));
    EXPECT_EQ(groups[2].severity, CheckSeverity::Warning);
    EXPECT_EQ(groups[2].rows, (std::vector<int>{2, 3}));
    EXPECT_EQ(groups[2].lines[1].rows, std::vector<int>{3});
    EXPECT_EQ(groups[2].lines[1].text, QStringLiteral("Item 3: the model \"Rock_B\" is not in the catalogue"));
}

TEST(CheckGroups, WithoutLoadProblemsTheFindingsComeFirst)
{
    GroupedLevel grouped;
    grouped.problems.clear();
    EXPECT_EQ(titlesOf(grouped.groups()),
        (std::vector<QString>{QStringLiteral("missing-start (2)"), QStringLiteral("unknown-model (2)")}));
}

TEST(CheckGroups, TheFilterKeepsLinesByTextCodeOrItemName)
{
    const GroupedLevel grouped;
    const std::vector<std::pair<const char*, std::vector<QString>>> cases = {
        {"rock_b", {QStringLiteral("unknown-model (1 of 2)")}},   // the message, ignoring case
        {"MISSING-START", {QStringLiteral("missing-start (2)")}}, // the code
        {"Player 4", {QStringLiteral("missing-start (1 of 2)")}},
        {"line 5", {QStringLiteral("load problems (1 of 2)")}},
        {"load problems", {QStringLiteral("load problems (2)")}},
        {"nothing like this", {}},
    };
    for (const auto& [filter, titles] : cases) {
        SCOPED_TRACE(filter);
        EXPECT_EQ(titlesOf(grouped.groups(filter)), titles);
    }
}

TEST(CheckGroups, TheFilterFindsAFindingByTheRowTextOfItsItem)
{
    const Level level = LevelMaker().starts({{0, 0, -3000}, {0, 0, 3000}}).level;
    const std::vector<Finding> findings = checkLevel(level, {}, nullptr);
    const std::vector<CheckGroup> groups = checkGroups({}, findings, level.rows, QStringLiteral("2 START"));
    EXPECT_EQ(titlesOf(groups), std::vector<QString>{QStringLiteral("starts-too-close (1)")});
    // The tool's own line keeps its words, without the panel's units.
    EXPECT_TRUE(findingLine(findings.front()).contains(QStringLiteral("6000 units apart (less than 8000)")));
}

} // namespace
} // namespace starloom::test
