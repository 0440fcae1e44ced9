#pragma once

#include "Environment.h"
#include "GameInstall.h"
#include "Registry.h"
#include "SettingsStore.h"

#include "document/Catalogue.h"

#include <QStringList>

#include <optional>

namespace starloom {

// Per-user settings (section "Settings") of the game the editor reads: the folder picked in the
// Preferences dialog (empty: the first game found), and the mod data folders, one per line.
inline const QString gameFolderKey = QStringLiteral("GameFolder");
inline const QString modFoldersKey = QStringLiteral("ModFolders");

// The mod folders the Preferences dialog stored, in their order.
QStringList storedModFolders(const SettingsStore& store);
// Stores the mod folders (written only when they differ from the stored ones).
void storeModFolders(SettingsStore& store, const QStringList& folders);

// The game and mod folders the model lists and the script includes read, for one run.
struct GameSetup {
    std::optional<GameInstall> game; // none: only the mods and the built-in names
    QStringList modFolders;          // mod data folders (a .big file is read as an archive)
    QStringList problems;            // what the user should be told, in sentences

    // Loose data folders in the order they are read: the game's Data, then the mods' folders
    // (a mod folder that holds a Data folder stands for it).
    QStringList dataFolders() const;
    // Archives in the order they are read: the mods' .big files, then the game's.
    QStringList archives() const;
    // One line for the status bar: the game in use and how it was found, then the problems.
    QString statusText() const;
};

// Picks the game for one run. The folder the user named (`userFolder`, named by `userHow`: "the
// Preferences dialog", "--game-dir") comes first; when it holds no game, the problem is told and the
// first found game is used. Of a folder or list that holds both editions the classic game is
// taken unless `edition` asks for the other; when no game of that edition is found, none is used
// and the problem is told. (A mod folder that does not exist is a problem of the catalogue.)
GameSetup chooseGame(const QString& userFolder, const QString& userHow, const std::vector<GameInstall>& found,
    std::optional<GameEdition> edition = std::nullopt, const QStringList& modFolders = {});

// The catalogue of the setup: the loose folders, then the archives, then the built-in names.
Catalogue catalogueFor(const GameSetup& setup);

// How one run picks its game, as chooseGame takes it: the folder the user named and where
// (`how`), whether the games of this machine are looked for, the edition asked for, the mods.
struct GameRequest {
    QString folder;
    QString how;
    bool lookUp = false;
    std::optional<GameEdition> edition;
    QStringList modFolders;
};

// What the Preferences dialog stored (the game folder, else the first game found, and the mods), as
// `how` names it.
GameRequest storedGameRequest(const SettingsStore& store, const QString& how);

// The game of one run, as the window and the tool set it up: the games found on this machine
// (when the request looks them up), the setup chosen, and its catalogue. The setup's problems are
// the lookup's, then the choice's, then (when it reads any folder or archive) the catalogue's.
struct GameRun {
    std::vector<GameInstall> found;
    GameSetup setup;
    Catalogue catalogue;
};
GameRun setUpGame(const GameRequest& request, const Environment& environment, const Registry& registry);
// The catalogue of the game in `gameFolder` alone (no lookup, no mods); the built-in names when
// the folder is empty or holds no game.
Catalogue gameCatalogue(const QString& gameFolder);

} // namespace starloom
