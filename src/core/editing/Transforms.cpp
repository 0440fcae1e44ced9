#include "Transforms.h"

#include "LevelEdits.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <type_traits>

namespace starloom {

namespace {

std::int32_t saturated(double v)
{
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(std::nearbyint(v), lo, hi));
}

// An angle in [0, 360).
template <class T> T wrapped(T degrees)
{
    T a = std::fmod(degrees, T(360));
    if (a < 0)
        a += T(360);
    return a == T(360) ? T(0) : a;
}

template <class Rec> constexpr bool isStart = std::is_same_v<Rec, PlayerStartRecord>;

// "Asteroid #3" from index 2 becomes "Asteroid #8" at index 7; other texts stay. (Run for every
// item of a big copy: the number is compared digit by digit, not made into a text.)
QString renumbered(const QString& text, int oldIndex, int newIndex)
{
    if (oldIndex < 0)
        return text;
    qsizetype at = text.size();
    for (int n = oldIndex + 1; n > 0; n /= 10) {
        if (at == 0 || text[--at] != QChar(u'0' + n % 10))
            return text;
    }
    if (at == 0 || text[at - 1] != u'#')
        return text;
    QString result;
    result.reserve(at + 11);
    result.append(QStringView(text).left(at)).append(QString::number(newIndex + 1));
    return result;
}

} // namespace

AnyRecord shiftedRecord(AnyRecord record, std::int64_t dx, std::int64_t dy)
{
    std::visit(
        [dx, dy](auto& r) {
            r.posX = saturated(double(r.posX) + double(dx));
            r.posY = saturated(double(r.posY) + double(dy));
        },
        record);
    return record;
}

AnyRecord mirroredRecord(AnyRecord record, MirrorAxis axis)
{
    std::visit(
        [axis](auto& r) {
            if (axis != MirrorAxis::Y)
                r.posY = saturated(-double(r.posY));
            if (axis != MirrorAxis::X)
                r.posX = saturated(-double(r.posX));
            if constexpr (isStart<std::decay_t<decltype(r)>>) {
                const float o = r.orientation;
                r.orientation = wrapped(axis == MirrorAxis::X ? 180.0f - o : axis == MirrorAxis::Y ? -o : o + 180.0f);
            }
        },
        record);
    return record;
}

AnyRecord rotatedRecord(AnyRecord record, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    std::visit(
        [&](auto& r) {
            const double x = r.posX;
            const double y = r.posY;
            // Clockwise on the screen, whose y grows downwards.
            r.posX = saturated(x * c - y * s);
            r.posY = saturated(x * s + y * c);
            if constexpr (isStart<std::decay_t<decltype(r)>>)
                r.orientation = static_cast<float>(wrapped(double(r.orientation) + degrees));
        },
        record);
    return record;
}

double angleAroundCentre(double x, double y)
{
    return wrapped(std::atan2(x, -y) * 180.0 / std::numbers::pi);
}

std::array<bool, playerSlots> takenSlots(const LevelDocument& document)
{
    std::array<bool, playerSlots> taken{};
    for (int slot = 0; slot < playerSlots; ++slot)
        taken[static_cast<std::size_t>(slot)] = !document.player(slot).label.isEmpty();
    return taken;
}

Additions additionSteps(const LevelDocument& document, std::array<bool, playerSlots> slotTaken, int firstRow,
    const std::vector<NewItem>& items)
{
    Additions out;
    out.steps.reserve(2 * items.size());
    out.rows.reserve(items.size());
    ByTypeId<int> appended{};
    int row = firstRow;
    for (const NewItem& item : items) {
        const ItemKind kind = item.kind;
        if (kind == ItemKind::PlayerStart) {
            const auto free = std::find(slotTaken.begin(), slotTaken.end(), false);
            if (free == slotTaken.end()) {
                ++out.leftOut;
                continue;
            }
            *free = true;
            const auto slot = static_cast<std::int16_t>(free - slotTaken.begin());
            PlayerStartRecord start = std::get<PlayerStartRecord>(item.record);
            start.label = QStringLiteral("Player %1").arg(slot + 1);
            start.drawColour = document.player(slot).drawColour;
            start.source = {}; // a new start point: nothing of the file the original came from
            out.steps.push_back(RecordStep{kind, slot, document.player(slot), start});
            const QString text = start.label + QStringLiteral(" start");
            out.steps.push_back(RowInsertStep{row, ObjectRow{text, kind, slot}});
            out.slots.push_back(slot);
        } else {
            int& extra = appended.at(static_cast<std::size_t>(typeIdOf(kind)));
            const int index = document.itemCount(kind) + extra;
            if (index >= maxRecordsPerKind) {
                ++out.leftOut;
                continue;
            }
            ++extra;
            out.steps.push_back(AppendStep{kind, item.record});
            const QString text = renumbered(item.text, item.sourceIndex, index);
            out.steps.push_back(RowInsertStep{row, ObjectRow{text, kind, static_cast<std::int16_t>(index)}});
        }
        out.rows.push_back(row++);
    }
    return out;
}

std::vector<EditStep> deletionSteps(const Level& level, const std::vector<int>& rows)
{
    std::vector<EditStep> steps;
    steps.reserve(2 * rows.size());
    for (const int row : rows) {
        const ObjectRow& r = level.rows.at(static_cast<std::size_t>(row));
        if (level.document.exists(r.kind, r.arrayId)) {
            AnyRecord before = level.document.record(r.kind, r.arrayId);
            AnyRecord after = deletedRecord(before);
            steps.push_back(RecordStep{r.kind, r.arrayId, std::move(before), std::move(after)});
        }
    }
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        steps.push_back(RowRemoveStep{*it, level.rows.at(static_cast<std::size_t>(*it))});
    return steps;
}

QByteArray levelTextOf(const Level& level, const std::vector<int>& rows, ModelLists& models)
{
    Level part;
    part.settings = level.settings;
    part.settings.keptCalls.clear();
    part.document.setPlayerColours();
    for (const int row : rows) {
        const ObjectRow& r = level.rows.at(static_cast<std::size_t>(row));
        if (!level.document.exists(r.kind, r.arrayId))
            continue;
        const AnyRecord record = level.document.record(r.kind, r.arrayId);
        if (r.kind == ItemKind::PlayerStart) {
            part.document.setRecord(r.kind, r.arrayId, record);
            part.rows.push_back(r);
        } else if (const auto index = part.document.appendRecord(r.kind, record)) {
            part.rows.push_back(ObjectRow{r.text, r.kind, *index});
        }
    }
    return writeLevel(part, models, true);
}

std::vector<NewItem> itemsFromLevelText(const QByteArray& text, ModelLists& models)
{
    Level scratch = plainLevel();
    QByteArray bytes = text;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    readLevel(buffer, scratch, models);
    std::vector<int> rows(scratch.rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    return itemsOf(scratch, rows, [](AnyRecord r) { return r; });
}

std::vector<NewItem> rotatedCopies(const std::vector<NewItem>& items, int n)
{
    std::vector<NewItem> copies;
    copies.reserve(items.size() * static_cast<std::size_t>(std::max(n - 1, 0)));
    for (int k = 1; k < n; ++k) {
        const double degrees = 360.0 * k / n;
        for (const NewItem& item : items) {
            NewItem copy = item;
            copy.record = rotatedRecord(item.record, degrees);
            copies.push_back(std::move(copy));
        }
    }
    return copies;
}

SectorSplit sectorOfFirstStart(const Level& level, int n)
{
    SectorSplit split;
    int firstSlot = playerSlots;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        const ObjectRow& r = level.rows[static_cast<std::size_t>(row)];
        if (r.kind == ItemKind::PlayerStart && r.arrayId < firstSlot && level.document.isLive(r.kind, r.arrayId)) {
            firstSlot = r.arrayId;
            split.firstStartRow = row;
        }
    }
    if (split.firstStartRow < 0 || n < 1)
        return split;
    const PlayerStartRecord& first = level.document.player(firstSlot);
    const double centre = angleAroundCentre(first.posX, first.posY);
    const double half = 180.0 / n;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        const ObjectRow& r = level.rows[static_cast<std::size_t>(row)];
        if (!level.document.exists(r.kind, r.arrayId))
            continue;
        const ItemPosition p = level.document.position(r.kind, r.arrayId);
        if (p.x == 0 && p.y == 0)
            continue; // shared by every sector
        // The difference in [-180, 180).
        const double d = wrapped(angleAroundCentre(p.x, p.y) - centre + 180.0) - 180.0;
        if (d >= -half && d < half)
            split.kept.push_back(row);
        else
            split.removed.push_back(row);
    }
    return split;
}

} // namespace starloom
