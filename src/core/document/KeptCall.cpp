#include "KeptCall.h"

namespace starloom {

namespace {

struct FixedLineInfo {
    const char* name;
    Chunk chunk;
};

constexpr std::array<FixedLineInfo, fixedLineCount> fixedLines = {{
    {"setWorldBoundsInner", Chunk::Determ},
    {"fogSetActive", Chunk::NonDeterm},
    {"setGlareIntensity", Chunk::NonDeterm},
    {"setLevelShadowColour", Chunk::NonDeterm},
    {"loadBackground", Chunk::NonDeterm},
    {"setSensorsManagerCameraDistances", Chunk::NonDeterm},
    {"setDefaultMusic", Chunk::NonDeterm},
}};

} // namespace

const char* fixedLineName(FixedLine line)
{
    return fixedLines[static_cast<std::size_t>(line)].name;
}

Chunk fixedLineChunk(FixedLine line)
{
    return fixedLines[static_cast<std::size_t>(line)].chunk;
}

std::optional<FixedLine> fixedLineNamed(std::string_view name)
{
    for (std::size_t i = 0; i < fixedLines.size(); ++i) {
        if (name == fixedLines[i].name)
            return static_cast<FixedLine>(i);
    }
    return std::nullopt;
}

} // namespace starloom
