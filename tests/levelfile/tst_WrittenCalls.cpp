// Item calls written the way the editor writes them are read straight from their bytes. That
// shortcut must build exactly the level the reading of values builds: records with what they
// keep of their calls, rows, settings and problems, in the same order.

#include "levelfile/LevelBuilder.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include "LevelIO.h"
#include "TestSupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace starloom::test {
namespace {

// Passes everything on to a builder; with `offers` false it declines every offered call, so
// that each comes as values.
class Relay final : public ReadSink {
public:
    Relay(LevelBuilder& builder, bool offers) : m_builder(builder), m_offers(offers) {}

    void call(const LevelCall& c) override { m_builder.call(c); }
    void global(std::string_view name, const LuaValue& value, qint64 line) override
    {
        m_builder.global(name, value, line);
    }
    void problem(qint64 line, const QString& reason) override { m_builder.problem(line, reason); }
    std::size_t offerCall(std::string_view name, std::string_view bytes, Chunk chunk, qint64 line) override
    {
        if (!m_offers)
            return 0;
        const std::size_t used = m_builder.offerCall(name, bytes, chunk, line);
        taken += used > 0;
        return used;
    }
    void keepOffered() override { m_builder.keepOffered(); }
    void dropOffered() override { m_builder.dropOffered(); }

    int taken = 0; // calls read from their bytes

private:
    LevelBuilder& m_builder;
    bool m_offers;
};

struct Read {
    Level level;
    ReadResult result;
    QByteArray written;
    int taken = 0;
};

Read readWith(QByteArray bytes, bool offers)
{
    const Catalogue catalogue;
    ModelLists models(catalogue);
    Read r;
    r.level.document.setPlayerColours();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    LevelBuilder builder(r.level, models);
    Relay relay(builder, offers);
    readLevelCalls(buffer, relay);
    r.result = builder.finish();
    r.taken = relay.taken;
    r.written = writeLevel(r.level, models, false);
    return r;
}

// Both ways of reading give the same level; returns how many calls came from their bytes.
int expectSameLevel(const QByteArray& bytes, const std::string& what)
{
    const Read fast = readWith(bytes, true);
    const Read slow = readWith(bytes, false);
    EXPECT_EQ(slow.taken, 0);
    EXPECT_TRUE(fast.level.settings == slow.level.settings) << what;
    EXPECT_TRUE(fast.level.rows == slow.level.rows) << what;
    for (const ItemKind kind : allKinds) {
        const int n = fast.level.document.itemCount(kind);
        EXPECT_EQ(n, slow.level.document.itemCount(kind)) << what;
        for (int i = 0; i < n && i < slow.level.document.itemCount(kind); ++i)
            EXPECT_TRUE(fast.level.document.record(kind, i) == slow.level.document.record(kind, i))
                << what << " kind " << int(kind) << " item " << i;
    }
    EXPECT_TRUE(fast.level == slow.level) << what;
    EXPECT_EQ(fast.written.toStdString(), slow.written.toStdString()) << what;
    EXPECT_EQ(
        problemsText(fast.result.problems, 1000).toStdString(), problemsText(slow.result.problems, 1000).toStdString())
        << what;
    EXPECT_EQ(fast.result.itemsRead, slow.result.itemsRead) << what;
    EXPECT_EQ(fast.result.callsKept, slow.result.callsKept) << what;
    EXPECT_EQ(fast.result.lastKind, slow.result.lastKind) << what;
    return fast.taken;
}

TEST(WrittenCalls, EachLineBuildsWhatItsValuesBuild)
{
    struct Case {
        const char* lines;
        int taken; // calls read from their bytes
    };
    const Case cases[] = {
        // As the editor writes them.
        {"addPoint(\"StartPos0\", {24918, 0, 22629}, {0, 90, 0})", 1},
        {"addPoint(\"StartPos7\", {-1, -2, -3}, {0, -45, 0})", 1},
        {"addPoint(\"StartPos3\", {1, 2, 3}, {0, -1, 0})", 1},
        {"addAsteroid(\"Asteroid_4\", {22756, -4733, 26756}, 100, 0, 0, 0, 0)", 1},
        {"addCloud(\"polySurface1\", \"cloud_0\", {9902, 77, 25027}, {0.501960784313725, 0.250980392156863, 1, 1}, "
         "0.0, 1000)",
            1},
        {"addDustCloud(\"polySurface1\", \"dustcloud_0\", {1, 2, 3}, {0, 0, 0, 1}, 0.0, 16777216)", 1},
        {"addNebula(\"m05_dustcloud_nebula\", \"m05_dustcloud_nebula\", {1, 2, 3}, {1, 1, 1, 1}, 0.0, 1000)", 1},
        {"addNebula(\"my nebula\", \"m05_dustcloud_nebula\", {1, 2, 3}, {0.2, 0.4, 0.6, 1}, 0.0, -7)", 1},
        {"addSquadron(\"meg_asteroid\", \"meg_asteroid\", {-11081, 4698, -19662}, -1, {0, 0, 0}, 0, 0)", 1},
        {"addSquadron(\"Fleet 1\", \"Kus_Mothership\", {1, 2, 3}, 5, {-180, 32767, -32768}, 0, 0)", 1},
        {"addSquadron(\"my_own_ship\", \"my_own_ship\", {1, 2, 3}, 5, {0, 0, 0}, 0, 0)", 1},
        {"addSquadron(\"\", \"my_own_ship\", {1, 2, 3}, 5, {0, 0, 0}, 0, 0)", 1},
        {"addSquadron(\"\", \"meg_asteroid\", {1, 2, 3}, -1, {0, 0, 0}, 0, 0)", 1},
        {"addSalvage(\"slv_chunk_lrg01\", {-6281, 3596, -12838}, 100, 0, 0, 0, 0)", 1},
        {"addPebble(\"pebble_0\", {1102, -2922, 2727}, 0, 0, 0) ", 0}, // pebbles belong in NonDetermChunk
        {"addAsteroid(\"my own rock\", {1, 2, 3}, 50, 0, 0, 0, 0)", 1},
        {"addAsteroid(\"Asteroid_1\", {2147483647, -2147483648, 0}, 32767, 0, 0, 0, 0)", 1},
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0) addAsteroid(\"Asteroid_2\", {1, 2, 3}, 9, 0, 0, 0, "
         "0)",
            2},
        // A model name spelled otherwise than the lists spell it keeps its call: read as values.
        {"addAsteroid(\"ASTEROID_1\", {1, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addSquadron(\"Rock\", \"MEG_asteroid\", {1, 2, 3}, -1, {0, 0, 0}, 0, 0)", 0},
        {"addSquadron(\"Hgn_MotherShip\", \"Hgn_MotherShip\", {1, 2, 3}, 0, {0, 90, 0}, 0, 0)", 0},
        // Written otherwise: read as values only.
        {"addAsteroid(\"Asteroid_1\", {1,2,3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid( \"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {-0, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {007, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {2147483648, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {1234567890123, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {1.5, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {1e3, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {0x10, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 40000, 0, 0, 0, 0)", 1},
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 1)", 0},
        {"addAsteroid(\"Aster\\\"oid\", {1, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid('Asteroid_1', {1, 2, 3}, 100, 0, 0, 0, 0)", 0},
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0 -- a comment\n)", 0},
        {"addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {0.5, 0.25, 1, 1}, 0.0, 1000)", 0},
        {"addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {0.50196078431372, 0.25, 1, 1}, 0.0, 1000)", 0},
        {"addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {1.0, 0, 1, 1}, 0.0, 1000)", 0},
        {"addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {1, 0, 1, 0.5}, 0.0, 1000)", 0},
        {"addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {1, 0, 1, 1}, 0.0, 16777217)", 1},
        {"addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {1, 0, 1, 1}, 0.0, 0.5)", 0},
        {"addCloud(\"polySurface2\", \"cloud_0\", {1, 2, 3}, {1, 0, 1, 1}, 0.0, 1000)", 0},
        {"addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {1, 0, 1, 1}, 0, 1000)", 0},
        {"addPoint(\"StartPos8\", {1, 2, 3}, {0, 90, 0})", 0},
        {"addPoint(\"StartPos10\", {1, 2, 3}, {0, 90, 0})", 0},
        {"addPoint(\"fx_point1\", {1, 2, 3}, {0, 90, 0})", 0},
        {"addPoint(\"StartPos2\", {1, 2, 3}, {0, 16777217, 0})", 0},
        {"addPoint(\"StartPos2\", {1, 2, 3}, {0, 22.5, 0})", 0},
        {"addPoint(\"StartPos1\", {1, 2, 3}, {1, 90, 0})", 0},
        {"addSquadron(\"Fleet\", \"Kus_Mothership\", {1, 2, 3}, 5, {0, 40000, 0}, 0, 0)", 1},
        {"addSquadron(\"Fleet\", 5, {1, 2, 3}, 5, {0, 0, 0}, 0, 0)", 0},
        {"addSquadron(\"Fleet\")", 0},
        // Part of a longer expression, or in a loop: the call is skipped, or read once, as values
        // would have it.
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0) .. \"x\"", 1},
        {"addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n  .. \"x\"", 1},
        {"for i = 1, 3 do addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0) end", 1},
        {"while 1 do addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0) end", 1},
    };
    for (const Case& c : cases) {
        const QByteArray text = body(c.lines);
        EXPECT_EQ(expectSameLevel(text, c.lines), c.taken) << c.lines;
    }
}

TEST(WrittenCalls, ItemsOutsideTheirOwnChunkKeepTheirCallAsValues)
{
    const QByteArray text = "function DetermChunk()\n"
                            "  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\n"
                            "end\n"
                            "function NonDetermChunk()\n"
                            "  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n"
                            "  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0)\n"
                            "end\n"
                            "function helper()\n"
                            "  addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n"
                            "end\n"
                            "addAsteroid(\"Asteroid_1\", {1, 2, 3}, 100, 0, 0, 0, 0)\n";
    EXPECT_EQ(expectSameLevel(text, "chunks"), 1); // only the pebble of NonDetermChunk
}

TEST(WrittenCalls, ALineLongerThanTheReadAheadIsReadAsValues)
{
    const QByteArray name(5000, 'n');
    const QByteArray text = body(("addAsteroid(\"" + name + "\", {1, 2, 3}, 100, 0, 0, 0, 0)").constData());
    expectSameLevel(text, "a 5,000-letter name");
}

TEST(WrittenCalls, TheWritersOwnOutputBuildsTheSameLevelBothWays)
{
    // The writer's own output of a level with every kind in it.
    LevelIO level;
    level.read(body("addPoint(\"StartPos0\", {1, 2, 3}, {0, 90, 0})\n"
                    "addAsteroid(\"Asteroid_2\", {1, 2, 3}, 100, 0, 0, 0, 0)\n"
                    "addCloud(\"polySurface1\", \"cloud_0\", {1, 2, 3}, {0.2, 0.4, 1, 1}, 0.0, 1000)\n"
                    "addSquadron(\"Fleet 1\", \"Kus_Mothership\", {1, 2, 3}, 5, {10, 20, 30}, 0, 0)\n"
                    "addSquadron(\"meg_asteroid\", \"meg_asteroid\", {1, 2, 3}, -1, {0, 0, 0}, 0, 0)\n"));
    const QByteArray written = level.write();
    EXPECT_GE(expectSameLevel(written, "written"), 5);
}

TEST(WrittenCalls, RealMapsBuildTheSameLevelBothWays)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "the real levels are missing";
    int taken = 0;
    for (const QString& file : files)
        taken += expectSameLevel(readBytes(file), file.toStdString());
    // Most real maps are written by other tools, yet many of their lines have the editor's shape.
    EXPECT_GT(taken, 0);
}

} // namespace
// A position whose list has a hole ({x, 5, 7} with x nil, as a script makes it) still holds its
// height and y: only the missing number is said, and the call is kept as it came.
TEST(LevelBuilder, APositionWithAHoleKeepsItsOtherNumbers)
{
    const Catalogue catalogue;
    ModelLists models(catalogue);
    Level level;
    LevelBuilder builder(level, models);
    LuaValue position = LuaValue::makeTable();
    position.fields.push_back({LuaValue::makeNumber(2), LuaValue::makeNumber(5)});
    position.fields.push_back({LuaValue::makeNumber(3), LuaValue::makeNumber(7)});
    LevelCall call;
    call.name = "addAsteroid";
    call.args = {LuaValue::makeString("Asteroid_1"), position, LuaValue::makeNumber(100), LuaValue::makeNumber(0),
        LuaValue::makeNumber(0), LuaValue::makeNumber(0), LuaValue::makeNumber(0)};
    call.line = 3;
    builder.call(call);
    const ReadResult result = builder.finish();
    const ResourceRecord& r = level.document.resources(ItemKind::Asteroid)[0];
    EXPECT_EQ(r.posX, 0);
    EXPECT_EQ(r.posZ, 5);
    EXPECT_EQ(r.posY, 7);
    ASSERT_EQ(result.problems.size(), 1u) << problemsText(result.problems).toStdString();
    EXPECT_TRUE(result.problems[0].reason.startsWith(QStringLiteral("the x position is missing; the map uses 0")));
    ASSERT_TRUE(r.source);
    EXPECT_EQ(r.source->arguments().at(1), position) << "saved as it came";
}

} // namespace starloom::test
