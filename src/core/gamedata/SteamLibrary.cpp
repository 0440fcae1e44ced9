#include "SteamLibrary.h"

#include "GameFolder.h"

#include "levelfile/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace starloom {

namespace {

bool isNumber(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// Steam's files are small; a longer one is not read.
constexpr qint64 maxSteamFileBytes = qint64{4} << 20;

// A regular file only: a link to a FIFO or a device is refused without waiting, and named in
// `problems` with the reason.
std::optional<KeyValues> readKeyValues(const QString& path, QStringList* problems)
{
    if (path.isEmpty())
        return std::nullopt;
    QString error;
    const std::optional<QByteArray> bytes = readRegularFile(path, maxSteamFileBytes, &error);
    if (!bytes) {
        if (problems && QFileInfo::exists(path))
            *problems << steamFileProblem(path, error);
        return std::nullopt;
    }
    return KeyValues::parse(QString::fromUtf8(*bytes));
}

// The file `name` in the library's steamapps folder, any letter case (also a link to something
// that is no regular file, which the reading then refuses and names).
QString steamappsFile(const QString& library, const QString& name)
{
    const QString steamapps = resolveFolder(library, QStringLiteral("steamapps"));
    if (steamapps.isEmpty())
        return {};
    const QDir dir(steamapps);
    if (const QFileInfo info(dir.filePath(name)); info.exists() && !info.isDir())
        return dir.filePath(name);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::System)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

// The libraries that list the app, and the others.
std::pair<QStringList, QStringList> librariesSplit(const KeyValues& libraryFolders, const QString& appId)
{
    QStringList listing, others;
    for (const KeyValues& top : libraryFolders.children) {
        if (!top.isBlock)
            continue;
        for (const KeyValues& entry : top.children) {
            if (!isNumber(entry.key))
                continue;
            if (!entry.isBlock) {
                if (!entry.value.isEmpty())
                    others << entry.value;
                continue;
            }
            const QString path = entry.text(u"path");
            if (path.isEmpty())
                continue;
            const KeyValues* apps = entry.child(u"apps");
            (apps && apps->child(appId) ? listing : others) << path;
        }
    }
    return {listing, others};
}

} // namespace

QStringList steamLibraries(const KeyValues& libraryFolders, const QString& appId)
{
    const auto [listing, others] = librariesSplit(libraryFolders, appId);
    return listing + others;
}

QString steamFileProblem(const QString& path, const QString& reason)
{
    return QStringLiteral("Steam's file %1 is not read: %2").arg(QDir::toNativeSeparators(path), reason);
}

std::optional<SteamApp> findSteamApp(const QString& steamRoot, const QString& appId, QStringList* problems)
{
    if (steamRoot.isEmpty() || !QFileInfo(steamRoot).isDir())
        return std::nullopt;
    QString vdf = steamappsFile(steamRoot, QStringLiteral("libraryfolders.vdf"));
    if (vdf.isEmpty()) {
        const QString config = resolveFolder(steamRoot, QStringLiteral("config"));
        if (!config.isEmpty() && QFileInfo(QDir(config).filePath(QStringLiteral("libraryfolders.vdf"))).isFile())
            vdf = QDir(config).filePath(QStringLiteral("libraryfolders.vdf"));
    }
    QStringList libraries;
    if (const auto folders = readKeyValues(vdf, problems)) {
        const auto [listing, others] = librariesSplit(*folders, appId);
        libraries = listing + QStringList{steamRoot} + others;
    } else {
        libraries = {steamRoot};
    }
    const QString manifestName = QStringLiteral("appmanifest_%1.acf").arg(appId);
    for (const QString& raw : libraries) {
        QString library = raw;
#ifndef _WIN32
        library.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
        const auto manifest = readKeyValues(steamappsFile(library, manifestName), problems);
        if (!manifest || manifest->children.empty())
            continue;
        const QString installDir = manifest->children.front().text(u"installdir");
        if (installDir.isEmpty() || installDir.contains(QLatin1String("..")))
            continue;
        const QString folder = resolveFolder(library, QStringLiteral("steamapps/common/") + installDir);
        if (!folder.isEmpty())
            return SteamApp{QDir::cleanPath(folder), QDir::cleanPath(library)};
    }
    return std::nullopt;
}

} // namespace starloom
