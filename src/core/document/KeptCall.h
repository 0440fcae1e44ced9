#pragma once

#include "LuaValue.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace starloom {

// Where a call is made: in the body of DetermChunk, of NonDetermChunk, or elsewhere (the main
// chunk, or a helper function). An item's `chunk` of Other means the chunk its kind belongs in.
enum class Chunk : std::uint8_t { Determ, NonDeterm, Other };

// A call of a game function that the editor keeps as the level gave it (a call it does not model,
// such as fogSetType or addSphere) and writes back into its chunk.
struct KeptCall {
    std::string name;
    std::vector<LuaValue> args;
    Chunk chunk = Chunk::Determ;

    bool operator==(const KeptCall&) const = default;
};

// The editor's own level-wide lines, in the order it writes them.
enum class FixedLine : std::uint8_t {
    WorldBoundsInner, // setWorldBoundsInner({0, 0, 0}, {SX, SZ, SY})
    FogActive,        // fogSetActive(0)
    GlareIntensity,   // setGlareIntensity(0)
    ShadowColour,     // setLevelShadowColour(0, 0, 0, 1)
    Background,       // loadBackground("BG")
    CameraDistances,  // setSensorsManagerCameraDistances(CMIN, CMAX)
    DefaultMusic,     // setDefaultMusic("Data:sound/music/MUSIC")
};
inline constexpr int fixedLineCount = 7;

// The function name of a fixed line, and the chunk the editor writes it in.
const char* fixedLineName(FixedLine line);
Chunk fixedLineChunk(FixedLine line);
std::optional<FixedLine> fixedLineNamed(std::string_view name);

// A fixed line as a file gave it: the call, and the texts of the settings it set (the world size,
// the background, ...) as they were read. The writer writes the call as given while those
// settings are unchanged, and puts the new values in where the user changed them.
struct FixedCall {
    KeptCall call;
    QStringList settingsAsRead;

    bool operator==(const FixedCall&) const = default;
};

using FixedCalls = std::array<std::optional<FixedCall>, fixedLineCount>;

} // namespace starloom
