// A level at the full cap of every kind: 8 x 32767 items and 6 start points.

#include "EditorFixture.h"
#include "TestSupport.h"

#include "levelfile/LevelWriter.h"

#include <QTemporaryDir>

namespace starloom::test {
namespace {

QByteArray fullCapLevel()
{
    Level level;
    LevelDocument& doc = level.document;
    level.settings.playerIndex = 4;
    level.settings.background = QStringLiteral("m02");
    level.settings.music = QStringLiteral("Ambient/amb_03");
    for (int slot = 0; slot < playerSlots; ++slot)
        doc.player(slot) = {QStringLiteral("Player %1").arg(slot + 1), slot * 1000, -slot * 1000, slot,
            15.5f * float(slot), playerColour(slot), Chunk::Other, {}};
    for (ItemKind kind : arrayKinds)
        for (int i = 0; i < maxRecordsPerKind; ++i) {
            const int x = static_cast<int>((i * 7919LL) % 60000) - 30000;
            const int y = static_cast<int>((i * 104729LL) % 60000) - 30000;
            doc.visit(kind, 0, [&](auto& sample) {
                auto r = std::decay_t<decltype(sample)>{};
                if constexpr (!std::is_same_v<decltype(r), PlayerStartRecord>) {
                    r.posX = x;
                    r.posY = y;
                    r.posZ = i % 2000 - 1000;
                    r.modelIndex = static_cast<std::int16_t>(i % 3);
                    doc.appendItem(kind, r);
                }
            });
        }
    Catalogue catalogue;
    ModelLists models(catalogue);
    return writeLevel(level, models);
}

TEST_F(EditorTest, AFullCapLevelRoundTripsThroughTheEditor)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("full.level")), out = dir.filePath(QStringLiteral("again.level"));
    const QByteArray original = fullCapLevel();
    writeBytes(in, original);
    ASSERT_TRUE(editor->loadFile(in));
    EXPECT_TRUE(host.messages.empty() && host.notes.empty()) << host.lastNote().toStdString();

    // One row and one label for every live item, in step, with unique keys.
    std::size_t live = 0;
    for (ItemKind kind : allKinds) {
        live += static_cast<std::size_t>(doc().liveCount(kind));
        EXPECT_EQ(editor->liveCount(kind), doc().liveCount(kind));
    }
    ASSERT_EQ(live, 8u * 32767u + 6u);
    ASSERT_EQ(editor->rows().size(), live);
    ASSERT_EQ(editor->labelCount(), static_cast<int>(live));
    for (int row : {0, 6, 100000, static_cast<int>(live) - 1}) {
        EXPECT_EQ(editor->labelFor(row).key, rowKey(row));
        EXPECT_EQ(editor->rowForKey(rowKey(row)), row);
        EXPECT_EQ(editor->labelFor(row).caption, editor->rows()[static_cast<std::size_t>(row)].text);
    }

    // Every kind is full: one more placement is refused with a note and changes nothing.
    place(ItemKind::Asteroid, 0, 0);
    EXPECT_TRUE(host.lastNote().contains(QLatin1String("32767")));
    EXPECT_EQ(editor->rows().size(), live);

    host.saveNames.push_back(out);
    ASSERT_TRUE(editor->saveAs());
    EXPECT_EQ(readBytes(out), original);
}

} // namespace
} // namespace starloom::test
