#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "ScriptRunner.h"

#include <functional>
#include <optional>

namespace starloom {

// A reader of the files a level includes (ScriptOptions::readInclude): resolves the path as a
// script writes it ("data:scripts/MapFunctions.lua", "Data:LevelData\\x.lua", "scripts/x.lua")
// below each of `dataFolders` in turn, matching every folder and file name without regard to
// letter case, and returns the first file found. A path that could lead out of the folder (an
// absolute path, "..", a drive or another prefix than "data:", a link to elsewhere) is never
// found. A file found that is no regular file (a FIFO, a device), or longer than asked for, is
// refused without waiting, with the reason. Safe to call from any thread.
IncludeReader includeReaderForFolders(const QStringList& dataFolders);

// The file `path` names below `folder` (as above), or an empty string.
QString findIncludeBelow(const QString& folder, const QString& path);

} // namespace starloom
