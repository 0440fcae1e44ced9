#include "DataFileReader.h"

#include "BigArchive.h"
#include "GameFolder.h"
#include "GameSetup.h"

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

std::optional<QByteArray> readLoose(const QString& root, const QStringList& parts)
{
    const QString folder = resolveFolder(root, parts.mid(0, parts.size() - 1).join(QLatin1Char('/')));
    if (folder.isEmpty())
        return std::nullopt;
    const QDir dir(folder);
    QString file = dir.filePath(parts.last());
    if (!QFileInfo(file).isFile()) {
        file.clear();
        for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden)) {
            if (entry.compare(parts.last(), Qt::CaseInsensitive) == 0) {
                file = dir.filePath(entry);
                break;
            }
        }
    }
    const QString canonical = QFileInfo(file).canonicalFilePath();
    if (file.isEmpty() || !canonical.startsWith(root + QLatin1Char('/')))
        return std::nullopt;
    QFile f(canonical);
    if (f.size() > qint64(BigArchive::maxReadSize) || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
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
    return [sources = std::shared_ptr<const Sources>(sources)](const QString& path) -> std::optional<QByteArray> {
        const std::optional<QStringList> parts = relativeParts(path);
        if (!parts)
            return std::nullopt;
        for (const QString& root : sources->folders) {
            if (auto data = readLoose(root, *parts))
                return data;
        }
        const QString inArchive = parts->join(QLatin1Char('\\'));
        for (const BigArchive& archive : sources->archives) {
            const qsizetype index = archive.find(inArchive);
            if (index < 0)
                continue;
            if (auto data = archive.read(index))
                return data;
        }
        return std::nullopt;
    };
}

DataFileReader dataFileReader(const GameSetup& setup)
{
    return dataFileReader(setup.dataFolders(), setup.archives());
}

} // namespace starloom
