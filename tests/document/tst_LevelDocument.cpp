#include "document/LevelDocument.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace starloom;

namespace {

TEST(LevelDocument, StartsEmptyWithOneSparePerArray)
{
    LevelDocument doc;
    for (ItemKind kind : arrayKinds)
        EXPECT_EQ(doc.itemCount(kind), 0);
    EXPECT_EQ(doc.resources(ItemKind::Asteroid).size(), 1u);
    for (int slot = 0; slot < playerSlots; ++slot)
        EXPECT_FALSE(doc.isLive(ItemKind::PlayerStart, slot));
}

TEST(LevelDocument, DeletionMarksAnItemKeepingTheIndices)
{
    LevelDocument doc;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(doc.appendItem(ItemKind::Asteroid, ResourceRecord{}), i);
    doc.markDeleted(ItemKind::Asteroid, 1);
    EXPECT_EQ((std::array{doc.isLive(ItemKind::Asteroid, 0), doc.isLive(ItemKind::Asteroid, 1),
                  doc.isLive(ItemKind::Asteroid, 2)}),
        (std::array{true, false, true}));
    EXPECT_EQ(doc.itemCount(ItemKind::Asteroid), 3);
    EXPECT_EQ(doc.resources(ItemKind::Asteroid)[1].deleted, recordDeleted);
    EXPECT_EQ(doc.appendItem(ItemKind::Asteroid, ResourceRecord{}), 3);
    EXPECT_EQ(doc.liveCount(ItemKind::Asteroid), 3);
}

TEST(LevelDocument, ADeletedStartKeepsItsFields)
{
    LevelDocument doc;
    doc.setPlayerColours();
    doc.player(1) = test::filled<PlayerStartRecord>([](auto& r) {
        r.label = QStringLiteral("Player 2"), r.posX = 10, r.posY = 20, r.posZ = 30, r.orientation = 45.0f;
        r.drawColour = playerColour(1);
    });
    doc.markDeleted(ItemKind::PlayerStart, 1);
    EXPECT_EQ(doc.isLive(ItemKind::PlayerStart, 1), false);
    EXPECT_EQ(doc.player(1).posX, 10);
    EXPECT_EQ(doc.player(1).drawColour, rgb(0, 255, 0));
    EXPECT_EQ(doc.player(1).orientation, 45.0f);
}

TEST(LevelDocument, AFullKindRefusesTheNextRecordLeavingItIntact)
{
    LevelDocument doc;
    for (int i = 0; i < maxRecordsPerKind; ++i)
        ASSERT_TRUE(doc.appendItem(ItemKind::Pebble, PropRecord{}).has_value());
    EXPECT_TRUE(doc.isFull(ItemKind::Pebble));
    EXPECT_FALSE(doc.appendItem(ItemKind::Pebble, test::filled<PropRecord>([](auto& r) { r.posX = 99; })).has_value());
    EXPECT_EQ(doc.itemCount(ItemKind::Pebble), maxRecordsPerKind) << "the spare stays blank";
    EXPECT_EQ(doc.props(ItemKind::Pebble).back().posX, 0) << "the spare stays blank";
}

TEST(LevelDocument, WrongLayoutIsALogicError)
{
    LevelDocument doc;
    EXPECT_THROW(doc.appendItem(ItemKind::Cloud, ResourceRecord{}), std::logic_error);
}

TEST(LevelDocument, RemoveLastItemUndoesAnAppend)
{
    LevelDocument doc;
    doc.appendItem(ItemKind::Nebula, test::filled<CloudRecord>([](auto& r) { r.size = 5; }));
    doc.removeLastItem(ItemKind::Nebula);
    EXPECT_EQ(doc, LevelDocument());
}

TEST(LevelDocument, ResetEmptiesEverything)
{
    LevelDocument doc;
    doc.appendItem(ItemKind::Ship, ShipRecord{});
    doc.player(0).label = QStringLiteral("Player 1");
    doc.resetDocument();
    EXPECT_EQ(doc, LevelDocument());
}

} // namespace

namespace {

LuaValue number(double v, std::string numeral = {})
{
    return LuaValue::makeNumber(v, std::move(numeral));
}

// What an item keeps of the call it was read from is one block of bytes that gives back the very
// values: numerals as written, strings with any byte, nil, tables' lists and fields in their order.
TEST(ItemSourceArguments, GiveBackTheValuesTheyWereMadeFrom)
{
    LuaValue table = LuaValue::makeTable();
    table.items = {number(1.5, "1.50"), number(-0.0), LuaValue::makeString(std::string("a\0\xff\"b", 5))};
    table.fields = {{LuaValue::makeString("name"), number(3)}, {number(7), LuaValue::makeTable()}};
    LuaValue nested = LuaValue::makeTable();
    nested.items = {table, LuaValue{}, table};
    const std::vector<std::vector<LuaValue>> cases = {
        {},
        {LuaValue{}},
        {LuaValue::makeString(""), number(0, "0.0"), number(1e300), number(-2147483648.0, "-2147483648")},
        {LuaValue::makeString(std::string(300, 'x')), table},
        {nested, number(0.1, "0.1000000000000000055511151231257827")},
    };
    for (const std::vector<LuaValue>& values : cases) {
        ItemSource source;
        source.args = encodeLuaValues(values);
        const std::vector<LuaValue> back = source.arguments();
        EXPECT_EQ(back, values) << values.size();
        for (std::size_t i = 0; i < std::min(back.size(), values.size()); ++i)
            EXPECT_EQ(luaText(back[i]), luaText(values[i])) << i;
    }
    // Cut short, the bytes give what they hold and no more (never a read past their end).
    const std::string bytes = encodeLuaValues({nested, table});
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_LE(decodeLuaValues(std::string_view(bytes).substr(0, n)).size(), 2u);
}

} // namespace
