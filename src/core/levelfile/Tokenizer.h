#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace starloom {

// Word tokenizer of the level reader. Words are separated by the separator character (a space
// when `separator` is 0) or by a tab. Positions count from 1.

// Position of the first separator or tab, 0 when there is none.
int firstSeparator(QStringView text, char16_t separator = 0);

// `text` without its leading run of separator characters (tabs are never removed).
QString stripLeading(QStringView text, char16_t separator = 0);

// Word `wordIndex` (from 1) of `line`. A run of separators counts as one, a word loses one
// trailing comma unless it is the line's last word, a line that begins with a separator has an
// empty first word, and every word after the first tab is empty. Missing words are empty.
QString getWord(QStringView line, int wordIndex, char16_t separator = 0);

// Every "(", ")", "[", "]", "{" and "}" turned into a space.
QString replaceBrackets(QString text);

// Every occurrence of `find` (exact, case-sensitive) turned into one space.
QString replaceWithSpace(QString text, QStringView find);

// The reader's line cleaning: quotes, commas, brackets and tabs become spaces, then the leading
// spaces go.
QString cleanLine(QStringView line);

// The words of a cleaned line, as getWord numbers them (index 0 is word 1).
QStringList cleanWords(QStringView cleanedLine);

} // namespace starloom
