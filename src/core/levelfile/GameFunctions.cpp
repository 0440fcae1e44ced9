#include "GameFunctions.h"

#include <algorithm>
#include <array>

namespace starloom {

bool isKnownGameFunction(std::string_view name)
{
    static constexpr std::array<std::string_view, 36> names = {
        // items
        "addPoint",
        "addAsteroid",
        "addCloud",
        "addDustCloud",
        "addSquadron",
        "addNebula",
        "addSalvage",
        "addPebble",
        // the level-wide calls the editor writes
        "setWorldBoundsInner",
        "fogSetActive",
        "setGlareIntensity",
        "setLevelShadowColour",
        "loadBackground",
        "setSensorsManagerCameraDistances",
        "setDefaultMusic",
        // level-wide calls of real maps
        "setWorldBoundsOuter",
        "fogSetType",
        "fogSetStart",
        "fogSetEnd",
        "fogSetColour",
        "fogSetDensity",
        "setBattleMusic",
        "setDustCloudAmbient",
        "setNebulaAmbient",
        "addSphere",
        "addCamera",
        "addPath",
        "addResourcePatch",
        "addMissile",
        "addAxisAlignBox",
        "createSOBGroup",
        "addToSOBGroup",
        "addReactiveFleetSlot",
        "addAmbientSound",
        "setSensorsThreshold",
        "setMaxCameraDistance",
    };
    // Sorted by length, then text: a lookup compares only names of the same length.
    static const std::array<std::string_view, names.size()> sorted = [] {
        auto s = names;
        std::sort(s.begin(), s.end(),
            [](std::string_view a, std::string_view b) { return a.size() != b.size() ? a.size() < b.size() : a < b; });
        return s;
    }();
    return std::binary_search(sorted.begin(), sorted.end(), name,
        [](std::string_view a, std::string_view b) { return a.size() != b.size() ? a.size() < b.size() : a < b; });
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
