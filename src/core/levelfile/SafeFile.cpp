#include "SafeFile.h"

#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace starloom {

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / double(1 << 20), 'f', bytes % (1 << 20) == 0 ? 0 : 1);
}

QString readOnlyText()
{
    return QStringLiteral("the file is read-only");
}

#ifdef Q_OS_UNIX

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why a file of this type is not read or replaced; empty for a regular file.
QString typeRefusal(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a pipe (FIFO), not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a file");
    return QStringLiteral("it is not a regular file");
}

bool readOnly(const struct stat& st, const QByteArray& native)
{
    if ((st.st_mode & 0222) == 0)
        return true;
    // EROFS is the file system's matter, not the file's: the save then fails with that reason.
    return ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

bool writeAll(int fd, const char* data, qint64 size, int* error)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(std::min<qint64>(size, qint64(1) << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Follows the symbolic link at `path` (and any links it leads to) to the name it finally stands
// for, which need not exist (a dangling link names the file to make). False for a loop.
bool linkTarget(QByteArray& path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer - 1);
        if (n < 0)
            return true;
        const QByteArray link(buffer, n);
        if (link.startsWith('/')) {
            path = link;
        } else {
            const qsizetype slash = path.lastIndexOf('/');
            path = (slash < 0 ? QByteArray() : path.left(slash + 1)) + link;
        }
    }
    return false;
}

#endif

} // namespace

QString fileNameError(const QString& path)
{
    if (!path.contains(QChar(QChar::ReplacementCharacter)))
        return {};
#ifdef Q_OS_UNIX
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return {};
#else
    if (QFileInfo::exists(path))
        return {};
#endif
    return QStringLiteral("the name holds bytes that are not valid UTF-8 (shown as \uFFFD); the program cannot "
                          "pass such a name on unchanged, so rename the file or folder");
}

QString openForReading(const QString& path, QFile& file, qint64 maxBytes)
{
    if (QString error = fileNameError(path); !error.isEmpty())
        return error;
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    // A device is not even opened (opening some has effects of its own).
    if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return typeRefusal(st.st_mode);
    // Without O_NONBLOCK, opening a FIFO that has no writer would wait for one forever (should a
    // FIFO take the file's place meanwhile). The flag is cleared once the file is known to be a
    // regular one.
    int fd = -1;
    do {
        fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return systemError(errno);
    QString refusal;
    if (::fstat(fd, &st) != 0)
        refusal = systemError(errno);
    else if (!S_ISREG(st.st_mode))
        refusal = typeRefusal(st.st_mode);
    else if (st.st_size > maxBytes)
        refusal = QStringLiteral("it is %1 MB long; the editor reads files of at most %2 MB")
                      .arg(megabytes(st.st_size), megabytes(maxBytes));
    else if (const int flags = ::fcntl(fd, F_GETFL); flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        refusal = systemError(errno);
    if (refusal.isEmpty() && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        refusal = file.errorString();
    if (!refusal.isEmpty())
        ::close(fd);
    return refusal;
#else
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("it is a folder, not a file");
    if (info.exists() && !info.isFile())
        return QStringLiteral("it is not a regular file");
    if (info.size() > maxBytes)
        return QStringLiteral("it is %1 MB long; the editor reads files of at most %2 MB")
            .arg(megabytes(info.size()), megabytes(maxBytes));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    return {};
#endif
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, QString* error)
{
    QFile file;
    if (QString reason = openForReading(path, file, maxBytes); !reason.isEmpty()) {
        if (error)
            *error = reason;
        return std::nullopt;
    }
    // As long as the file was when it was checked (should it grow meanwhile).
    QByteArray bytes = file.read(std::min(file.size(), maxBytes));
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

bool isReadOnlyFile(const QString& path)
{
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && readOnly(st, native);
#else
    const QFileInfo info(path);
    return info.isFile() && !info.isWritable();
#endif
}

QString saveFileAtomically(const QString& path, const QByteArray& bytes, bool replaceReadOnly)
{
    if (QString error = fileNameError(path); !error.isEmpty())
        return error;
#ifdef Q_OS_UNIX
    QByteArray target = QFile::encodeName(path);
    struct stat st;
    bool exists = ::lstat(target.constData(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // The link stays; the file it points to is the one replaced, or made when there is none.
        if (!linkTarget(target))
            return systemError(ELOOP);
        exists = ::lstat(target.constData(), &st) == 0;
    }
    if (!exists && errno != ENOENT)
        return systemError(errno);
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return systemError(EISDIR);
        if (QString refusal = typeRefusal(st.st_mode); !refusal.isEmpty())
            return refusal;
        if (!replaceReadOnly && readOnly(st, target))
            return readOnlyText();
    }

    // A short temporary name, so that a target name of up to 255 bytes still leaves room for it.
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray temporary = (slash < 0 ? QByteArray(".") : target.left(std::max<qsizetype>(slash, 1)));
    temporary += "/.starloom-XXXXXX";
    if (temporary.startsWith("//"))
        temporary.remove(0, 1);
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return systemError(errno);
    auto fail = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.constData());
        return systemError(error);
    };
    int error = 0;
    if (!writeAll(fd, bytes.constData(), bytes.size(), &error))
        return fail(error);
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
        // Root gives the file back to its owner; another user keeps at least the group where they
        // belong to it, and becomes the owner of the new file.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            [[maybe_unused]] const int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        }
    }
    // After the change of owner, since that clears the set-user-ID and set-group-ID bits.
    if (::fchmod(fd, mode) != 0)
        return fail(errno);
    if (::fsync(fd) != 0 && errno != EINVAL)
        return fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return fail(errno);
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int renameError = errno;
        if (exists && (renameError == EPERM || renameError == EACCES) && st.st_uid != ::geteuid()) {
            // A folder with the sticky bit (such as /tmp) lets only a file's owner replace it.
            const QByteArray folder = temporary.left(std::max<qsizetype>(temporary.lastIndexOf('/'), 1));
            struct stat folderSt;
            if (::stat(folder.constData(), &folderSt) == 0 && (folderSt.st_mode & S_ISVTX) != 0) {
                fail(renameError);
                return QStringLiteral("the folder %1 lets only the owner of a file replace it (its sticky bit is "
                                      "set), and the file belongs to another user")
                    .arg(QFile::decodeName(folder));
            }
        }
        return fail(renameError);
    }
    // The rename itself reaches the disk with the folder's entry.
    const QByteArray folder = temporary.left(std::max<qsizetype>(temporary.lastIndexOf('/'), 1));
    if (const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
#else
    if (!replaceReadOnly && isReadOnlyFile(path))
        return readOnlyText();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
#endif
}

QStringList argumentsOf(int argc, char** argv, QStringList* refused)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        const QString decoded = QFile::decodeName(raw);
        if (QFile::encodeName(decoded) == raw) {
            arguments << decoded;
            continue;
        }
        if (refused) {
            QString shown;
            for (const char c : raw) {
                const auto byte = static_cast<unsigned char>(c);
                if (byte >= 0x20 && byte < 0x7f)
                    shown += QLatin1Char(c);
                else
                    shown += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
            }
            *refused << shown;
        }
    }
    return arguments;
}

} // namespace starloom
