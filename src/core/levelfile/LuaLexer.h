#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace starloom {

// One token of a level file as the game's Lua 4.0 reads it.
struct LuaToken {
    enum class Type : std::uint8_t {
        End,     // the end of the input
        Name,    // `text`
        Keyword, // `text`: and break do else elseif end for function if in local nil not or repeat
                 // return then until while ("true" and "false" are names in Lua 4.0)
        Number,  // `number`, with the numeral as written in `text` (empty for a whole number of up to
                 // 15 digits written plainly, which is the number's own shortest form)
        String,  // the decoded bytes in `text`
        Symbol,  // `text`: one of + - * / ^ % .. ... == ~= <= >= < > = ( ) { } [ ] ; , . :
        Invalid, // a character or token Lua cannot read: `problem` says what, `text` why (reader)
    };
    // What makes a token invalid.
    enum class Problem : std::uint8_t {
        None,
        Character,          // a character that cannot appear in Lua code (or "~" without "=")
        UnclosedString,     // a quoted text without its closing quote (a line end or the end first)
        UnclosedLongString, // "[[" without "]]"
        MalformedNumber,    // "1e", "1e+"
        AmbiguousNumber,    // a decimal point followed by ".." ("1..2"); `text` holds "1."
        EscapeTooLarge,     // \ddd above 255
    };

    Type type = Type::End;
    Problem problem = Problem::None;
    qint64 line = 1;      // where the token starts
    qsizetype offset = 0; // where it starts in the text of a lexer made on a whole text
    double number = 0;
    std::string text;       // names, numerals, strings and the reasons of invalid tokens
    std::uint64_t code = 0; // symbols and keywords: their characters, packed by packChars

    // The characters of a text of at most 8 characters in one number, the first in the low byte.
    static constexpr std::uint64_t packChars(std::string_view s)
    {
        std::uint64_t c = 0;
        for (std::size_t i = 0; i < s.size() && i < 8; ++i)
            c |= std::uint64_t(static_cast<unsigned char>(s[i])) << (8 * i);
        return c;
    }
    bool isSymbol(std::string_view s) const { return type == Type::Symbol && code == packChars(s); }
    bool isKeyword(std::string_view s) const { return type == Type::Keyword && code == packChars(s); }
    // The token as it stands in the file (symbols and keywords) or its text.
    std::string spelling() const;
};

// The one lexer of Lua 4.0 text in the program. It reads a level file token by token, as Lua
// 4.0's lexer does, from a device that it reads in blocks (memory stays flat whatever the file's
// size), or a whole text held in memory (the script translator's source):
// - `--` starts a comment that runs to the end of the line; there are no block comments, so a
//   `--[[` line is a comment like any other and the lines after it are code;
// - long strings `[[ ... ]]` may nest; a line end right after the opening brackets is kept (Lua 5 drops it);
// - short strings in double or single quotes, with the escapes \n \t \r \a \b \f \v, \ddd
//   (decimal, at most 255) and a backslash before a line end; any other escaped character stands
//   for itself; a line end inside is an error;
// - numerals are decimal only: digits, an optional "." and digits, an optional exponent;
// - LF ends a line (CR LF too); a lone CR is a blank to Lua 4.0, but it counts as a line end for
//   the line numbers of messages;
// - a first line that begins with "#" is skipped, as the game's loader does.
// Oddities that Lua 4.0 reads differently from Lua 5 are reported through `notice`.
// The translator reads by its own rules (`Rules::Translator`), where they differ from the line
// reader's: no notices and no byte-order mark; a lone CR, a form feed and a vertical tab are
// blanks that end no line; CR LF in a string stands for one line end ("\n"); and a "~" without
// "=" or a character Lua cannot read is a one-character symbol, which its parser reports.
class LuaLexer {
public:
    using Notice = std::function<void(qint64 line, const QString& text)>;
    enum class Rules : std::uint8_t { Reader, Translator };

    LuaLexer(QIODevice& input, Notice notice);
    // Reads `text`, which must outlive the lexer, from `from` (on `line`) on. Only a lexer that
    // starts at 0 skips a first "#" line.
    LuaLexer(std::string_view text, Rules rules, qsizetype from = 0, qint64 line = 1);

    // Reads the next token into `token`.
    inline void next(LuaToken& token);
    qint64 line() const { return m_line; }
    // Where the reading is: in a whole text, just after the last token read.
    qsizetype position() const { return m_pos; }
    // Goes back (or on) to `position` on `line` of a whole text.
    void restore(qsizetype position, qint64 line)
    {
        m_pos = position;
        m_line = line;
    }

    // The bytes from the reading position on, at least `wanted` of them where the input has that
    // many (fewer at its end). For a parser that reads a common shape straight from the bytes.
    std::string_view pending(qsizetype wanted);
    // Moves the reading position `count` bytes on; they must hold no line end.
    void skip(qsizetype count) { m_pos += count; }
    // The value of a decimal numeral as Lua reads it ("1.5", "2e-3"); false when it is malformed.
    static bool numeralValue(std::string_view numeral, double& out);
    // Lone CR characters seen so far.
    qint64 loneCarriageReturns() const { return m_loneCr; }

private:
    static bool digit(char c) { return c >= '0' && c <= '9'; }
    static bool nameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
    static bool nameChar(unsigned char c) { return nameStart(char(c)) || digit(char(c)); }
    static bool isKeywordText(std::string_view s);

    void start(); // the byte-order mark and a "#" line at the start of the file
    void nextSlow(LuaToken& token);
    int peek(qsizetype ahead = 0);
    void advance();
    bool refill(qsizetype needed);
    void newLine();
    void skipComment();
    void readNumber(LuaToken& t);
    void readName(LuaToken& t);
    void readString(LuaToken& t, char quote);
    bool readLongString(std::string* into);
    void invalid(LuaToken& t, LuaToken::Problem problem, const QString& why);
    void notice(const QString& text);
    bool reader() const { return m_rules == Rules::Reader; }
    // A character that Lua cannot read at the token's start (already passed).
    void strayCharacter(LuaToken& t, int c);

    QIODevice* m_input = nullptr; // none: a whole text
    Notice m_notice;
    Rules m_rules = Rules::Reader;
    QByteArray m_buffer;          // of a device: the bytes read and not yet passed
    const char* m_data = nullptr; // the bytes being read: the buffer's or the whole text's
    qsizetype m_size = 0;
    qsizetype m_pos = 0;
    bool m_eof = false;
    qint64 m_line = 1;
    qint64 m_loneCr = 0;
    bool m_started = false;
};

inline void LuaLexer::next(LuaToken& t)
{
    // The common tokens (numbers without a point or exponent, names, plain quoted texts and
    // one-character symbols) straight from the buffer; everything else, and anything that might
    // run past the bytes read so far, the general way.
    constexpr qsizetype window = 256;
    if (!m_started)
        start();
    if (m_size - m_pos < window && !m_eof)
        refill(window);
    const char* data = m_data;
    const char* p = data + m_pos;
    const char* const e = data + m_size;
    for (;;) {
        while (p < e && *p == ' ')
            ++p;
        if (p == e)
            break;
        const char c = *p;
        if (c == '\t') {
            ++p;
        } else if (c == '\n') {
            ++p;
            newLine();
        } else if (c == '\r' && p + 1 < e && p[1] == '\n') {
            ++p;
        } else {
            break;
        }
    }
    m_pos = p - data;
    if (p == e || e - p < 2) {
        nextSlow(t);
        return;
    }
    t.line = m_line;
    t.offset = m_pos;
    t.number = 0;
    t.code = 0;
    const char c = *p;
    if (digit(c)) {
        const char* q = p;
        std::uint64_t whole = 0;
        while (q < e && digit(*q) && q - p < 15) {
            whole = whole * 10 + std::uint64_t(*q - '0');
            ++q;
        }
        if (q == e || digit(*q)) {
            nextSlow(t);
            return;
        }
        if (*q == '.' || *q == 'e' || *q == 'E') {
            readNumber(t);
            return;
        }
        t.type = LuaToken::Type::Number;
        t.number = double(whole);
        // A whole number written plainly needs no text: it is the number's own shortest form.
        if (*p == '0' && q - p > 1)
            t.text.assign(p, std::size_t(q - p));
        else
            t.text.clear();
        m_pos = q - data;
        return;
    }
    if (nameStart(c)) {
        const char* q = p + 1;
        while (q < e && nameChar(static_cast<unsigned char>(*q)))
            ++q;
        if (q == e) {
            nextSlow(t);
            return;
        }
        t.text.assign(p, std::size_t(q - p));
        m_pos = q - data;
        if (isKeywordText(t.text)) {
            t.type = LuaToken::Type::Keyword;
            t.code = LuaToken::packChars(t.text);
        } else {
            t.type = LuaToken::Type::Name;
        }
        return;
    }
    if (c == '"') {
        const char* q = p + 1;
        while (q < e && *q != '"' && *q != '\\' && *q != '\n' && *q != '\r')
            ++q;
        if (q == e || *q != '"') {
            nextSlow(t);
            return;
        }
        t.type = LuaToken::Type::String;
        t.text.assign(p + 1, std::size_t(q - p - 1));
        m_pos = q + 1 - data;
        return;
    }
    switch (c) {
    case '-':
        if (p[1] == '-') {
            nextSlow(t);
            return;
        }
        [[fallthrough]];
    case ',':
    case '{':
    case '}':
    case '(':
    case ')':
    case ';':
    case '+':
    case '*':
    case '/':
    case '^':
    case '%':
    case ':':
    case ']':
        t.type = LuaToken::Type::Symbol;
        t.code = static_cast<unsigned char>(c);
        m_pos = p + 1 - data;
        return;
    default:
        nextSlow(t);
        return;
    }
}

} // namespace starloom
