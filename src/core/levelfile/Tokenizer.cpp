#include "Tokenizer.h"

#include <array>

namespace starloom {

namespace {

char16_t effective(char16_t separator)
{
    return separator == 0 ? u' ' : separator;
}

} // namespace

int firstSeparator(QStringView text, char16_t separator)
{
    const qsizetype sep = text.indexOf(QChar(effective(separator)));
    const qsizetype tab = text.indexOf(QChar(u'\t'));
    if (sep < 0 && tab < 0)
        return 0;
    if (sep < 0)
        return static_cast<int>(tab + 1);
    if (tab < 0)
        return static_cast<int>(sep + 1);
    return static_cast<int>(std::min(sep, tab) + 1);
}

QString stripLeading(QStringView text, char16_t separator)
{
    const QChar sep(effective(separator));
    qsizetype i = 0;
    while (i < text.size() && text[i] == sep)
        ++i;
    return text.mid(i).toString();
}

QString getWord(QStringView line, int wordIndex, char16_t separator)
{
    QString rest = line.toString();
    QString word;
    for (int count = 1; count <= wordIndex; ++count) {
        const int p = firstSeparator(rest, separator);
        if (p > 0) {
            word = rest.left(p - 1);
            if (word.endsWith(QLatin1Char(',')))
                word.chop(1);
            rest = stripLeading(QStringView(rest).mid(p - 1), separator);
        } else {
            if (count < wordIndex)
                return QString();
            word = rest;
        }
    }
    return word;
}

QString replaceBrackets(QString text)
{
    for (QChar c : {u'(', u')', u'[', u']', u'{', u'}'})
        text.replace(c, QLatin1Char(' '));
    return text;
}

QString replaceWithSpace(QString text, QStringView find)
{
    if (find.isEmpty())
        return text;
    return text.replace(find.toString(), QStringLiteral(" "), Qt::CaseSensitive);
}

QString cleanLine(QStringView line)
{
    static constexpr auto blanked = [] {
        std::array<bool, 128> table{};
        for (char c : {'"', ',', '(', ')', '[', ']', '{', '}', '\t', ' '})
            table[static_cast<std::size_t>(c)] = true;
        return table;
    }();
    auto isBlanked = [](char16_t c) { return c < 128 && blanked[c]; };
    qsizetype start = 0;
    while (start < line.size() && isBlanked(line[start].unicode()))
        ++start;
    QString cleaned(line.size() - start, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(cleaned.data());
    const char16_t* in = line.utf16() + start;
    for (qsizetype i = 0, n = cleaned.size(); i < n; ++i)
        out[i] = isBlanked(in[i]) ? u' ' : in[i];
    return cleaned;
}

QStringList cleanWords(QStringView cleanedLine)
{
    QStringList words;
    for (QStringView w : cleanedLine.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        words << w.toString();
    return words;
}

} // namespace starloom
