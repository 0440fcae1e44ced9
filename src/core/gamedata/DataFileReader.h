#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace starloom {

struct GameSetup;

// Reads a file named the way the game's scripts name it ("data:scripts/lib.lua"): the contents,
// or nullopt when no source has it.
using DataFileReader = std::function<std::optional<QByteArray>(const QString& path)>;

// A reader over loose data folders first, in order, then archives, in order. The "data:" prefix
// is optional and any letter case; '/' and '\' both separate folder names. In a loose folder each
// name is matched without regard to letter case, and a file outside the folder (through "..", an
// absolute path, another prefix such as "player:", or a link) is never read. In an archive the
// path is matched without regard to letter case and compressed files are unpacked. The archives'
// tables are read when the reader is made; the reader may be copied to and called from another
// thread.
DataFileReader dataFileReader(const QStringList& dataFolders, const QStringList& archives);
// The same over the setup's data folders and archives (the includes of a level's script).
DataFileReader dataFileReader(const GameSetup& setup);

} // namespace starloom
