#include "GameInstall.h"

#include "Environment.h"
#include "GameFolder.h"
#include "Registry.h"
#include "SteamLibrary.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace starloom {

namespace {

const QString uninstallRoot = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");

QStringList bigFiles(const QString& dataFolder)
{
    if (dataFolder.isEmpty())
        return {};
    QStringList names = QDir(dataFolder).entryList(QDir::Files);
    names.erase(std::remove_if(names.begin(), names.end(),
                    [](const QString& n) { return !n.endsWith(QLatin1String(".big"), Qt::CaseInsensitive); }),
        names.end());
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

GameEdition editionOf(const QString& gameFolder)
{
    if (QFileInfo(gameFolder).fileName().compare(QLatin1String("HomeworldRM"), Qt::CaseInsensitive) == 0)
        return GameEdition::Remastered;
    const QStringList archives = bigFiles(dataFolderOf(gameFolder));
    const bool classicArchive = archives.contains(QStringLiteral("Homeworld2.big"), Qt::CaseInsensitive);
    return archives.isEmpty() || classicArchive ? GameEdition::Classic : GameEdition::Remastered;
}

QString clean(const QString& folder)
{
    QString path = folder;
#ifndef _WIN32
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    return QDir::cleanPath(path);
}

// Collects games, each folder once.
class Found {
public:
    void add(const QString& folder, const QString& foundBy)
    {
        if (folder.isEmpty())
            return;
        for (GameInstall& game : gamesInFolder(folder, foundBy)) {
            const QString key = QFileInfo(game.folder).canonicalFilePath();
            if (m_seen.contains(key))
                continue;
            m_seen << key;
            m_games.push_back(std::move(game));
        }
    }
    void addSteam(const QString& steamRoot, const QString& how, QStringList* problems)
    {
        if (const auto app = findSteamApp(clean(steamRoot), homeworldAppId, problems))
            add(app->folder, QStringLiteral("%1, Steam library %2").arg(how, app->library));
    }
    std::vector<GameInstall> games() { return std::move(m_games); }

private:
    std::vector<GameInstall> m_games;
    QStringList m_seen;
};

} // namespace

QString editionName(GameEdition edition)
{
    return edition == GameEdition::Classic ? QStringLiteral("classic") : QStringLiteral("remastered");
}

std::optional<GameEdition> editionFromName(QStringView name)
{
    if (name.compare(QLatin1String("classic"), Qt::CaseInsensitive) == 0)
        return GameEdition::Classic;
    if (name.compare(QLatin1String("remastered"), Qt::CaseInsensitive) == 0)
        return GameEdition::Remastered;
    return std::nullopt;
}

QString dataFolderOf(const QString& gameFolder)
{
    return resolveFolder(gameFolder, QStringLiteral("Data"));
}

std::vector<GameInstall> gamesInFolder(const QString& folder, const QString& foundBy)
{
    const QString base = clean(folder);
    if (folder.isEmpty() || !QFileInfo(base).isDir())
        return {};
    std::vector<GameInstall> games;
    for (const char* sub : {"Homeworld2Classic", "HomeworldRM"}) {
        const QString game = resolveFolder(base, QLatin1String(sub));
        if (!game.isEmpty() && !dataFolderOf(game).isEmpty())
            games.push_back({QDir::cleanPath(game), editionOf(game), foundBy});
    }
    if (!games.empty())
        return games;
    if (!dataFolderOf(base).isEmpty())
        return {{base, editionOf(base), foundBy}};
    const QFileInfo info(base);
    if (info.fileName().compare(QLatin1String("Data"), Qt::CaseInsensitive) == 0 && info.dir().exists())
        return {{QDir::cleanPath(info.absolutePath()), editionOf(info.absolutePath()), foundBy}};
    return {};
}

QString gameFolderProblem(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    if (!QFileInfo(clean(folder)).isDir())
        return QStringLiteral("The game folder %1 does not exist").arg(folder);
    if (gamesInFolder(folder, {}).empty())
        return QStringLiteral("The game folder %1 holds no Data folder").arg(folder);
    return {};
}

QStringList archivesOf(const GameInstall& game)
{
    const QString data = dataFolderOf(game.folder);
    QStringList archives;
    for (const QString& name : bigFiles(data)) {
        if (game.edition == GameEdition::Remastered
            || name.compare(QLatin1String("Homeworld2.big"), Qt::CaseInsensitive) == 0)
            archives << QDir(data).filePath(name);
    }
    return archives;
}

std::vector<GameInstall> findGames(const Environment& environment, const Registry& registry, QStringList* problems)
{
    Found found;
    const QString variable = environment.variable(QStringLiteral("STARLOOM_GAME_DIR"));
    found.add(variable, QStringLiteral("STARLOOM_GAME_DIR"));
    if (problems && !variable.isEmpty() && gamesInFolder(variable, {}).empty())
        *problems << gameFolderProblem(variable) + QStringLiteral(" (STARLOOM_GAME_DIR)");
    const QString home = environment.homePath();
    if (environment.isWindows()) {
        found.add(registry.value(RegistryRoot::LocalMachine, homeworld2UninstallKey, QStringLiteral("GAMEDIR")),
            QStringLiteral("the registry value GAMEDIR of HKEY_LOCAL_MACHINE\\%1").arg(homeworld2UninstallKey));
        found.addSteam(registry.value(RegistryRoot::CurrentUser, QStringLiteral("Software\\Valve\\Steam"),
                           QStringLiteral("SteamPath")),
            QStringLiteral("Steam (HKEY_CURRENT_USER\\Software\\Valve\\Steam\\SteamPath)"), problems);
        found.addSteam(registry.value(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\WOW6432Node\\Valve\\Steam"),
                           QStringLiteral("InstallPath")),
            QStringLiteral("Steam (HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Valve\\Steam\\InstallPath)"), problems);
        const QString steamApp = uninstallRoot + QStringLiteral("Steam App ") + homeworldAppId;
        found.add(registry.value(RegistryRoot::LocalMachine, steamApp, QStringLiteral("InstallLocation")),
            QStringLiteral("the registry value InstallLocation of HKEY_LOCAL_MACHINE\\%1").arg(steamApp));
    } else {
        const QString prefix = environment.variable(QStringLiteral("WINEPREFIX"));
        const QString wineFolder = findGameFolder(GameFolderSources{QString(), prefix, home, problems});
        found.add(wineFolder,
            QStringLiteral("the registry value GAMEDIR of the Wine prefix %1")
                .arg(prefix.isEmpty() ? QDir(home).filePath(QStringLiteral(".wine")) : prefix));
        if (!home.isEmpty()) {
            for (const char* root :
                {".local/share/Steam", ".steam/steam", ".var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
                const QString steam = QDir(home).filePath(QLatin1String(root));
                found.addSteam(steam, QStringLiteral("Steam (%1)").arg(steam), problems);
            }
        }
    }
    if (problems)
        problems->removeDuplicates(); // Steam's folders are often links to one another
    return found.games();
}

} // namespace starloom
