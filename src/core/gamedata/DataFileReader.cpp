#include "DataFileReader.h"

#include "BigArchive.h"
#include "GameFolder.h"
#include "GameSetup.h"

#include "levelfile/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <memory>
#include <vector>

namespace starloom {

namespace {

struct Sources {
    QStringList folders; // canonical paths
    std::vector<BigArchive> archives;
};

// The folder names of `path` below the data root; nullopt when it leaves it or names another root.
std::optional<QStringList> relativeParts(QString path)
{
    const QLatin1String prefix("data:");
    if (path.startsWith(prefix, Qt::CaseInsensitive))
        path.remove(0, prefix.size());
    else if (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\')))
        return std::nullopt;
    if (path.contains(QLatin1Char(':')) || path.contains(QChar(0)))
        return std::nullopt;
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    QStringList parts = path.split(separators, Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    if (parts.isEmpty() || parts.contains(QStringLiteral("..")))
        return std::nullopt;
    return parts;
}

// The file below `root` that `parts` name: nullopt when there is none; `found` tells whether one
// was found (which may still not be read, with the reason in `error`).
std::optional<QByteArray> readLoose(
    const QString& root, const QStringList& parts, qint64 maxBytes, bool& found, QString* error)
{
    found = false;
    const QString folder = resolveFolder(root, parts.mid(0, parts.size() - 1).join(QLatin1Char('/')));
    if (folder.isEmpty())
        return std::nullopt;
    const QDir dir(folder);
    QString file = dir.filePath(parts.last());
    if (!QFileInfo::exists(file)) {
        file.clear();
        for (const QString& entry : dir.entryList(QDir::Files | QDir::System | QDir::Hidden)) {
            if (entry.compare(parts.last(), Qt::CaseInsensitive) == 0) {
                file = dir.filePath(entry);
                break;
            }
        }
    }
    const QString canonical = QFileInfo(file).canonicalFilePath();
    if (file.isEmpty() || !canonical.startsWith(root + QLatin1Char('/')) || QFileInfo(canonical).isDir())
        return std::nullopt;
    found = true;
    QString reason;
    std::optional<QByteArray> bytes = readRegularFile(canonical, maxBytes, &reason);
    if (!bytes && error)
        *error = QStringLiteral("%1: %2").arg(canonical, reason);
    return bytes;
}

} // namespace

DataFileReader dataFileReader(const QStringList& dataFolders, const QStringList& archives)
{
    auto sources = std::make_shared<Sources>();
    for (const QString& folder : dataFolders) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty() && QFileInfo(canonical).isDir())
            sources->folders << canonical;
    }
    for (const QString& path : archives) {
        BigArchive archive = BigArchive::open(path);
        if (archive.isValid())
            sources->archives.push_back(std::move(archive));
    }
    return [sources = std::shared_ptr<const Sources>(sources)](
               const QString& path, qint64 maxBytes, QString* error) -> std::optional<QByteArray> {
        const std::optional<QStringList> parts = relativeParts(path);
        if (!parts)
            return std::nullopt;
        for (const QString& root : sources->folders) {
            bool found = false;
            auto data = readLoose(root, *parts, maxBytes, found, error);
            if (found)
                return data;
        }
        const QString inArchive = parts->join(QLatin1Char('\\'));
        for (const BigArchive& archive : sources->archives) {
            const qsizetype index = archive.find(inArchive);
            if (index < 0)
                continue;
            return archive.read(index, error, maxBytes);
        }
        return std::nullopt;
    };
}

DataFileReader dataFileReader(const GameSetup& setup)
{
    return dataFileReader(setup.dataFolders(), setup.archives());
}

} // namespace starloom
