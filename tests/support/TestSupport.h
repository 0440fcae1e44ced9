#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace starloom::test {

// Folder of real level files written for the game; empty when it is not beside the checkout.
QString corpusDir();
QStringList corpusFiles();

QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);

// Creates the folders of `relativePath` below `root` and an empty file or folder at its end.
void makeEntry(const QString& root, const QString& relativePath, bool folder);

} // namespace starloom::test
