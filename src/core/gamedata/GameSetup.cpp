#include "GameSetup.h"

#include "ArchiveSource.h"
#include "DataFolderSource.h"
#include "GameFolder.h"

#include <QDir>
#include <QFileInfo>

namespace starloom {

namespace {

// A mod's .big file; what is no regular file (a link to a device) is one too, which its reader
// then refuses by name.
bool isArchive(const QString& path)
{
    const QFileInfo info(path);
    return path.endsWith(QLatin1String(".big"), Qt::CaseInsensitive) && info.exists() && !info.isDir();
}

const GameInstall* pick(const std::vector<GameInstall>& games, std::optional<GameEdition> edition)
{
    const GameEdition wanted = edition.value_or(GameEdition::Classic);
    for (const GameInstall& g : games) {
        if (g.edition == wanted)
            return &g;
    }
    return !edition && !games.empty() ? &games.front() : nullptr;
}

QString describe(const GameInstall& game)
{
    return QStringLiteral("the %1 game at %2 (found by %3)").arg(editionName(game.edition), game.folder, game.foundBy);
}

} // namespace

QStringList GameSetup::dataFolders() const
{
    QStringList folders;
    if (game) {
        const QString data = dataFolderOf(game->folder);
        if (!data.isEmpty())
            folders << data;
    }
    for (const QString& mod : modFolders) {
        if (isArchive(mod))
            continue;
        const QString data = resolveFolder(mod, QStringLiteral("Data"));
        folders << (data.isEmpty() ? mod : data);
    }
    return folders;
}

QStringList GameSetup::archives() const
{
    QStringList archives;
    for (const QString& mod : modFolders) {
        if (isArchive(mod))
            archives << mod;
    }
    if (game)
        archives += archivesOf(*game);
    return archives;
}

QString GameSetup::statusText() const
{
    QStringList parts;
    parts << (game ? QStringLiteral("Model names from %1").arg(describe(*game))
                   : QStringLiteral("No game folder: the built-in model names are used"));
    parts += problems;
    return parts.join(QStringLiteral(". ")) + QLatin1Char('.');
}

GameSetup chooseGame(const QString& userFolder, const QString& userHow, const std::vector<GameInstall>& found,
    std::optional<GameEdition> edition, const QStringList& modFolders)
{
    GameSetup setup;
    setup.modFolders = modFolders;
    if (!userFolder.isEmpty()) {
        const std::vector<GameInstall> named = gamesInFolder(userFolder, userHow);
        if (named.empty())
            setup.problems << QStringLiteral("%1 (%2)").arg(gameFolderProblem(userFolder), userHow);
        else if (const GameInstall* g = pick(named, edition))
            setup.game = *g;
        else
            setup.problems << QStringLiteral("The game folder %1 (%2) holds no %3 game")
                                  .arg(userFolder, userHow, editionName(*edition));
    }
    if (!setup.game) {
        if (const GameInstall* g = pick(found, edition))
            setup.game = *g;
        else if (edition)
            setup.problems << QStringLiteral("No %1 game was found").arg(editionName(*edition));
    }
    if (!setup.problems.isEmpty())
        setup.problems.last() += QStringLiteral("; ")
            + (setup.game ? QStringLiteral("%1 is used").arg(describe(*setup.game))
                          : QStringLiteral("the built-in model names are used"));
    return setup;
}

Catalogue catalogueFor(const GameSetup& setup)
{
    std::vector<std::shared_ptr<const ModelSource>> sources;
    for (const QString& folder : setup.dataFolders())
        sources.push_back(std::make_shared<DataFolderSource>(folder));
    for (const QString& archive : setup.archives())
        sources.push_back(std::make_shared<ArchiveSource>(archive));
    return Catalogue(setup.game ? setup.game->folder : QString(), std::move(sources));
}

QStringList storedModFolders(const SettingsStore& store)
{
    return store.read(modFoldersKey, QString()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void storeModFolders(SettingsStore& store, const QStringList& folders)
{
    const QString text = folders.join(QLatin1Char('\n'));
    if (text != store.read(modFoldersKey, QString()))
        store.write(modFoldersKey, text);
}

GameRequest storedGameRequest(const SettingsStore& store, const QString& how)
{
    return {store.read(gameFolderKey, QString()), how, true, std::nullopt, storedModFolders(store)};
}

GameRun setUpGame(const GameRequest& request, const Environment& environment, const Registry& registry)
{
    GameRun run;
    QStringList lookupProblems;
    if (request.lookUp)
        run.found = findGames(environment, registry, &lookupProblems);
    run.setup = chooseGame(request.folder, request.how, run.found, request.edition, request.modFolders);
    run.catalogue = catalogueFor(run.setup);
    run.setup.problems = lookupProblems + run.setup.problems;
    if (!run.catalogue.sources().empty())
        run.setup.problems += run.catalogue.problems();
    return run;
}

Catalogue gameCatalogue(const QString& gameFolder)
{
    GameSetup setup;
    const std::vector<GameInstall> games = gamesInFolder(gameFolder, QString());
    if (!games.empty())
        setup.game = games.front();
    return catalogueFor(setup);
}

} // namespace starloom
