#pragma once

#include <QString>
#include <QStringList>

namespace starloom {

class SettingsStore;

// The levels last opened, loaded or saved, newest first, kept in the settings between sessions,
// and the folder the file dialogs start in.
class RecentLevels {
public:
    static constexpr int maxCount = 8;

    // Reads the list the settings hold (at most maxCount of it, however many are stored).
    explicit RecentLevels(SettingsStore& store);

    const QStringList& paths() const { return m_paths; }
    // The folder of the file last remembered; empty until one is.
    const QString& lastFolder() const { return m_lastFolder; }
    // Puts `path` (made absolute; a "data:" name of the game's data as it is) first, once, and
    // stores the list.
    void remember(const QString& path);
    // Drops entry `index` (a level that no longer exists) and stores the list.
    void remove(int index);

private:
    void store();

    SettingsStore& m_store;
    QStringList m_paths;
    QString m_lastFolder;
};

} // namespace starloom
