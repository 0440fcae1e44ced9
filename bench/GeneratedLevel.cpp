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

QByteArray generatedLevelText(int items)
{
    Catalogue catalogue;
    ModelLists models(catalogue);
    return writeLevel(generatedLevel(items), models);
}

} // namespace starloom::bench
