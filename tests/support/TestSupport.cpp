#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace starloom::test {

QString corpusDir()
{
    const QString dir = QStringLiteral(STARLOOM_SOURCE_DIR) + QStringLiteral("/../shared/corpus/levels");
    return QFileInfo::exists(dir) ? QDir(dir).canonicalPath() : QString();
}

QStringList corpusFiles()
{
    const QString dir = corpusDir();
    if (dir.isEmpty())
        return {};
    QStringList files;
    for (const QString& name : QDir(dir).entryList({QStringLiteral("*.level")}, QDir::Files, QDir::Name))
        files << dir + QLatin1Char('/') + name;
    return files;
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

void makeEntry(const QString& root, const QString& relativePath, bool folder)
{
    const QString path = root + QLatin1Char('/') + relativePath;
    QDir().mkpath(folder ? path : QFileInfo(path).path());
    if (!folder)
        writeBytes(path, {});
}

} // namespace starloom::test
