#include "SettingsLines.h"

#include <array>

namespace starloom {

namespace {

SettingArg number(QString MapSettings::*member, const char* what)
{
    return {SettingRole::Number, member, what, nullptr, {}};
}

SettingArg text(QString MapSettings::*member, const char* what, const char* prefix = nullptr)
{
    return {SettingRole::Text, member, what, prefix, {}};
}

SettingArg kept(const char* luaText)
{
    return {SettingRole::Kept, nullptr, nullptr, luaText, {}};
}

SettingArg table(const char* notTable, std::vector<SettingArg> elements)
{
    return {SettingRole::Table, nullptr, notTable, nullptr, std::move(elements)};
}

const std::array<SettingsLineLayout, fixedLineCount>& layouts()
{
    static const std::array<SettingsLineLayout, fixedLineCount> all = {{
        {FixedLine::WorldBoundsInner, "setWorldBoundsInner", Chunk::Determ,
            {kept("{0, 0, 0}"),
                table("the world size is not a table of three numbers; kept as it was",
                    {number(&MapSettings::sizeX, "world size X"), number(&MapSettings::sizeZ, "world size Z"),
                        number(&MapSettings::sizeY, "world size Y")})}},
        {FixedLine::FogActive, "fogSetActive", Chunk::NonDeterm, {kept("0")}},
        {FixedLine::GlareIntensity, "setGlareIntensity", Chunk::NonDeterm, {kept("0")}},
        {FixedLine::ShadowColour, "setLevelShadowColour", Chunk::NonDeterm,
            {kept("0"), kept("0"), kept("0"), kept("1")}},
        {FixedLine::Background, "loadBackground", Chunk::NonDeterm, {text(&MapSettings::background, "background")}},
        {FixedLine::CameraDistances, "setSensorsManagerCameraDistances", Chunk::NonDeterm,
            {number(&MapSettings::cameraMin, "minimum camera distance"),
                number(&MapSettings::cameraMax, "maximum camera distance")}},
        {FixedLine::DefaultMusic, "setDefaultMusic", Chunk::NonDeterm,
            {text(&MapSettings::music, "music", "Data:sound/music/")}},
    }};
    return all;
}

void appendTexts(const MapSettings& settings, const std::vector<SettingArg>& args, QStringList& out)
{
    for (const SettingArg& arg : args) {
        if (arg.member)
            out << settings.*arg.member;
        appendTexts(settings, arg.elements, out);
    }
}

} // namespace

const SettingsLineLayout& settingsLineLayout(FixedLine line)
{
    return layouts()[static_cast<std::size_t>(line)];
}

QStringList settingTexts(const MapSettings& settings, FixedLine line)
{
    QStringList texts;
    appendTexts(settings, settingsLineLayout(line).args, texts);
    return texts;
}

const char* fixedLineName(FixedLine line)
{
    return settingsLineLayout(line).call;
}

Chunk fixedLineChunk(FixedLine line)
{
    return settingsLineLayout(line).chunk;
}

std::optional<FixedLine> fixedLineNamed(std::string_view name)
{
    for (const SettingsLineLayout& layout : layouts()) {
        if (name == layout.call)
            return layout.line;
    }
    return std::nullopt;
}

} // namespace starloom
