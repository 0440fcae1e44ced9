#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace starloom {

struct GameSetup;

// Reads a file named the way the game's scripts name it ("data:scripts/lib.lua"): the contents;
// nullopt when no source has it, or, with the reason in `error`, when the first source that has
// it cannot give it (longer than `maxBytes`, not a regular file, damaged in its archive).
using DataFileReader = std::function<std::optional<QByteArray>(const QString& path, qint64 maxBytes, QString* error)>;

// A reader over loose data folders first, in order, then archives, in order. The "data:" prefix
// is optional and any letter case; '/' and '\' both separate folder names. In a loose folder each
// name is matched without regard to letter case, and a file outside the folder (through "..", an
// absolute path, another prefix such as "player:", or a link) is never read. In an archive the
// path is matched without regard to letter case and compressed files are unpacked. The archives'
// tables are read when the reader is made; the reader may be copied to and called from another
// thread. Only regular files are read, without waiting for a FIFO or a device.
DataFileReader dataFileReader(const QStringList& dataFolders, const QStringList& archives);
// The same over the setup's data folders and archives (the includes of a level's script).
DataFileReader dataFileReader(const GameSetup& setup);

} // namespace starloom
