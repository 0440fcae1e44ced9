#include "Catalogue.h"

#include <QSet>

namespace starloom {

namespace {

bool passesFilter(ItemKind kind, const QString& name)
{
    const bool megPrefix = name.startsWith(QLatin1String("meg_"), Qt::CaseSensitive);
    if (kind == ItemKind::Megalith)
        return megPrefix;
    if (kind == ItemKind::Ship)
        return !megPrefix && !name.contains(QLatin1String(".lua"), Qt::CaseSensitive);
    return true;
}

} // namespace

Catalogue::Catalogue(QString gameDir, std::vector<std::shared_ptr<const ModelSource>> sources)
    : m_gameDir(std::move(gameDir)),
      m_sources(std::move(sources))
{
}

QString Catalogue::dataFolder(ItemKind kind)
{
    QString folder = QString::fromLatin1(kindInfo(kind).folder);
    const QString root = QStringLiteral("\\Data\\");
    if (folder.startsWith(root, Qt::CaseInsensitive))
        folder.remove(0, root.size());
    while (folder.endsWith(QLatin1Char('\\')))
        folder.chop(1);
    return folder;
}

ModelListReport Catalogue::report(ItemKind kind, int playerIndex) const
{
    ModelListReport report;
    QStringList& list = report.names;
    if (kind == ItemKind::PlayerStart) {
        const int players = playerIndex + 2;
        for (int k = 1; k <= std::max(players, 1); ++k)
            list << QStringLiteral("Player %1").arg(k);
        return report;
    }
    const KindInfo& info = kindInfo(kind);
    const QString folder = dataFolder(kind);
    QSet<QString> seen;
    for (const auto& source : m_sources) {
        const std::optional<QStringList> entries = source->entries(folder);
        if (!entries)
            continue;
        int added = 0;
        for (const QString& name : *entries) {
            if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
                || !passesFilter(kind, name))
                continue;
            const QString key = name.toCaseFolded();
            if (seen.contains(key))
                continue;
            seen.insert(key);
            list << name;
            ++added;
        }
        report.origins.push_back({source->description(), added});
    }
    if (report.origins.empty()) {
        report.builtIn = true;
        list = builtInModels(kind);
    }
    const qsizetype room = maxModelEntries - (info.hasCustom ? 1 : 0);
    if (list.size() > room) {
        report.dropped = static_cast<int>(list.size() - room);
        list.resize(room);
    }
    if (info.hasCustom)
        list << customEntry;
    return report;
}

QStringList Catalogue::modelList(ItemKind kind, int playerIndex) const
{
    return report(kind, playerIndex).names;
}

QStringList Catalogue::problems() const
{
    QStringList problems;
    for (ItemKind kind : arrayKinds) {
        const ModelListReport r = report(kind);
        if (r.dropped > 0)
            problems << QStringLiteral("The %1 list holds more names than the editor can number: the first %2 are kept "
                                       "and %3 left out")
                            .arg(QLatin1String(kindInfo(kind).name))
                            .arg(r.names.size() - (kindInfo(kind).hasCustom ? 1 : 0))
                            .arg(r.dropped);
    }
    for (const auto& source : m_sources) {
        const QString problem = source->problem();
        if (!problem.isEmpty() && !problems.contains(problem))
            problems << problem;
    }
    return problems;
}

std::int16_t findTypeFromString(const QStringList& list, QStringView find)
{
    std::int16_t result = -1;
    const qsizetype n = std::min<qsizetype>(list.size(), 32767);
    for (qsizetype i = 0; i < n; ++i) {
        if (list[i].contains(find, Qt::CaseInsensitive))
            result = static_cast<std::int16_t>(i);
    }
    return result;
}

std::int16_t findModelForRead(const QStringList& list, QStringView find)
{
    const qsizetype n = std::min<qsizetype>(list.size(), 32767);
    for (qsizetype i = 0; i < n; ++i) {
        if (list[i].compare(find, Qt::CaseInsensitive) == 0)
            return static_cast<std::int16_t>(i);
    }
    return findTypeFromString(list, find);
}

ModelLists::ModelLists(const Catalogue& catalogue, qint64 searchBudget)
    : m_catalogue(catalogue),
      m_searchBudget(searchBudget)
{
}

const QStringList& ModelLists::list(ItemKind kind)
{
    auto& slot = m_lists[static_cast<std::size_t>(typeIdOf(kind))];
    if (!slot)
        slot = m_catalogue.modelList(kind);
    return *slot;
}

std::int16_t ModelLists::lookup(ItemKind kind, const QString& name)
{
    auto& cache = m_lookups[static_cast<std::size_t>(typeIdOf(kind))];
    const auto it = cache.constFind(name);
    if (it != cache.constEnd())
        return *it;
    const QStringList& entries = list(kind);
    const qsizetype n = std::min<qsizetype>(entries.size(), 32767);
    auto& firstEqual = m_firstEqual[static_cast<std::size_t>(typeIdOf(kind))];
    if (!firstEqual) {
        firstEqual.emplace();
        firstEqual->reserve(n);
        for (qsizetype i = n - 1; i >= 0; --i) // the first of equal entries is inserted last
            firstEqual->insert(entries[i].toCaseFolded(), static_cast<std::int16_t>(i));
    }
    std::int16_t index = -1;
    if (const auto equal = firstEqual->constFind(name.toCaseFolded());
        equal != firstEqual->constEnd() && entries[*equal].compare(name, Qt::CaseInsensitive) == 0) {
        index = *equal;
    } else if (m_searchBudget >= n) {
        m_searchBudget -= n;
        index = findTypeFromString(entries, name);
    } else {
        ++m_notSearched;
    }
    cache.insert(name, index);
    return index;
}

QString ModelLists::entry(ItemKind kind, int index)
{
    const QStringList& l = list(kind);
    return index >= 0 && index < l.size() ? l[index] : QString();
}

} // namespace starloom
