#include "GeneratedLevel.h"

#include "levelfile/LevelWriter.h"

#include <random>

namespace starloom::bench {

Level generatedLevel(int items)
{
    Level level;
    LevelDocument& document = level.document;
    MapSettings& settings = level.settings;
    document.setPlayerColours();
    settings.playerIndex = 4;
    settings.background = QStringLiteral("m01");
    settings.music = QStringLiteral("Ambient/amb_01");
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> pos(-29000, 29000);
    std::uniform_int_distribution<int> height(-5000, 5000);
    constexpr int starts = 6; // one per player of the six-player level
    for (int slot = 0; slot < starts; ++slot) {
        PlayerStartRecord& p = document.player(slot);
        p.label = QStringLiteral("Player %1").arg(slot + 1);
        p.posX = pos(rng);
        p.posY = pos(rng);
        p.orientation = 90.0f;
    }
    const int perKind = std::min((std::max(items - starts, 0) + 7) / 8, maxRecordsPerKind);
    int left = std::max(items - starts, 0);
    for (ItemKind kind : arrayKinds) {
        const int n = std::min(perKind, left);
        left -= n;
        for (int i = 0; i < n; ++i) {
            document.visit(kind, 0, [&](auto& sample) {
                auto r = std::decay_t<decltype(sample)>{};
                r.posX = pos(rng);
                r.posY = pos(rng);
                r.posZ = height(rng);
                r.drawColour = kindInfo(kind).drawColour;
                if constexpr (std::is_same_v<decltype(r), ResourceRecord>) {
                    r.resourcePercent = 100;
                    r.modelIndex = static_cast<std::int16_t>(i % 4);
                } else if constexpr (std::is_same_v<decltype(r), CloudRecord>) {
                    r.red = 128;
                    r.green = 64;
                    r.blue = 255;
                    r.size = 1000;
                    r.modelIndex = static_cast<std::int16_t>(i % 3);
                } else if constexpr (std::is_same_v<decltype(r), ShipRecord>) {
                    r.modelIndex = static_cast<std::int16_t>(i % 70);
                    r.orientation = 90;
                } else if constexpr (std::is_same_v<decltype(r), PropRecord>) {
                    r.modelIndex = static_cast<std::int16_t>(i % 3);
                }
                if constexpr (!std::is_same_v<decltype(r), PlayerStartRecord>)
                    document.appendItem(kind, r);
            });
        }
    }
    return level;
}

QByteArray variedLevelText(int items)
{
    Catalogue catalogue;
    ModelLists models(catalogue);
    // The settings, players and start points as the editor writes them; the items as map makers do.
    QByteArray text = writeLevel(generatedLevel(6), models);
    std::mt19937 rng(54321);
    auto uniform = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    auto coordinate = [&](int range) {
        const int whole = uniform(-range, range);
        return uniform(0, 3) == 0 ? QByteArray::number(whole) + '.' + QByteArray::number(uniform(1, 9))
                                  : QByteArray::number(whole);
    };
    auto position = [&] { return '{' + coordinate(29000) + ',' + coordinate(5000) + ',' + coordinate(29000) + '}'; };
    auto model = [&](ItemKind kind) {
        const QStringList& list = models.list(kind);
        if (list.isEmpty() || uniform(0, 19) == 0)
            return QByteArray("custom_") + kindInfo(kind).name + '_' + QByteArray::number(uniform(1, 40));
        return list[uniform(0, int(list.size()) - 1)].toLatin1();
    };
    auto fraction = [&] { return QByteArray::number(uniform(0, 1000) / 1000.0); };
    QByteArray determ;
    QByteArray nondeterm;
    const int perKind = std::min((std::max(items - 6, 0) + 7) / 8, maxRecordsPerKind);
    int left = std::max(items - 6, 0);
    for (const ItemKind kind : arrayKinds) {
        const int n = std::min(perKind, left);
        left -= n;
        const QByteArray call = QByteArray("\t") + kindInfo(kind).call + '(';
        for (int i = 0; i < n; ++i) {
            QByteArray line = call;
            switch (kind) {
            case ItemKind::Asteroid:
            case ItemKind::Salvage:
                line += '"' + model(kind) + "\"," + position() + ',' + QByteArray::number(uniform(20, 150)) + ",0,0,"
                    + QByteArray::number(uniform(0, 90)) + ',' + QByteArray::number(uniform(0, 90)) + ')';
                break;
            case ItemKind::Cloud:
            case ItemKind::DustCloud:
            case ItemKind::Nebula:
                line += "\"" + QByteArray(kindInfo(kind).name) + QByteArray::number(i) + "\",\"" + model(kind) + "\","
                    + position() + ",{" + fraction() + ',' + fraction() + ',' + fraction() + ",1},0,"
                    + QByteArray::number(uniform(500, 8000)) + ')';
                break;
            case ItemKind::Megalith:
            case ItemKind::Ship:
                line += "\"" + QByteArray(kindInfo(kind).name) + '_' + QByteArray::number(i) + "\",\"" + model(kind)
                    + "\"," + position() + ',' + QByteArray::number(uniform(-1, 5)) + ",{0,"
                    + QByteArray::number(uniform(0, 3599) / 10.0) + ",0},0,0)";
                break;
            case ItemKind::Pebble:
                line += '"' + model(kind) + "\"," + position() + ",0,0,0)";
                break;
            default:
                continue;
            }
            (kindInfo(kind).chunk == Chunk::NonDeterm ? nondeterm : determ) += line + '\n';
        }
    }
    text.replace("function DetermChunk()\r\n", "function DetermChunk()\r\n" + determ);
    text.replace("function DetermChunk()\n", "function DetermChunk()\n" + determ);
    text.replace("function NonDetermChunk()\r\n", "function NonDetermChunk()\r\n" + nondeterm);
    text.replace("function NonDetermChunk()\n", "function NonDetermChunk()\n" + nondeterm);
    return text;
}

QByteArray generatedLevelText(int items)
{
    Catalogue catalogue;
    ModelLists models(catalogue);
    return writeLevel(generatedLevel(items), models);
}

} // namespace starloom::bench
