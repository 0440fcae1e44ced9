#pragma once

#include "ItemKind.h"
#include "KeptCall.h"
#include "LevelDocument.h"

#include <cstdint>
#include <vector>

namespace starloom {

// The width of a record member that a panel field stores into.
enum class FieldType : std::uint8_t { Int16, Int32, Float32 };

// One of the (at most four) value fields of the property panel for a kind: what the panel shows,
// how its text becomes a record value, and which member of the record holds it.
struct ItemField {
    const char* caption;
    const char* defaultText; // the text a placement starts from
    const char* what;        // the value's name in the reader's messages ("resource percentage")
    FieldType type;
    bool strictWhenPlaced; // placement takes the whole text as a number and refuses any other
    bool colour;           // a colour component, 0 to 255, written into the file divided by 255
    // The record member, or nullptr for a field that is shown but stored nowhere.
    double (*get)(const AnyRecord& record);
    void (*set)(AnyRecord& record, double value); // `value` is already rounded to the member's type
    // What the properties panel calls the value (its name and unit) and says of it on hovering;
    // nullptr: the caption says it all.
    const char* label = nullptr;
    const char* tip = nullptr;
};

// What one argument of a kind's call holds.
enum class ArgRole : std::uint8_t {
    Model,    // the model name
    Name,     // the item's own name: the record's `name`, or the model's name when that is empty
    SlotName, // "StartPos" followed by the player slot
    Position, // {x, height, y}
    Field,    // the record member of panel field `field`
    Table,    // a table of `elements`
    Kept,     // not modelled: written as the file gave it, `keptText` for items the editor makes
};

struct ArgShape {
    ArgRole role;
    int field = -1;                 // Field: the index into KindLayout::fields
    const char* keptText = nullptr; // Kept: Lua text
    std::vector<ArgShape> elements; // Table
};

// A kind's call and its panel, bound to the members of its record (the rest of what the editor
// knows about the kind is its row of kindTable): the placement, the Apply button, the panel, the
// reader and the writer all work from it.
struct KindLayout {
    ItemKind kind;
    std::vector<ArgShape> args;
    std::vector<ItemField> fields; // panel fields 0, 1, ...
    const char* noFieldsCaption;   // the caption field 0 shows when the kind has no fields, or nullptr
    bool fieldsOnlyWhenEditing;    // the panel hides the fields while placing (player starts)
};

// The layout of `kind`; the layouts stand in the order of kindTable.
const KindLayout& kindLayout(ItemKind kind);

// The kind's record (of its table row's layout) with all fields blank.
AnyRecord blankRecord(ItemKind kind);

// The chunk an item is written in: its own, or its kind's when it has none.
Chunk itemChunk(ItemKind kind, Chunk recordChunk);

} // namespace starloom
