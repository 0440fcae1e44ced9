#include "IncludeReader.h"

#include "levelfile/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace starloom {

namespace {

// The names of the path's folders and file, or nothing when it could leave the data folder.
std::optional<QStringList> segments(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        path.remove(0, 5);
        while (path.startsWith(QLatin1Char('/')))
            path.remove(0, 1);
    } else if (path.startsWith(QLatin1Char('/'))) {
        return std::nullopt;
    }
    if (path.contains(QLatin1Char(':')))
        return std::nullopt;
    QStringList names;
    for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".."))
            return std::nullopt;
        if (name != QLatin1String("."))
            names << name;
    }
    if (names.isEmpty())
        return std::nullopt;
    return names;
}

} // namespace

QString findIncludeBelow(const QString& folder, const QString& path)
{
    const std::optional<QStringList> names = segments(path);
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (!names || root.isEmpty())
        return {};
    QString current = root;
    for (const QString& name : *names) {
        const QStringList entries =
            QDir(current).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QString match;
        for (const QString& entry : entries) {
            if (entry == name) {
                match = entry;
                break;
            }
            if (match.isEmpty() && entry.compare(name, Qt::CaseInsensitive) == 0)
                match = entry;
        }
        if (match.isEmpty())
            return {};
        current += QLatin1Char('/') + match;
    }
    const QFileInfo file(current);
    const QString target = file.canonicalFilePath();
    // What is not a regular file is found, and refused with its reason when read.
    if (!file.exists() || file.isDir() || !target.startsWith(root + QLatin1Char('/')))
        return {};
    return target;
}

IncludeReader includeReaderForFolders(const QStringList& dataFolders)
{
    return [dataFolders](const QString& path, qint64 maxBytes, QString* error) -> std::optional<QByteArray> {
        for (const QString& folder : dataFolders) {
            const QString file = findIncludeBelow(folder, path);
            if (file.isEmpty())
                continue;
            QString reason;
            std::optional<QByteArray> bytes = readRegularFile(file, maxBytes, &reason);
            if (!bytes && error)
                *error = QStringLiteral("%1: %2").arg(file, reason);
            return bytes;
        }
        return std::nullopt;
    };
}

} // namespace starloom
