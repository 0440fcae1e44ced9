#pragma once

#include "EditCommands.h"

#include "document/Level.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace starloom {

class ModelLists;

// Moving, mirroring and turning items of a level, and the edit steps that add, move or remove
// them. Turns and mirrors are about the world centre in the top view, whose y grows downwards;
// a start point's heading is measured clockwise from -y, as the views draw it.

enum class MirrorAxis : std::uint8_t {
    X,      // across the X axis: y becomes -y
    Y,      // across the Y axis: x becomes -x
    Centre, // through the world centre: both
};

// The record moved by (dx, dy), its height kept; positions saturate at the 32-bit range.
AnyRecord shiftedRecord(AnyRecord record, std::int64_t dx, std::int64_t dy);
// The record mirrored; a start point's heading is mirrored with it (180 - o across X, -o across
// Y, o + 180 through the centre, each in [0, 360)).
AnyRecord mirroredRecord(AnyRecord record, MirrorAxis axis);
// The record turned clockwise by `degrees` around the world centre, positions rounded to whole
// units (halves to even); a start point's heading turns with it (o + degrees, in [0, 360)); other
// items keep their rotation values.
AnyRecord rotatedRecord(AnyRecord record, double degrees);

// The angle of (x, y) around the world centre in the heading convention: 0 towards -y, 90
// towards +x, in [0, 360).
double angleAroundCentre(double x, double y);

// An item to be added to a level: a record of `kind`, and the row text it had where it came from
// with the index it had there (for renumbering "Asteroid #3").
struct NewItem {
    ItemKind kind = ItemKind::Asteroid;
    AnyRecord record;
    QString text;
    int sourceIndex = -1;
};

// The steps that add `items` as new records and rows, the rows from `firstRow` on. Start points
// take the next slot whose entry in `slotTaken` is false (which it then sets), labelled "Player
// N"; one for which no slot is left, or a kind that is full, is left out and counted.
struct Additions {
    std::vector<EditStep> steps;
    std::vector<int> rows;  // the new rows
    std::vector<int> slots; // the slots the start points took
    int leftOut = 0;
};
Additions additionSteps(const LevelDocument& document, std::array<bool, playerSlots> slotTaken, int firstRow,
    const std::vector<NewItem>& items);

// The slots that hold a start point.
std::array<bool, playerSlots> takenSlots(const LevelDocument& document);

// The items of `rows` as NewItems, each record passed through `change`.
template <class F> std::vector<NewItem> itemsOf(const Level& level, const std::vector<int>& rows, F&& change)
{
    std::vector<NewItem> items;
    items.reserve(rows.size());
    for (const int row : rows) {
        const ObjectRow& r = level.rows.at(static_cast<std::size_t>(row));
        if (level.document.exists(r.kind, r.arrayId))
            items.push_back({r.kind, change(level.document.record(r.kind, r.arrayId)), r.text, r.arrayId});
    }
    return items;
}

// The steps that change the records of `rows` through `change` (none for unchanged records).
template <class F> std::vector<EditStep> changeSteps(const Level& level, const std::vector<int>& rows, F&& change)
{
    std::vector<EditStep> steps;
    steps.reserve(rows.size());
    for (const int row : rows) {
        const ObjectRow& r = level.rows.at(static_cast<std::size_t>(row));
        if (!level.document.exists(r.kind, r.arrayId))
            continue;
        AnyRecord before = level.document.record(r.kind, r.arrayId);
        AnyRecord after = change(before);
        if (!(after == before))
            steps.push_back(RecordStep{r.kind, r.arrayId, std::move(before), std::move(after)});
    }
    return steps;
}

// The steps that delete the items of `rows` (sorted) and remove their rows, the last row first.
std::vector<EditStep> deletionSteps(const Level& level, const std::vector<int>& rows);

// The items of `rows` as the text of a level file (the clipboard's form), with the level's
// settings, the start points of empty slots left out.
QByteArray levelTextOf(const Level& level, const std::vector<int>& rows, ModelLists& models);

// The items a level file's text holds, nothing when it is not one.
std::vector<NewItem> itemsFromLevelText(const QByteArray& text, ModelLists& models);

// The rotated copies of "Rotate copies": for k = 1 to n - 1, every item turned by 360 k / n.
std::vector<NewItem> rotatedCopies(const std::vector<NewItem>& items, int n);

// "Make symmetric": of the items that are not at the world centre, those whose angle around the
// centre lies within 180 / n degrees of the angle of the first start point (from -180/n, included,
// to +180/n, excluded) are kept, the others are removed. Returns the rows to remove and the rows
// kept; nothing when the level has no start point.
struct SectorSplit {
    std::vector<int> kept;
    std::vector<int> removed;
    int firstStartRow = -1;
};
SectorSplit sectorOfFirstStart(const Level& level, int n);

} // namespace starloom
