#pragma once

// Lua 4.0's own compiler (luac40, built from ../shared/oracle into the build folder) for tests that
// need levels in the game's compiled format; absent in a user's clone, where those tests skip.

#include <QByteArray>
#include <QString>

namespace starloom::test {

// Why luac40 cannot be used ("" when it can).
QString compilerMissing();

// The file compiled by Lua 4.0's luac (the game's own format); empty with `error` set when it fails.
QByteArray compileWithOracle(const QString& level, QString* error = nullptr);
QByteArray compileTextWithOracle(const QByteArray& text, QString* error = nullptr);

} // namespace starloom::test
