#include "GameFunctions.h"

#include "document/ItemKind.h"

#include <array>

namespace starloom {

bool isKnownGameFunction(std::string_view name)
{
    // clang-format off
    // level-wide calls of real maps besides the editor's own
    static constexpr std::array<std::string_view, 21> levelWide = {
        "setWorldBoundsOuter", "fogSetType", "fogSetStart", "fogSetEnd", "fogSetColour", "fogSetDensity",
        "setBattleMusic", "setDustCloudAmbient", "setNebulaAmbient", "addSphere", "addCamera", "addPath",
        "addResourcePatch", "addMissile", "addAxisAlignBox", "createSOBGroup", "addToSOBGroup",
        "addReactiveFleetSlot", "addAmbientSound", "setSensorsThreshold", "setMaxCameraDistance",
    };
    // clang-format on
    // The item calls (those of the kind table), the editor's level-wide lines (those of their
    // layouts) and the other level-wide calls, grouped by length: a lookup compares only the few
    // names of the same length.
    constexpr std::size_t longest = 32;
    constexpr std::size_t count = levelWide.size() + kindTable.size() + fixedLineCount;
    struct ByLength {
        std::array<std::array<std::string_view, count>, longest + 1> lists{};
        std::array<std::size_t, longest + 1> counts{};
    };
    static const ByLength byLength = [] {
        ByLength b;
        auto add = [&b](std::string_view n) {
            for (std::size_t i = 0; i < b.counts[n.size()]; ++i)
                if (b.lists[n.size()][i] == n)
                    return; // megaliths and ships share addSquadron
            b.lists[n.size()][b.counts[n.size()]++] = n;
        };
        for (const KindInfo& info : kindTable)
            add(info.call);
        for (int line = 0; line < fixedLineCount; ++line)
            add(fixedLineName(static_cast<FixedLine>(line)));
        for (std::string_view n : levelWide)
            add(n);
        return b;
    }();
    if (name.size() > longest)
        return false;
    const auto& candidates = byLength.lists[name.size()];
    for (std::size_t i = 0; i < byLength.counts[name.size()]; ++i)
        if (candidates[i] == name)
            return true;
    return false;
}

bool isGameFunction(std::string_view name)
{
    for (std::string_view prefix : {std::string_view("add"), std::string_view("set"), std::string_view("fog"),
             std::string_view("create"), std::string_view("load")}) {
        if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) {
            const char next = name[prefix.size()];
            if (next >= 'A' && next <= 'Z')
                return true;
        }
    }
    return isKnownGameFunction(name);
}

} // namespace starloom
