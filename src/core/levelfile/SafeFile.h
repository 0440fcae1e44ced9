#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <optional>

namespace starloom {

// Reading and writing files without surprises: only regular files of a sane size are read, a
// save replaces its target only when it is complete and keeps the target's permissions, and
// every failure is told in words, with the operating system's own reason where there is one.

// The largest file the editor reads: 256 MiB, ten times the largest level the editor can hold
// (8 kinds of 32,767 items and the player starts write some 25 MB).
inline constexpr qint64 maxReadableFileBytes = qint64(256) << 20;

// Opens `path` for reading into `file` (which must be closed). Returns an empty text on success;
// otherwise the reason, and `file` stays closed. Refused without waiting: anything that is not a
// regular file (a folder, a FIFO, a device such as /dev/urandom, a socket), a file longer than
// `maxBytes`, and a name that cannot reach the system unchanged (fileNameError).
QString openForReading(const QString& path, QFile& file, qint64 maxBytes = maxReadableFileBytes);

// The bytes of the regular file at `path` (refused as openForReading refuses: without waiting, and
// before reading more than `maxBytes`); nullopt, with the reason in `error`, when it cannot be read.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, QString* error = nullptr);

// Why `path` cannot name the file it seems to name, or an empty text. A name that held bytes
// which are not valid UTF-8 was decoded with U+FFFD in their place and would reach another file
// (or none); it is refused unless a file of exactly that name exists.
QString fileNameError(const QString& path);

// True when `path` is an existing regular file that is read-only: no write permission bit is set,
// or this user may not write it.
bool isReadOnlyFile(const QString& path);

// Writes `bytes` to `path` through a temporary file in the same folder that replaces the target
// only when every byte is written and synced. Returns an empty text on success, otherwise the
// reason (the system's error text where it has one); the earlier file is then left as it was.
// The new file keeps the earlier one's permission bits and, where the user may give them, its
// owner and group; a symbolic link stays a link and the file it points to is replaced. A
// read-only file (isReadOnlyFile) is refused unless `replaceReadOnly` is set. Hard links to the
// earlier file keep the earlier contents: the replace makes a new file.
QString saveFileAtomically(const QString& path, const QByteArray& bytes, bool replaceReadOnly = false);

// The program's arguments after argv[0], decoded as the system's file names. An argument whose
// bytes do not survive the decoding (not valid UTF-8) is left out and reported in `refused`,
// written with \xNN for its bytes outside printable ASCII, so that it never names another file.
QStringList argumentsOf(int argc, char** argv, QStringList* refused);

} // namespace starloom
