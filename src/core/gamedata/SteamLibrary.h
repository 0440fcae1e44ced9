#pragma once

#include "KeyValues.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace starloom {

// Steam's id of the Homeworld Remastered Collection, which holds Homeworld2Classic/ and HomeworldRM/.
inline const QString homeworldAppId = QStringLiteral("244160");

// The library folders that a libraryfolders.vdf names, those that list app `appId` first. Both
// formats are read: the current one ("libraryfolders" { "0" { "path" "..." "apps" { "244160"
// "..." } } }) and the older flat one ("LibraryFolders" { "1" "D:\\SteamLibrary" }).
QStringList steamLibraries(const KeyValues& libraryFolders, const QString& appId);

struct SteamApp {
    QString folder;  // steamapps/common/<installdir> of the library
    QString library; // the library folder that holds it
};

// Where app `appId` is installed for the Steam folder `steamRoot`: the first library (those that
// list the app, then the Steam folder itself, then the others) whose
// steamapps/appmanifest_<appId>.acf names an "installdir" that exists below steamapps/common.
// Folder names are matched without regard to letter case ("SteamApps" of older installs). Steam's
// files that are no regular files (links to a FIFO or a device) are not read, and are named in
// `problems`.
std::optional<SteamApp> findSteamApp(const QString& steamRoot, const QString& appId, QStringList* problems = nullptr);

// Why Steam's file `path` is not read.
QString steamFileProblem(const QString& path, const QString& reason);

} // namespace starloom
