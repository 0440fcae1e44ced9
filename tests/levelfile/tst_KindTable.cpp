// Every place that works per kind of item works from the kind table: a kind is one row of it (and
// its argument layout). These tests run over the table's rows, so a row added to it is covered
// without a change here, and fail where some part of the editor still knows the kinds by heart.

#include "document/ItemFields.h"
#include "document/LevelDocument.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace starloom::test {
namespace {

std::string kindName(const testing::TestParamInfo<ItemKind>& info)
{
    return kindInfo(info.param).name;
}

class EveryKind : public testing::TestWithParam<ItemKind> {};

INSTANTIATE_TEST_SUITE_P(KindTable, EveryKind, testing::ValuesIn(allKinds), kindName);

TEST_P(EveryKind, LayoutStandsAtItsKind)
{
    EXPECT_EQ(kindLayout(GetParam()).kind, GetParam());
}

// The panel fields a layout's arguments name exist.
void expectFieldsExist(const KindLayout& layout, const std::vector<ArgShape>& shapes)
{
    for (const ArgShape& shape : shapes) {
        if (shape.role == ArgRole::Field) {
            EXPECT_LT(static_cast<std::size_t>(shape.field), layout.fields.size());
        }
        expectFieldsExist(layout, shape.elements);
    }
}

TEST_P(EveryKind, ArgumentsNameExistingFields)
{
    const KindLayout& layout = kindLayout(GetParam());
    ASSERT_FALSE(layout.args.empty());
    expectFieldsExist(layout, layout.args);
}

class EveryArrayKind : public testing::TestWithParam<ItemKind> {};

INSTANTIATE_TEST_SUITE_P(KindTable, EveryArrayKind, testing::ValuesIn(arrayKinds), kindName);

TEST_P(EveryArrayKind, DocumentHoldsItsRecordsApart)
{
    const ItemKind kind = GetParam();
    LevelDocument doc;
    ASSERT_EQ(doc.appendRecord(kind, blankRecord(kind)), std::optional<std::int16_t>(0));
    for (ItemKind other : arrayKinds)
        EXPECT_EQ(doc.itemCount(other), other == kind ? 1 : 0) << kindInfo(other).name;
    doc.removeLastItem(kind);
    EXPECT_EQ(doc.itemCount(kind), 0);
}

// One item of the kind, written and read back: the reader's dispatch finds the kind again from
// its call, both when the call is read from its bytes and when it is read as values.
TEST_P(EveryKind, WrittenItemReadsBackAsItsKind)
{
    const ItemKind kind = GetParam();
    const Catalogue catalogue;
    ModelLists models(catalogue);
    Level level;
    level.document.setPlayerColours();
    AnyRecord record = blankRecord(kind);
    std::visit(
        [&](auto& r) {
            r.posX = 100;
            r.posY = -200;
            r.posZ = 300;
            if constexpr (std::is_same_v<std::decay_t<decltype(r)>, PlayerStartRecord>) {
                r.label = QStringLiteral("Player 1");
            } else if (!models.list(kind).isEmpty()) {
                r.modelIndex = 0;
            } else {
                r.modelIndex = -1;
                r.customName = QStringLiteral("custom_model");
            }
        },
        record);
    if (kindInfo(kind).layout == RecordLayout::PlayerSlots)
        level.document.setRecord(kind, 0, record);
    else
        level.document.appendRecord(kind, record);
    QByteArray bytes = writeLevel(level, models, true); // no empty start slots
    // The same call with a blank after each comma is no longer written as the writer writes it.
    QByteArray spaced = QByteArray(bytes).replace(", ", " ,  ");
    for (QByteArray* text : {&bytes, &spaced}) {
        Level read;
        read.document.setPlayerColours();
        QBuffer buffer(text);
        buffer.open(QIODevice::ReadOnly);
        const ReadResult result = readLevel(buffer, read, models);
        EXPECT_EQ(result.itemsRead, 1) << text->toStdString();
        for (ItemKind other : allKinds)
            EXPECT_EQ(read.document.liveCount(other), other == kind ? 1 : 0) << kindInfo(other).name;
        EXPECT_EQ(read.document.position(kind, 0).x, 100);
        EXPECT_EQ(read.document.position(kind, 0).y, -200);
        EXPECT_EQ(read.document.position(kind, 0).z, 300);
    }
}

TEST(KindTable, CallWithTypePrefixTellsEveryKindApart)
{
    // Of kinds sharing one call, at most one goes without a type prefix, and no two share one.
    std::set<std::pair<std::string, std::string>> seen;
    for (const KindInfo& info : kindTable)
        EXPECT_TRUE(seen.emplace(info.call, info.typePrefix ? info.typePrefix : "").second) << info.name;
}

TEST(KindTable, CaptionsOfEveryKindDiffer)
{
    std::set<std::string> captions, counts, labels;
    for (const KindInfo& info : kindTable) {
        EXPECT_TRUE(captions.insert(info.caption).second) << info.name;
        EXPECT_TRUE(counts.insert(info.countCaption).second) << info.name;
        EXPECT_TRUE(labels.insert(info.labelsCaption).second) << info.name;
    }
}

} // namespace
} // namespace starloom::test
