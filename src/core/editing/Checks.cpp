#include "Checks.h"

#include "LevelEdits.h"
#include "Selection.h"

#include "document/Catalogue.h"
#include "document/Numbers.h"
#include "document/SettingsRules.h"
#include "levelfile/LevelWriter.h"

#include <QHash>
#include <QSet>

#include <array>
#include <optional>

#include <algorithm>
#include <cmath>

namespace starloom {

namespace {

struct Start {
    int slot;
    int row;
    ItemPosition at;
};

// What the checks need of one listed item, read in one pass.
struct Item {
    ItemKind kind = ItemKind::PlayerStart;
    int row = 0;
    ItemPosition at;
    double resources = 0; // its weight in the fairness check
    bool known = true;    // its model is in the catalogue
};

QString positionText(const ItemPosition& p)
{
    return QStringLiteral("(%1, %2, %3)").arg(p.x).arg(p.y).arg(p.z);
}

QString unitsText(double v)
{
    return QString::number(std::llround(v));
}

// World units as the panel shows them: "6000 u".
QString worldText(double v)
{
    return unitsText(v) + QStringLiteral(" u");
}

// A resource amount (one asteroid at its full resources is 1) as the percentage a level file
// gives an asteroid's resources: "150% RU".
QString resourceText(double amount)
{
    return decimalText(amount * 100) + QStringLiteral("% RU");
}

QString percentText(double share)
{
    return QString::number(std::llround(share * 100)) + QLatin1Char('%');
}

double spread(double most, double least)
{
    return most > 0 ? (most - least) / most : 0;
}

bool isNoResources(const QString& modelName)
{
    return modelName.contains(QLatin1String("nores"), Qt::CaseInsensitive);
}

// The catalogue's lists as the checks ask them: which entries hold no resources, which names
// (lower case) are known. Built once per check.
class ModelFacts {
public:
    explicit ModelFacts(ModelLists* models) : m_models(models) {}

    bool known(ItemKind kind, std::int16_t modelIndex, const QString& customName)
    {
        if (!m_models)
            return true;
        const QStringList& list = m_models->list(kind);
        if (modelIndex >= 0)
            return modelIndex < list.size() && list[modelIndex] != customEntry;
        return names(kind).contains(customName.toLower());
    }
    bool noResources(ItemKind kind, std::int16_t modelIndex, const QString& customName)
    {
        if (modelIndex < 0 || !m_models)
            return isNoResources(customName);
        std::vector<char>& flags = m_nores.at(static_cast<std::size_t>(typeIdOf(kind)));
        if (flags.empty()) {
            const QStringList& list = m_models->list(kind);
            flags.push_back(0); // so that a list without entries is built once
            for (const QString& name : list)
                flags.push_back(isNoResources(name) ? 1 : 0);
        }
        const auto i = static_cast<std::size_t>(modelIndex) + 1;
        return i < flags.size() && flags[i] != 0;
    }
    QString name(ItemKind kind, std::int16_t modelIndex, const QString& customName) const
    {
        return modelIndex < 0 || !m_models ? customName : m_models->entry(kind, modelIndex);
    }

private:
    const QSet<QString>& names(ItemKind kind)
    {
        auto& set = m_names.at(static_cast<std::size_t>(typeIdOf(kind)));
        if (!set) {
            set.emplace();
            for (const QString& n : m_models->list(kind))
                if (n != customEntry)
                    set->insert(n.toLower());
        }
        return *set;
    }

    ModelLists* m_models;
    ByTypeId<std::vector<char>> m_nores;
    ByTypeId<std::optional<QSet<QString>>> m_names;
};

// The listed items that exist, with their positions, weights and whether their model is known.
std::vector<Item> itemsOf(const Level& level, ModelFacts& facts)
{
    std::vector<Item> items;
    items.reserve(level.rows.size());
    const LevelDocument& document = level.document;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        const ObjectRow& r = level.rows[static_cast<std::size_t>(row)];
        if (!document.exists(r.kind, r.arrayId))
            continue;
        Item item{r.kind, row, {}, 0, true};
        document.visit(r.kind, r.arrayId, [&](const auto& rec) {
            item.at = ItemPosition{rec.posX, rec.posY, rec.posZ};
            using Rec = std::decay_t<decltype(rec)>;
            if constexpr (std::is_same_v<Rec, PlayerStartRecord>) {
                item.known = true;
            } else {
                item.known = facts.known(r.kind, rec.modelIndex, rec.customName);
                if constexpr (std::is_same_v<Rec, ResourceRecord>)
                    item.resources = rec.resourcePercent / 100.0;
                if constexpr (std::is_same_v<Rec, CloudRecord>) {
                    if (r.kind != ItemKind::Cloud)
                        item.resources = facts.noResources(r.kind, rec.modelIndex, rec.customName) ? 0.0 : 1.0;
                }
            }
        });
        items.push_back(item);
    }
    return items;
}

// The live start points with their rows, by slot.
std::vector<Start> startsOf(const Level& level, const std::vector<Item>& items)
{
    std::vector<Start> starts;
    for (const Item& item : items)
        if (item.kind == ItemKind::PlayerStart
            && level.document.isLive(item.kind, level.rows[std::size_t(item.row)].arrayId))
            starts.push_back({level.rows[std::size_t(item.row)].arrayId, item.row, item.at});
    std::sort(starts.begin(), starts.end(), [](const Start& a, const Start& b) { return a.slot < b.slot; });
    return starts;
}

std::vector<double> resourcesOf(const std::vector<Item>& items, const std::vector<Start>& starts)
{
    std::vector<double> amounts(playerSlots, 0.0);
    if (starts.empty())
        return amounts;
    for (const Item& item : items) {
        if (item.resources == 0)
            continue;
        const Start* nearest = nullptr;
        double best = 0;
        bool tie = false;
        for (const Start& s : starts) {
            const double d = distance3D(item.at, s.at);
            if (!nearest || d < best) {
                nearest = &s, best = d, tie = false;
            } else if (d == best) {
                tie = true;
            }
        }
        if (!tie) // as near to two players: it belongs to neither
            amounts[static_cast<std::size_t>(nearest->slot)] += item.resources;
    }
    return amounts;
}

// Pairs of items of one kind at one place: for each item after the first at its place, the row
// of the first. A flat table of open addressing keeps it to one pass without an allocation per item.
std::vector<std::pair<int, int>> samePlaces(const std::vector<Item>& items)
{
    std::vector<std::pair<int, int>> pairs;
    std::size_t size = 16;
    while (size < items.size() * 2)
        size *= 2;
    std::vector<int> table(size, -1); // indexes into items
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        const Item& item = items[static_cast<std::size_t>(i)];
        std::size_t h = qHashMulti(0, int(item.kind), item.at.x, item.at.y, item.at.z) & (size - 1);
        for (;; h = (h + 1) & (size - 1)) {
            const int other = table[h];
            if (other < 0) {
                table[h] = i;
                break;
            }
            const Item& o = items[static_cast<std::size_t>(other)];
            if (o.kind == item.kind && o.at.x == item.at.x && o.at.y == item.at.y && o.at.z == item.at.z) {
                pairs.emplace_back(o.row, item.row);
                break;
            }
        }
    }
    return pairs;
}

// How a group of a code counts its findings ("%1 items lie outside the world").
QString groupPhrase(const QString& code)
{
    static const std::pair<const char*, const char*> phrases[] = {
        {"invalid-setting", "%1 settings cannot be read by the game"},
        {"missing-start", "%1 players have no start point"},
        {"unknown-race", "%1 players have a race the game does not know"},
        {"starts-too-close", "%1 pairs of start points are too close"},
        {"outside-world", "%1 items lie outside the world"},
        {"same-place", "%1 pairs of items of one kind are at the same place"},
        {"unknown-model", "%1 items use models the catalogue does not know"},
    };
    for (const auto& [c, phrase] : phrases)
        if (code == QLatin1String(c))
            return QString::fromLatin1(phrase);
    return QStringLiteral("%1 findings");
}

QString countText(std::size_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

std::vector<double> resourcesByPlayer(const Level& level, ModelLists* models)
{
    ModelFacts facts(models);
    const std::vector<Item> items = itemsOf(level, facts);
    return resourcesOf(items, startsOf(level, items));
}

std::vector<Finding> errorFindings(const Level& level)
{
    std::vector<Finding> findings;
    const QString settingsError = levelSettingsError(level.settings);
    if (!settingsError.isEmpty())
        findings.push_back({Severity::Error, QStringLiteral("invalid-setting"), settingsError, {},
            settingsError.section(QLatin1Char(' '), 0, 0), {}});
    const int players = std::clamp(level.settings.playerCount(), 0, playerSlots);
    for (int slot = 0; slot < players; ++slot) {
        if (level.document.player(slot).label.isEmpty())
            findings.push_back({Severity::Error, QStringLiteral("missing-start"),
                QStringLiteral("Player %1 has no start point").arg(slot + 1), {},
                QStringLiteral("Player %1").arg(slot + 1), {}});
    }
    return findings;
}

QString missingStartsMessage()
{
    return QStringLiteral("You haven't specified all the player starting positions!");
}

SaveBlockers saveBlockers(const Level& level)
{
    SaveBlockers blockers;
    const std::vector<Finding> errors = errorFindings(level);
    const auto withCode = [&errors](const char* code) {
        return std::find_if(
            errors.begin(), errors.end(), [code](const Finding& f) { return f.code == QLatin1String(code); });
    };
    if (withCode("missing-start") != errors.end())
        blockers.refusal = missingStartsMessage();
    else if (const auto invalid = withCode("invalid-setting"); invalid != errors.end())
        blockers.refusal = invalid->message;
    const int players = level.settings.playerCount();
    blockers.startsLeftOut = startsBeyondPlayerCount(level.document, players);
    if (!blockers.startsLeftOut.empty())
        blockers.leftOutMessage =
            QStringLiteral("The start points of %1 lie beyond the level's %2 players and are not saved")
                .arg(playerNames(blockers.startsLeftOut))
                .arg(players);
    return blockers;
}

std::vector<Finding> checkLevel(const Level& level, const CheckOptions& options, ModelLists* models)
{
    std::vector<Finding> findings = errorFindings(level);
    const LevelDocument& document = level.document;
    ModelFacts facts(models);
    const std::vector<Item> items = itemsOf(level, facts);
    const std::vector<Start> starts = startsOf(level, items);
    const bool settingsValid = std::none_of(
        findings.begin(), findings.end(), [](const Finding& f) { return f.code == QLatin1String("invalid-setting"); });

    const int players = std::clamp(level.settings.playerCount(), 0, playerSlots);
    const PlayerTable& table = level.settings.players;
    for (int slot = 0; slot < players; ++slot) {
        if (table.raceKnown(slot))
            continue;
        const QString race = table.text(slot, PlayerTable::Field::Race);
        const QString known = table.raceByName(slot)
            ? QStringLiteral("raceName \"%1\"").arg(PlayerTable::knownRaceNames().join(QStringLiteral("\" or \"")))
            : QStringLiteral("raceID %1").arg(PlayerTable::knownRaceIds().join(QStringLiteral(" or ")));
        findings.push_back({Severity::Warning, QStringLiteral("unknown-race"),
            QStringLiteral("The race \"%1\" of Player %2 is not one the game knows (%3); a mod may add it")
                .arg(race)
                .arg(slot + 1)
                .arg(known),
            {}, QStringLiteral("Player %1 (%2)").arg(slot + 1).arg(race), {}});
    }

    for (std::size_t i = 0; i < starts.size(); ++i) {
        for (std::size_t j = i + 1; j < starts.size(); ++j) {
            const double d = distance3D(starts[i].at, starts[j].at);
            if (d >= options.minStartDistance)
                continue;
            const QString pair =
                QStringLiteral("The start points of Player %1 and Player %2 are %3 apart (less than %4)")
                    .arg(starts[i].slot + 1)
                    .arg(starts[j].slot + 1);
            findings.push_back({Severity::Warning, QStringLiteral("starts-too-close"),
                pair.arg(unitsText(d) + QStringLiteral(" units"), unitsText(options.minStartDistance)),
                {starts[i].row, starts[j].row},
                QStringLiteral("Player %1 and Player %2").arg(starts[i].slot + 1).arg(starts[j].slot + 1),
                pair.arg(worldText(d), worldText(options.minStartDistance))});
        }
    }

    const double worldX = val(level.settings.sizeX), worldY = val(level.settings.sizeY),
                 worldZ = val(level.settings.sizeZ);
    // Until the world size is a number the game can read, what lies outside it is not known.
    for (const Item& item : items) {
        if (!settingsValid)
            break;
        const ItemPosition& p = item.at;
        const QString& text = level.rows[std::size_t(item.row)].text;
        if (std::abs(double(p.x)) > worldX || std::abs(double(p.y)) > worldY || std::abs(double(p.z)) > worldZ) {
            const QString outside = QStringLiteral("%1 at %2 lies outside the world");
            findings.push_back({Severity::Warning, QStringLiteral("outside-world"), outside.arg(text, positionText(p)),
                {item.row}, text, outside.arg(text, positionText(p) + QStringLiteral(" u"))});
        }
    }
    for (const auto& [first, second] : samePlaces(items)) {
        const ObjectRow& a = level.rows[std::size_t(first)];
        const ObjectRow& b = level.rows[std::size_t(second)];
        const QString at = positionText(document.position(b.kind, b.arrayId));
        const QString same = QStringLiteral("%1 and %2 are at the same place %3");
        findings.push_back(
            {Severity::Warning, QStringLiteral("same-place"), same.arg(a.text, b.text, at), {first, second},
                QStringLiteral("%1 and %2").arg(a.text, b.text), same.arg(a.text, b.text, at + QStringLiteral(" u"))});
    }
    for (const Item& item : items) {
        if (item.known)
            continue;
        const ObjectRow& r = level.rows[std::size_t(item.row)];
        const QString name = document.visit(r.kind, r.arrayId, [&](const auto& rec) -> QString {
            if constexpr (std::is_same_v<std::decay_t<decltype(rec)>, PlayerStartRecord>)
                return {};
            else
                return facts.name(r.kind, rec.modelIndex, rec.customName);
        });
        findings.push_back({Severity::Warning, QStringLiteral("unknown-model"),
            QStringLiteral("%1: the model \"%2\" is not in the catalogue").arg(r.text, name), {item.row}, name, {}});
    }

    if (starts.size() >= 2) {
        const std::vector<double> amounts = resourcesOf(items, starts);
        double most = -1, least = -1;
        QStringList parts, partsWithUnits;
        std::vector<int> rows;
        for (const Start& s : starts) {
            const double a = amounts[static_cast<std::size_t>(s.slot)];
            most = most < 0 ? a : std::max(most, a);
            least = least < 0 ? a : std::min(least, a);
            parts << QStringLiteral("Player %1: %2").arg(s.slot + 1).arg(decimalText(a));
            partsWithUnits << QStringLiteral("Player %1: %2").arg(s.slot + 1).arg(resourceText(a));
            rows.push_back(s.row);
        }
        const QString unfair = QStringLiteral("The resources nearest to each start point differ by more than %1 (%2)")
                                   .arg(percentText(options.fairShare));
        if (spread(most, least) > options.fairShare)
            findings.push_back(
                {Severity::Warning, QStringLiteral("unfair-resources"), unfair.arg(parts.join(QStringLiteral(", "))),
                    rows, {}, unfair.arg(partsWithUnits.join(QStringLiteral(", ")))});

        double far = -1, near = -1;
        parts.clear();
        partsWithUnits.clear();
        for (const Start& s : starts) {
            const double d = distance3D(s.at, ItemPosition{});
            far = far < 0 ? d : std::max(far, d);
            near = near < 0 ? d : std::min(near, d);
            parts << QStringLiteral("Player %1: %2").arg(s.slot + 1).arg(unitsText(d));
            partsWithUnits << QStringLiteral("Player %1: %2").arg(s.slot + 1).arg(worldText(d));
        }
        const QString unequal =
            QStringLiteral("The start points' distances from the world centre differ by more than %1 (%2)")
                .arg(percentText(options.centreShare));
        if (spread(far, near) > options.centreShare)
            findings.push_back({Severity::Warning, QStringLiteral("unequal-start-distance"),
                unequal.arg(parts.join(QStringLiteral(", "))), rows, {},
                unequal.arg(partsWithUnits.join(QStringLiteral(", ")))});
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

std::vector<FindingGroup> groupFindings(const std::vector<Finding>& findings)
{
    std::vector<FindingGroup> groups;
    QHash<QString, std::size_t> byKey; // severity and code
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        const QString key = QString::number(int(f.severity)) + QLatin1Char(' ') + f.code;
        auto it = byKey.find(key);
        if (it == byKey.end()) {
            it = byKey.insert(key, groups.size());
            groups.push_back({f.severity, f.code, {}, {}});
        }
        FindingGroup& group = groups[*it];
        group.members.push_back(i);
        group.rows.insert(group.rows.end(), f.rows.begin(), f.rows.end());
    }
    return groups;
}

QString groupSummary(const FindingGroup& group, const std::vector<Finding>& findings)
{
    if (group.members.size() == 1)
        return findings.at(group.members.front()).message;
    // The different subjects in the order they come, the first few of them.
    constexpr qsizetype shown = 5;
    QStringList subjects;
    QSet<QString> seen;
    bool more = false;
    for (const std::size_t i : group.members) {
        const QString& subject = findings.at(i).subject;
        if (subject.isEmpty() || seen.contains(subject))
            continue;
        if (subjects.size() == shown) {
            more = true;
            break;
        }
        seen.insert(subject);
        subjects << subject;
    }
    QString text = groupPhrase(group.code).arg(group.members.size());
    if (!subjects.isEmpty())
        text += QStringLiteral(": ") + subjects.join(QStringLiteral(", "))
            + (more ? QStringLiteral(", \u2026") : QString());
    return text;
}

QString groupLine(const FindingGroup& group, const std::vector<Finding>& findings)
{
    if (group.members.size() == 1)
        return findingLine(findings.at(group.members.front()));
    return (group.severity == Severity::Error ? QStringLiteral("error: ") : QStringLiteral("warning: ")) + group.code
        + QStringLiteral(": ") + groupSummary(group, findings);
}

QString checksCountText(const std::vector<Finding>& findings, std::size_t loadProblems)
{
    const auto errors = static_cast<std::size_t>(std::count_if(
        findings.begin(), findings.end(), [](const Finding& f) { return f.severity == Severity::Error; }));
    const std::size_t warnings = findings.size() - errors;
    QStringList parts;
    if (errors > 0)
        parts << countText(errors, "error", "errors");
    if (warnings > 0)
        parts << countText(warnings, "warning", "warnings");
    if (loadProblems > 0)
        parts << countText(loadProblems, "load problem", "load problems");
    return parts.isEmpty() ? QStringLiteral("no problems") : parts.join(QStringLiteral(", "));
}

} // namespace starloom
