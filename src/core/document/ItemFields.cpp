#include "ItemFields.h"

#include <array>
#include <type_traits>

namespace starloom {

namespace {

template <class> struct MemberOf;
template <class Rec, class T> struct MemberOf<T Rec::*> {
    using Record = Rec;
    using Type = T;
};

template <auto Member> double getMember(const AnyRecord& record)
{
    using Rec = typename MemberOf<decltype(Member)>::Record;
    return static_cast<double>(std::get<Rec>(record).*Member);
}

template <auto Member> void setMember(AnyRecord& record, double value)
{
    using M = MemberOf<decltype(Member)>;
    std::get<typename M::Record>(record).*Member = static_cast<typename M::Type>(value);
}

template <auto Member>
ItemField field(
    const char* caption, const char* defaultText, const char* what, bool strictWhenPlaced = false, bool colour = false)
{
    using T = typename MemberOf<decltype(Member)>::Type;
    const FieldType type = std::is_same_v<T, float> ? FieldType::Float32
        : std::is_same_v<T, std::int16_t>           ? FieldType::Int16
                                                    : FieldType::Int32;
    return {caption, defaultText, what, type, strictWhenPlaced, colour, &getMember<Member>, &setMember<Member>};
}

ItemField unstored(const char* caption)
{
    return {caption, "0", "", FieldType::Int32, false, false, nullptr, nullptr};
}

ItemField named(ItemField f, const char* label, const char* tip)
{
    f.label = label;
    f.tip = tip;
    return f;
}

ArgShape arg(ArgRole role)
{
    return {role, -1, nullptr, {}};
}

ArgShape fieldArg(int index)
{
    return {ArgRole::Field, index, nullptr, {}};
}

ArgShape kept(const char* text)
{
    return {ArgRole::Kept, -1, text, {}};
}

ArgShape table(std::vector<ArgShape> elements)
{
    return {ArgRole::Table, -1, nullptr, std::move(elements)};
}

template <class Rec> std::vector<ItemField> colourFields()
{
    return {named(field<&Rec::red>("Red [0-255]", "128", "red", false, true), nullptr,
                "The red part of its colour, 0 to 255"),
        named(field<&Rec::green>("Green [0-255]", "128", "green", false, true), nullptr,
            "The green part of its colour, 0 to 255"),
        named(field<&Rec::blue>("Blue [0-255]", "128", "blue", false, true), nullptr,
            "The blue part of its colour, 0 to 255"),
        named(field<&Rec::size>("Size", "100", "size"), "Size (world units)",
            "How far it reaches, in world units (the last argument of its call)")};
}

std::vector<ArgShape> cloudArgs(ArgRole first, const char* firstText = nullptr)
{
    ArgShape name = first == ArgRole::Kept ? kept(firstText) : arg(first);
    return {name, arg(ArgRole::Model), arg(ArgRole::Position),
        table({fieldArg(0), fieldArg(1), fieldArg(2), kept("1")}), kept("0.0"), fieldArg(3)};
}

const std::array<KindLayout, kindCount>& layouts()
{
    static const std::array<KindLayout, kindCount> all = {{
        {ItemKind::PlayerStart,
            {arg(ArgRole::SlotName), arg(ArgRole::Position), table({kept("0"), fieldArg(0), kept("0")})},
            // The file's rotation is {0, orientation, 0}: the turn about the vertical axis alone.
            {named(field<&PlayerStartRecord::orientation>("Orientation", "0", "orientation"), "Yaw (degrees)",
                 "The way the start point faces: its turn about the vertical axis, in degrees (the middle angle "
                 "of its rotation). The top view draws it as the heading line: 0 points up the map, 90 right."),
                named(unstored("Rotation 1?"), "Pitch (always 0)",
                    "A start point's turn about the X axis (the first angle of its rotation): the level file "
                    "always gives it 0."),
                named(unstored("Rotation 2?"), "Roll (always 0)",
                    "A start point's turn about the Z axis (the last angle of its rotation): the level file "
                    "always gives it 0.")},
            nullptr, true},
        {ItemKind::Asteroid,
            {arg(ArgRole::Model), arg(ArgRole::Position), fieldArg(0), kept("0"), kept("0"), kept("0"), kept("0")},
            {named(field<&ResourceRecord::resourcePercent>("% RUs", "100", "resource percentage", true),
                "Resources (%)", "The resource units it holds, in percent of its model's own amount")},
            nullptr, false},
        {ItemKind::Cloud, cloudArgs(ArgRole::Kept, "\"polySurface1\""), colourFields<CloudRecord>(), nullptr, false},
        {ItemKind::DustCloud, cloudArgs(ArgRole::Kept, "\"polySurface1\""), colourFields<CloudRecord>(), nullptr,
            false},
        {ItemKind::Megalith,
            {arg(ArgRole::Name), arg(ArgRole::Model), arg(ArgRole::Position), kept("-1"), kept("{0, 0, 0}"), kept("0"),
                kept("0")},
            {}, "No Defined Properties", false},
        {ItemKind::Nebula, cloudArgs(ArgRole::Name), colourFields<CloudRecord>(), nullptr, false},
        {ItemKind::Pebble, {arg(ArgRole::Model), arg(ArgRole::Position), kept("0"), kept("0"), kept("0")}, {},
            "No Defined Properties", false},
        {ItemKind::Salvage,
            {arg(ArgRole::Model), arg(ArgRole::Position), fieldArg(0), kept("0"), kept("0"), kept("0"), kept("0")},
            {named(field<&ResourceRecord::resourcePercent>("% RUs", "100", "resource percentage"), "Resources (%)",
                "The resource units it holds, in percent of its model's own amount")},
            nullptr, false},
        // The rotation table holds orientation, rotation2, rotation1: the axis order of positions.
        {ItemKind::Ship,
            {arg(ArgRole::Name), arg(ArgRole::Model), arg(ArgRole::Position), fieldArg(3),
                table({fieldArg(0), fieldArg(2), fieldArg(1)}), kept("0"), kept("0")},
            // The angles turn about the axes of positions, {x, height, y}; a ship's nose points along
            // its z axis.
            {named(field<&ShipRecord::orientation>("Orientation", "0", "orientation", true), "Pitch (degrees)",
                 "The squadron's turn about the X axis, nose up or down, in degrees (the first angle of its "
                 "rotation)"),
                named(field<&ShipRecord::rotation1>("Rotation?", "0", "rotation", true), "Roll (degrees)",
                    "The squadron's turn about its nose (the Z axis), in degrees (the last angle of its rotation)"),
                named(field<&ShipRecord::rotation2>("Rotation?", "0", "rotation", true), "Yaw (degrees)",
                    "The way the squadron faces: its turn about the vertical axis, in degrees (the middle angle "
                    "of its rotation)"),
                named(field<&ShipRecord::player>("Player", "0", "owner", true), "Owner (player)",
                    "The player who owns the squadron, counted from 0; -1 for none")},
            nullptr, false},
    }};
    return all;
}

} // namespace

const KindLayout& kindLayout(ItemKind kind)
{
    return layouts()[static_cast<std::size_t>(typeIdOf(kind) - 1)];
}

AnyRecord blankRecord(ItemKind kind)
{
    switch (kindInfo(kind).layout) {
    case RecordLayout::PlayerSlots:
        return PlayerStartRecord{};
    case RecordLayout::Resource:
        return ResourceRecord{};
    case RecordLayout::Cloud:
        return CloudRecord{};
    case RecordLayout::Prop:
        return PropRecord{};
    case RecordLayout::Ship:
        break;
    }
    return ShipRecord{};
}

Chunk itemChunk(ItemKind kind, Chunk recordChunk)
{
    return recordChunk == Chunk::Other ? kindInfo(kind).chunk : recordChunk;
}

} // namespace starloom
