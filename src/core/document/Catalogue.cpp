#include "Catalogue.h"

#include <QDir>
#include <QFileInfo>

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

Catalogue::Catalogue(QString gameDir)
    : m_gameDir(std::move(gameDir))
{
}

QString Catalogue::resolveFolder(const QString& gameDir, const QString& gamePath)
{
    if (gameDir.isEmpty())
        return {};
    QString current = gameDir;
#ifndef _WIN32
    current.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    if (!QFileInfo(current).isDir())
        return {};
    const QStringList parts = gamePath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QDir dir(current);
        if (QFileInfo(dir.filePath(part)).isDir()) {
            current = dir.filePath(part);
            continue;
        }
        QString match;
        const QStringList children = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
        for (const QString& child : children) {
            if (child.compare(part, Qt::CaseInsensitive) == 0) {
                match = child;
                break;
            }
        }
        if (match.isEmpty())
            return {};
        current = dir.filePath(match);
    }
    return current;
}

QStringList Catalogue::modelList(ItemKind kind, int playerIndex) const
{
    QStringList list;
    if (kind == ItemKind::PlayerStart) {
        const int players = playerIndex + 2;
        for (int k = 1; k <= std::max(players, 1); ++k)
            list << QStringLiteral("Player %1").arg(k);
        return list;
    }
    const KindInfo& info = kindInfo(kind);
    const QString folder = resolveFolder(m_gameDir, QString::fromLatin1(info.folder));
    if (folder.isEmpty()) {
        list = builtInModels(kind);
    } else {
        const QStringList entries =
            QDir(folder).entryList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QString& name : entries) {
            if (passesFilter(kind, name))
                list << name;
        }
    }
    if (info.hasCustom)
        list << customEntry;
    return list;
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

ModelLists::ModelLists(const Catalogue& catalogue)
    : m_catalogue(catalogue)
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
    const std::int16_t index = findModelForRead(list(kind), name);
    cache.insert(name, index);
    return index;
}

QString ModelLists::entry(ItemKind kind, int index)
{
    const QStringList& l = list(kind);
    return index >= 0 && index < l.size() ? l[index] : QString();
}

} // namespace starloom
