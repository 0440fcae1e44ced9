#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace starloom {

class Environment;
class Registry;

enum class GameEdition { Classic, Remastered };

// "classic" or "remastered", as the tool's --game takes them.
QString editionName(GameEdition edition);
std::optional<GameEdition> editionFromName(QStringView name);

// One installed game: the folder that holds its Data folder.
struct GameInstall {
    QString folder;
    GameEdition edition = GameEdition::Classic;
    QString foundBy; // how it was found, in words for the user

    friend bool operator==(const GameInstall&, const GameInstall&) = default;
};

// The games in `folder`: the Remastered Collection's Homeworld2Classic/ and HomeworldRM/ when it
// holds them (in that order), else the folder itself when it holds a Data folder, or its parent
// when the folder is a Data folder. A game is remastered when its folder is named HomeworldRM, or
// its Data folder holds .big archives but no Homeworld2.big; classic otherwise. Folder names are
// matched without regard to letter case.
std::vector<GameInstall> gamesInFolder(const QString& folder, const QString& foundBy);

// Why `folder` holds no game ("... does not exist", "... holds no Data folder"); empty when it
// holds one.
QString gameFolderProblem(const QString& folder);

// The Data folder of a game folder, any letter case; empty when there is none.
QString dataFolderOf(const QString& gameFolder);

// The archives of the game that hold model names and scripts: classic, Data\Homeworld2.big;
// remastered, every .big file of Data, in file-name order without regard to letter case.
QStringList archivesOf(const GameInstall& game);

// Every game found on this machine, in order of preference, each folder once.
// Windows: STARLOOM_GAME_DIR; the classic installer's registry value GAMEDIR; Steam, whose folder
// is HKCU\Software\Valve\Steam\SteamPath or HKLM\SOFTWARE\WOW6432Node\Valve\Steam\InstallPath,
// and the uninstall key "Steam App 244160"'s InstallLocation.
// Elsewhere: STARLOOM_GAME_DIR; the Wine prefix's GAMEDIR; Steam at ~/.local/share/Steam,
// ~/.steam/steam and Flatpak's ~/.var/app/com.valvesoftware.Steam/.local/share/Steam.
// For Steam, the library holding app 244160 and the folder its manifest names. A
// STARLOOM_GAME_DIR that holds no game is added to `problems`.
std::vector<GameInstall> findGames(
    const Environment& environment, const Registry& registry, QStringList* problems = nullptr);

} // namespace starloom
