#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace starloom::test {

// A default `T` that `set` then changes: filled<PropRecord>([](PropRecord& r) { r.posX = 99; }).
// (A designated initializer naming only some members warns of the others under -Wextra.)
template <class T, class Set> T filled(Set set)
{
    T value{};
    set(value);
    return value;
}

// Folder of real level files written for the game; empty when it is not beside the checkout.
QString corpusDir();
QStringList corpusFiles();

QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);

// Creates the folders of `relativePath` below `root` and an empty file or folder at its end.
void makeEntry(const QString& root, const QString& relativePath, bool folder);

// What the game sees when it runs a level file, as lua5.4 running it with a recording stub for
// every game function prints it (tests/support/level_calls.lua): "G <global> <value>" and
// "C <chunk> <call>(<args>)" lines, sorted. Empty when lua5.4 is missing; `error` gets what
// lua5.4 said when it could not run the file.
QStringList gameView(const QByteArray& level, QString* error = nullptr);
bool haveLua();

// How the game's view of a level changed from `before` to `after`: what was lost, and what was
// added beyond the editor's own level-wide lines and the globals the editor always writes.
struct GameViewChange {
    QStringList lost;
    QStringList added;
    bool same() const { return lost.isEmpty() && added.isEmpty(); }
    std::string text() const;
};
GameViewChange gameViewChange(const QStringList& before, const QStringList& after);

} // namespace starloom::test
