#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>

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

bool haveLua()
{
    return !QStandardPaths::findExecutable(QStringLiteral("lua5.4")).isEmpty();
}

QStringList gameView(const QByteArray& level, QString* error)
{
    if (!haveLua())
        return {};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("level.level"));
    writeBytes(path, level);
    QProcess lua;
    lua.start(QStringLiteral("lua5.4"), {QStringLiteral(STARLOOM_SOURCE_DIR "/tests/support/level_calls.lua"), path});
    lua.waitForFinished(60000);
    if (error)
        *error = QString::fromLocal8Bit(lua.readAllStandardError());
    QStringList lines = QString::fromLatin1(lua.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::sort(lines.begin(), lines.end());
    return lines;
}

GameViewChange gameViewChange(const QStringList& before, const QStringList& after)
{
    GameViewChange change;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(change.lost));
    QStringList added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    // The editor writes its own level-wide lines and globals where a file had none of them.
    static const char* const own[] = {"setWorldBoundsInner(", "fogSetActive(", "setGlareIntensity(",
        "setLevelShadowColour(", "loadBackground(", "setSensorsManagerCameraDistances(", "setDefaultMusic("};
    for (const QString& line : added) {
        const QStringList parts = line.split(QLatin1Char(' '));
        bool allowed = false;
        if (line.startsWith(QLatin1String("G ")) && parts.size() > 1) {
            allowed = std::none_of(before.begin(), before.end(),
                [&](const QString& b) { return b.startsWith(QLatin1String("G ") + parts[1] + QLatin1Char(' ')); });
        } else if (parts.size() > 2) {
            for (const char* name : own) {
                if (parts[2].startsWith(QLatin1String(name))) {
                    const QString prefix =
                        parts[0] + QLatin1Char(' ') + parts[1] + QLatin1Char(' ') + QLatin1String(name);
                    allowed = std::none_of(
                        before.begin(), before.end(), [&](const QString& b) { return b.startsWith(prefix); });
                }
            }
        }
        if (!allowed)
            change.added << line;
    }
    return change;
}

std::string GameViewChange::text() const
{
    QString t;
    for (const QString& l : lost)
        t += QStringLiteral("\n  lost:  ") + l.left(300);
    for (const QString& l : added)
        t += QStringLiteral("\n  added: ") + l.left(300);
    return t.toStdString();
}

} // namespace starloom::test
