#include "GameFolder.h"

#include "levelfile/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <optional>

#ifdef _WIN32
#include <windows.h>
#endif

namespace starloom {

#ifdef _WIN32
namespace {

QString queryRegistry(HKEY root, const QString& path, const QString& valueName, REGSAM view)
{
    HKEY key = nullptr;
    const std::wstring wpath = path.toStdWString();
    if (RegOpenKeyExW(root, wpath.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return {};
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    const std::wstring wname = valueName.toStdWString();
    const LONG status = RegQueryValueExW(key, wname.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return QString::fromWCharArray(buffer); // stops at the first NUL
}

} // namespace
#endif

QString readRegistryValue(std::uintptr_t root, const QString& path, const QString& valueName)
{
#ifdef _WIN32
    const HKEY rootKey = reinterpret_cast<HKEY>(root);
    QString value = queryRegistry(rootKey, path, valueName, KEY_WOW64_64KEY);
    if (value.isEmpty())
        value = queryRegistry(rootKey, path, valueName, KEY_WOW64_32KEY);
    return value;
#else
    Q_UNUSED(root);
    Q_UNUSED(path);
    Q_UNUSED(valueName);
    return {};
#endif
}

namespace {

QString unescapeRegString(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            ++i;
            out += text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

// The quoted value after `"name"=` (also `str(2):"..."`), or nullopt when the line is another value.
std::optional<QString> namedValue(QStringView line, QStringView name)
{
    if (!line.startsWith(u'"'))
        return std::nullopt;
    const qsizetype close = line.indexOf(u'"', 1);
    if (close < 0 || line.mid(1, close - 1).compare(name, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QStringView rest = line.mid(close + 1).trimmed();
    if (!rest.startsWith(u'='))
        return std::nullopt;
    rest = rest.mid(1).trimmed();
    if (rest.startsWith(QLatin1String("str(2):")))
        rest = rest.mid(7);
    if (rest.size() < 2 || !rest.startsWith(u'"'))
        return std::nullopt;
    const qsizetype end = rest.lastIndexOf(u'"');
    if (end <= 0)
        return std::nullopt;
    return unescapeRegString(rest.mid(1, end - 1));
}

bool isUninstallSection(QStringView header)
{
    static const QStringList keys = {
        QStringLiteral("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Homeworld2"),
        QStringLiteral("Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Homeworld2"),
    };
    for (const QString& key : keys) {
        if (header.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString gameDirFromSystemReg(const QString& systemRegText)
{
    const QStringList lines = systemRegText.split(QLatin1Char('\n'));
    bool inSection = false;
    for (const QString& raw : lines) {
        const QStringView line = QStringView(raw).trimmed();
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            inSection = close > 0 && isUninstallSection(line.mid(1, close - 1));
            continue;
        }
        if (!inSection)
            continue;
        if (const auto value = namedValue(line, u"GAMEDIR"); value && !value->isEmpty()) {
            return *value;
        }
    }
    return {};
}

QString mapWinePath(const QString& prefix, const QString& windowsPath)
{
    if (windowsPath.size() < 2 || windowsPath[1] != QLatin1Char(':') || !windowsPath[0].isLetter())
        return {};
    const QString drive = windowsPath.left(2).toLower();
    QString root = QFileInfo(QDir(prefix).filePath(QStringLiteral("dosdevices/") + drive)).canonicalFilePath();
    if (root.isEmpty() && drive == QLatin1String("c:")) {
        const QString driveC = QDir(prefix).filePath(QStringLiteral("drive_c"));
        if (QFileInfo(driveC).isDir())
            root = QFileInfo(driveC).canonicalFilePath();
    }
    if (root.isEmpty())
        return {};
    const QString rest = windowsPath.mid(2);
    const QString resolved = resolveFolder(root, rest);
    if (!resolved.isEmpty())
        return QDir::cleanPath(resolved);
    QString plain = rest;
    plain.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(root + QLatin1Char('/') + plain);
}

QString findGameFolder(const GameFolderSources& sources)
{
    if (!sources.overrideDir.isEmpty())
        return sources.overrideDir;
    QString prefix = sources.winePrefix;
    if (prefix.isEmpty()) {
        if (sources.home.isEmpty())
            return {};
        prefix = QDir(sources.home).filePath(QStringLiteral(".wine"));
    }
    // Wine's registry file: a regular file of a sane size only (never a FIFO, a device).
    const QString regPath = QDir(prefix).filePath(QStringLiteral("system.reg"));
    QString error;
    const std::optional<QByteArray> reg = readRegularFile(regPath, qint64{64} << 20, &error);
    if (!reg) {
        if (sources.problems && QFileInfo::exists(regPath))
            *sources.problems << QStringLiteral("Wine's registry file %1 is not read: %2").arg(regPath, error);
        return {};
    }
    const QString gameDir = gameDirFromSystemReg(QString::fromUtf8(*reg));
    if (gameDir.isEmpty())
        return {};
    return mapWinePath(prefix, gameDir);
}

QString resolveFolder(const QString& base, const QString& relativePath)
{
    if (base.isEmpty())
        return {};
    QString current = base;
#ifndef _WIN32
    current.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    if (!QFileInfo(current).isDir())
        return {};
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    const QStringList parts = relativePath.split(separators, Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QDir dir(current);
        if (part == QLatin1String(".."))
            return {};
        if (QFileInfo(dir.filePath(part)).isDir()) {
            current = dir.filePath(part);
            continue;
        }
        QString match;
        const QStringList children = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
        for (const QString& child : children) {
            if (child.compare(part, Qt::CaseInsensitive) == 0) {
                match = child;
                break;
            }
        }
        if (match.isEmpty())
            return {};
        current = dir.filePath(match);
    }
    return current;
}

} // namespace starloom
