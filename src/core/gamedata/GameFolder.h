#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace starloom {

inline constexpr std::uintptr_t hkeyCurrentUser = 0x80000001u;
inline constexpr std::uintptr_t hkeyLocalMachine = 0x80000002u;
inline const QString homeworld2UninstallKey =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Homeworld2");

// A string value of the Windows registry (64-bit view first, then the 32-bit view), cut at its
// first NUL; empty when the key or value cannot be read, when it is not a string, and on every
// platform without a registry.
QString readRegistryValue(std::uintptr_t root, const QString& path, const QString& valueName);

// Where to look for the game outside Windows.
struct GameFolderSources {
    QString overrideDir; // STARLOOM_GAME_DIR
    QString winePrefix;  // WINEPREFIX
    QString home;        // home folder; its ".wine" is the prefix when WINEPREFIX is empty
    // Where a registry file that is there but cannot be read is named, when given.
    QStringList* problems = nullptr;
};

// The classic game's installation folder outside Windows: STARLOOM_GAME_DIR, else the "GAMEDIR"
// of the Wine prefix's system.reg mapped through the prefix's drive links. Empty when nothing is
// found. (findGames() in GameInstall.h looks everywhere, Steam included.)
QString findGameFolder(const GameFolderSources& sources);

// "GAMEDIR" of the Homeworld 2 uninstall key (with or without Wow6432Node) in a Wine system.reg
// text, unescaped ("C:\Program Files\Sierra\Homeworld2"); empty when absent.
QString gameDirFromSystemReg(const QString& systemRegText);

// A Windows path mapped into the Wine prefix through dosdevices/<drive>:, folders matched
// without regard to letter case where they exist; empty when the drive is not mapped.
QString mapWinePath(const QString& prefix, const QString& windowsPath);

// The existing folder below `base` that `relativePath` names ('\' or '/' between folder names),
// each name matched without regard to letter case where it does not match exactly; empty when
// there is none. An empty `relativePath` gives `base` itself when it is a folder.
QString resolveFolder(const QString& base, const QString& relativePath);

} // namespace starloom
