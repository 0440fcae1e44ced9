#include "RecentLevels.h"

#include "gamedata/GameMaps.h"
#include "gamedata/SettingsStore.h"

#include <QFileInfo>
#include <QStringTokenizer>

namespace starloom {

namespace {

const QString recentLevelsKey = QStringLiteral("RecentLevels");

} // namespace

RecentLevels::RecentLevels(SettingsStore& store) : m_store(store)
{
    const QString stored = m_store.read(recentLevelsKey, QString());
    for (const QStringView level : QStringTokenizer(stored, u'\n', Qt::SkipEmptyParts)) {
        if (m_paths.size() == maxCount)
            break;
        m_paths << level.toString();
    }
}

void RecentLevels::remember(const QString& path)
{
    QString entry = path; // a map of the game's data is remembered by its name there
    if (!isDataPath(path)) {
        const QFileInfo info(path);
        entry = info.absoluteFilePath();
        m_lastFolder = info.absolutePath();
    }
    m_paths.removeAll(entry);
    m_paths.prepend(entry);
    while (m_paths.size() > maxCount)
        m_paths.removeLast();
    store();
}

void RecentLevels::remove(int index)
{
    if (index < 0 || index >= m_paths.size())
        return;
    m_paths.removeAt(index);
    store();
}

void RecentLevels::store()
{
    m_store.write(recentLevelsKey, m_paths.join(QLatin1Char('\n')));
}

} // namespace starloom
