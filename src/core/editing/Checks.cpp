#include "Checks.h"

#include "Selection.h"

#include "document/Catalogue.h"
#include "document/Numbers.h"

#include <QHash>

#include <unordered_map>

#include <algorithm>
#include <cmath>

namespace starloom {

namespace {

struct Start {
    int slot;
    int row;
    ItemPosition at;
};

// The live start points with their rows, by slot.
std::vector<Start> startsOf(const Level& level)
{
    std::vector<Start> starts;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        const ObjectRow& r = level.rows[static_cast<std::size_t>(row)];
        if (r.kind == ItemKind::PlayerStart && level.document.isLive(r.kind, r.arrayId))
            starts.push_back({r.arrayId, row, level.document.position(r.kind, r.arrayId)});
    }
    std::sort(starts.begin(), starts.end(), [](const Start& a, const Start& b) { return a.slot < b.slot; });
    return starts;
}

QString positionText(const ItemPosition& p)
{
    return QStringLiteral("(%1, %2, %3)").arg(p.x).arg(p.y).arg(p.z);
}

QString unitsText(double v)
{
    return QString::number(std::llround(v));
}

QString percentText(double share)
{
    return QString::number(std::llround(share * 100)) + QLatin1Char('%');
}

// The model name of a record of a kind with models, empty for a start point.
QString modelName(ItemKind kind, const AnyRecord& record, ModelLists& models)
{
    return std::visit(
        [&](const auto& r) -> QString {
            if constexpr (std::is_same_v<std::decay_t<decltype(r)>, PlayerStartRecord>) {
                return {};
            } else {
                return r.modelIndex < 0 ? r.customName : models.entry(kind, r.modelIndex);
            }
        },
        record);
}

double resourceWeight(ItemKind kind, const AnyRecord& record, ModelLists* models)
{
    if (kind == ItemKind::Asteroid || kind == ItemKind::Salvage)
        return std::get<ResourceRecord>(record).resourcePercent / 100.0;
    if (kind == ItemKind::DustCloud || kind == ItemKind::Nebula) {
        const QString name = models ? modelName(kind, record, *models) : std::get<CloudRecord>(record).customName;
        return name.contains(QLatin1String("nores"), Qt::CaseInsensitive) ? 0.0 : 1.0;
    }
    return 0;
}

double spread(double most, double least)
{
    return most > 0 ? (most - least) / most : 0;
}

} // namespace

std::vector<double> resourcesByPlayer(const Level& level, ModelLists* models)
{
    std::vector<double> amounts(playerSlots, 0.0);
    const std::vector<Start> starts = startsOf(level);
    if (starts.empty())
        return amounts;
    for (const ObjectRow& r : level.rows) {
        if (r.kind != ItemKind::Asteroid && r.kind != ItemKind::Salvage && r.kind != ItemKind::DustCloud
            && r.kind != ItemKind::Nebula)
            continue;
        if (!level.document.exists(r.kind, r.arrayId))
            continue;
        const ItemPosition p = level.document.position(r.kind, r.arrayId);
        const Start* nearest = nullptr;
        double best = 0;
        bool tie = false;
        for (const Start& s : starts) {
            const double d = distance3D(p, s.at);
            if (!nearest || d < best) {
                nearest = &s, best = d, tie = false;
            } else if (d == best) {
                tie = true;
            }
        }
        if (tie) // as near to two players: it belongs to neither
            continue;
        amounts[static_cast<std::size_t>(nearest->slot)] +=
            resourceWeight(r.kind, level.document.record(r.kind, r.arrayId), models);
    }
    return amounts;
}

std::vector<Finding> checkLevel(const Level& level, const CheckOptions& options, ModelLists* models)
{
    std::vector<Finding> findings;
    const LevelDocument& document = level.document;
    const std::vector<Start> starts = startsOf(level);

    const int players = std::clamp(level.settings.playerCount(), 0, playerSlots);
    for (int slot = 0; slot < players; ++slot) {
        if (document.player(slot).label.isEmpty())
            findings.push_back({Severity::Error, QStringLiteral("missing-start"),
                QStringLiteral("Player %1 has no start point").arg(slot + 1), {}});
    }

    for (std::size_t i = 0; i < starts.size(); ++i) {
        for (std::size_t j = i + 1; j < starts.size(); ++j) {
            const double d = distance3D(starts[i].at, starts[j].at);
            if (d < options.minStartDistance)
                findings.push_back({Severity::Warning, QStringLiteral("starts-too-close"),
                    QStringLiteral("The start points of Player %1 and Player %2 are %3 units apart (less than %4)")
                        .arg(starts[i].slot + 1)
                        .arg(starts[j].slot + 1)
                        .arg(unitsText(d), unitsText(options.minStartDistance)),
                    {starts[i].row, starts[j].row}});
        }
    }

    const struct {
        double x, y, z;
    } world{val(level.settings.sizeX), val(level.settings.sizeY), val(level.settings.sizeZ)};
    struct Place {
        ItemKind kind;
        ItemPosition at;
        bool operator==(const Place& o) const
        {
            return kind == o.kind && at.x == o.at.x && at.y == o.at.y && at.z == o.at.z;
        }
    };
    struct PlaceHash {
        std::size_t operator()(const Place& p) const { return qHashMulti(0, int(p.kind), p.at.x, p.at.y, p.at.z); }
    };
    std::unordered_map<Place, int, PlaceHash> firstAt;
    firstAt.reserve(level.rows.size());
    std::vector<Finding> outside, samePlace, unknown;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        const ObjectRow& r = level.rows[static_cast<std::size_t>(row)];
        if (!document.exists(r.kind, r.arrayId))
            continue;
        const ItemPosition p = document.position(r.kind, r.arrayId);
        if (std::abs(double(p.x)) > world.x || std::abs(double(p.y)) > world.y || std::abs(double(p.z)) > world.z)
            outside.push_back({Severity::Warning, QStringLiteral("outside-world"),
                QStringLiteral("%1 at %2 lies outside the world").arg(r.text, positionText(p)), {row}});
        const auto [it, added] = firstAt.try_emplace(Place{r.kind, p}, row);
        if (!added)
            samePlace.push_back({Severity::Warning, QStringLiteral("same-place"),
                QStringLiteral("%1 and %2 are at the same place %3")
                    .arg(level.rows[static_cast<std::size_t>(it->second)].text, r.text, positionText(p)),
                {it->second, row}});
        if (models && r.kind != ItemKind::PlayerStart) {
            const AnyRecord record = document.record(r.kind, r.arrayId);
            const bool known = std::visit(
                [&](const auto& rec) {
                    if constexpr (std::is_same_v<std::decay_t<decltype(rec)>, PlayerStartRecord>) {
                        return true;
                    } else {
                        const QStringList& list = models->list(r.kind);
                        if (rec.modelIndex >= 0)
                            return rec.modelIndex < list.size() && list[rec.modelIndex] != customEntry;
                        return models->lookup(r.kind, rec.customName) >= 0
                            && list.contains(rec.customName, Qt::CaseInsensitive);
                    }
                },
                record);
            if (!known)
                unknown.push_back({Severity::Warning, QStringLiteral("unknown-model"),
                    QStringLiteral("%1: the model \"%2\" is not in the catalogue")
                        .arg(r.text, modelName(r.kind, record, *models)),
                    {row}});
        }
    }
    for (auto* group : {&outside, &samePlace, &unknown})
        findings.insert(findings.end(), group->begin(), group->end());

    if (starts.size() >= 2) {
        const std::vector<double> amounts = resourcesByPlayer(level, models);
        double most = -1, least = -1;
        QStringList parts;
        std::vector<int> rows;
        for (const Start& s : starts) {
            const double a = amounts[static_cast<std::size_t>(s.slot)];
            most = most < 0 ? a : std::max(most, a);
            least = least < 0 ? a : std::min(least, a);
            parts << QStringLiteral("Player %1: %2").arg(s.slot + 1).arg(doubleText(a));
            rows.push_back(s.row);
        }
        if (spread(most, least) > options.fairShare)
            findings.push_back({Severity::Warning, QStringLiteral("unfair-resources"),
                QStringLiteral("The resources nearest to each start point differ by more than %1 (%2)")
                    .arg(percentText(options.fairShare), parts.join(QStringLiteral(", "))),
                rows});

        double far = -1, near = -1;
        parts.clear();
        for (const Start& s : starts) {
            const double d = distance3D(s.at, ItemPosition{});
            far = far < 0 ? d : std::max(far, d);
            near = near < 0 ? d : std::min(near, d);
            parts << QStringLiteral("Player %1: %2").arg(s.slot + 1).arg(unitsText(d));
        }
        if (spread(far, near) > options.centreShare)
            findings.push_back({Severity::Warning, QStringLiteral("unequal-start-distance"),
                QStringLiteral("The start points' distances from the world centre differ by more than %1 (%2)")
                    .arg(percentText(options.centreShare), parts.join(QStringLiteral(", "))),
                rows});
    }
    return findings;
}

QString findingLine(const Finding& finding)
{
    QString line = (finding.severity == Severity::Error ? QStringLiteral("error: ") : QStringLiteral("warning: "))
        + finding.code + QStringLiteral(": ") + finding.message;
    if (!finding.rows.empty()) {
        QStringList keys;
        for (const int row : finding.rows)
            keys << rowKey(row);
        line += QStringLiteral(" [") + keys.join(QLatin1Char(' ')) + QLatin1Char(']');
    }
    return line;
}

} // namespace starloom
