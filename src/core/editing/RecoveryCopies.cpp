#include "RecoveryCopies.h"

#include "levelfile/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QUrl>

#include <string_view>

namespace starloom {

namespace {

const QString copyPattern = QStringLiteral("recovery*.level");

// The lock of a recovery copy, or nullptr while the editor that holds it is running. A lock whose
// process has ended is taken over, however old it is.
std::unique_ptr<QLockFile> takeLock(const QString& copy)
{
    auto lock = std::make_unique<QLockFile>(copy + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

// The last line of a recovery copy names the file the work belongs to, as a file: URL (ASCII,
// whatever the file's name), in a comment the game and the reader pass over.
constexpr std::string_view workFileMark = "-- Recovery copy of unsaved work on ";

QByteArray workFileLine(const QString& file)
{
    return QByteArray(workFileMark.data(), qsizetype(workFileMark.size()))
        + QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toEncoded() + "\r\n";
}

// The file a recovery copy's work belongs to, empty when it names none.
QString workFileOf(const QString& copy)
{
    QFile file;
    if (!openForReading(copy, file).isEmpty())
        return {};
    const QByteArray bytes = file.readAll();
    const qsizetype at = bytes.lastIndexOf(QByteArray(workFileMark.data(), qsizetype(workFileMark.size())));
    if (at < 0)
        return {};
    const qsizetype start = at + qsizetype(workFileMark.size());
    qsizetype end = bytes.indexOf('\n', start);
    if (end < 0)
        end = bytes.size();
    const QUrl url = QUrl::fromEncoded(bytes.mid(start, end - start).trimmed());
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace

RecoveryCopies::RecoveryCopies() = default;
RecoveryCopies::~RecoveryCopies() = default;
RecoveryCopies::Left::Left() = default;
RecoveryCopies::Left::Left(Left&&) noexcept = default;
RecoveryCopies::Left::~Left() = default;

bool RecoveryCopies::claim(const QString& folder)
{
    m_lock.reset();
    m_path.clear();
    m_folder = QDir(folder).absolutePath();
    if (!QDir().mkpath(m_folder))
        return false;
    // A name no copy has yet: a copy of an earlier editor that ran under the same process number
    // may still wait to be offered.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    for (int n = 1; n <= 1000; ++n) {
        const QString copy = QDir(m_folder).filePath(QStringLiteral("recovery-%1-%2.level").arg(pid).arg(n));
        if (QFileInfo::exists(copy))
            continue;
        if (auto lock = takeLock(copy); lock && !QFileInfo::exists(copy)) {
            m_lock = std::move(lock);
            m_path = copy;
            return true;
        }
    }
    return false;
}

bool RecoveryCopies::isCopy(const QString& path) const
{
    const QFileInfo info(path);
    return !m_folder.isEmpty() && info.absolutePath() == m_folder && QDir::match(copyPattern, info.fileName());
}

bool RecoveryCopies::write(QByteArray level, const QString& workFile)
{
    if (m_path.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (!workFile.isEmpty())
        level += workFileLine(workFile);
    return saveFileAtomically(m_path, level).isEmpty();
}

void RecoveryCopies::remove()
{
    if (!m_path.isEmpty())
        QFile::remove(m_path);
}

RecoveryCopies::Left RecoveryCopies::leftBehind(const std::function<void(RecoveryCopy& copy)>& describe) const
{
    Left left;
    if (m_folder.isEmpty())
        return left;
    const QFileInfoList files = QDir(m_folder).entryInfoList({copyPattern}, QDir::Files, QDir::Time);
    for (const QFileInfo& file : files) {
        const QString path = file.absoluteFilePath();
        if (path == m_path)
            continue;
        auto lock = takeLock(path);
        if (!lock)
            continue; // its editor is running
        RecoveryCopy copy{path, file.lastModified(), 0, {}, workFileOf(path)};
        describe(copy);
        left.copies.push_back(std::move(copy));
        left.locks.push_back(std::move(lock));
    }
    return left;
}

} // namespace starloom
