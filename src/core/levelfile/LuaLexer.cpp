#include "LuaLexer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace starloom {

namespace {

constexpr qsizetype blockSize = 1 << 16;

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

bool isNameStart(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isNameChar(int c)
{
    return isNameStart(c) || isDigit(c);
}

} // namespace

bool LuaLexer::isKeywordText(std::string_view s)
{
    switch (s.size()) {
    case 2:
        return s == "do" || s == "if" || s == "in" || s == "or";
    case 3:
        return s == "and" || s == "end" || s == "for" || s == "nil" || s == "not";
    case 4:
        return s == "else" || s == "then";
    case 5:
        return s == "break" || s == "local" || s == "until" || s == "while";
    case 6:
        return s == "elseif" || s == "repeat" || s == "return";
    case 8:
        return s == "function";
    default:
        return false;
    }
}

namespace {

// A numeral of Lua 4.0's shape as a double; false when it is malformed ("1e", "1e+").
bool toDouble(std::string_view numeral, double& out)
{
    // Whole numbers of up to 15 digits, by far the most common, without the general conversion.
    if (numeral.size() <= 15) {
        std::uint64_t whole = 0;
        bool digitsOnly = !numeral.empty();
        for (char c : numeral) {
            if (!isDigit(c)) {
                digitsOnly = false;
                break;
            }
            whole = whole * 10 + std::uint64_t(c - '0');
        }
        if (digitsOnly) {
            out = double(whole);
            return true;
        }
    }
    const auto r = std::from_chars(numeral.data(), numeral.data() + numeral.size(), out);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the double range: C's strtod, which Lua uses, gives +-HUGE_VAL or 0.
        const std::size_t e = numeral.find_first_of("eE");
        out = e != std::string_view::npos && numeral.find('-', e) != std::string_view::npos ? 0.0 : HUGE_VAL;
        return r.ptr == numeral.data() + numeral.size();
    }
    return r.ec == std::errc() && r.ptr == numeral.data() + numeral.size();
}

} // namespace

bool LuaLexer::numeralValue(std::string_view numeral, double& out)
{
    return toDouble(numeral, out);
}

std::string_view LuaLexer::pending(qsizetype wanted)
{
    if (!m_started)
        start();
    if (m_size - m_pos < wanted && !m_eof)
        refill(wanted);
    return std::string_view(m_data + m_pos, std::size_t(m_size - m_pos));
}

std::string LuaToken::spelling() const
{
    if (type != Type::Symbol && type != Type::Keyword)
        return text;
    std::string s;
    for (std::uint64_t c = code; c != 0; c >>= 8)
        s.push_back(char(c & 0xff));
    return s;
}

LuaLexer::LuaLexer(QIODevice& input, Notice notice) : m_input(&input), m_notice(std::move(notice))
{
}

LuaLexer::LuaLexer(std::string_view text, Rules rules, qsizetype from, qint64 line)
    : m_rules(rules),
      m_data(text.data()),
      m_size(qsizetype(text.size())),
      m_pos(from),
      m_eof(true),
      m_line(line),
      m_started(from != 0)
{
}

void LuaLexer::notice(const QString& text)
{
    if (m_notice)
        m_notice(m_line, text);
}

bool LuaLexer::refill(qsizetype needed)
{
    if (m_eof)
        return false;
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    while (m_buffer.size() < needed && !m_eof) {
        const qsizetype old = m_buffer.size();
        m_buffer.resize(old + blockSize);
        const qint64 got = m_input->read(m_buffer.data() + old, blockSize);
        m_buffer.resize(old + std::max<qint64>(got, 0));
        if (got <= 0)
            m_eof = true;
    }
    m_data = m_buffer.constData();
    m_size = m_buffer.size();
    return m_size >= needed;
}

inline int LuaLexer::peek(qsizetype ahead)
{
    if (m_pos + ahead >= m_size && !refill(ahead + 1))
        return -1;
    return static_cast<unsigned char>(m_data[m_pos + ahead]);
}

inline void LuaLexer::advance()
{
    ++m_pos;
}

void LuaLexer::newLine()
{
    ++m_line;
}

void LuaLexer::invalid(LuaToken& t, LuaToken::Problem problem, const QString& why)
{
    t.type = LuaToken::Type::Invalid;
    t.problem = problem;
    if (reader())
        t.text = why.toStdString();
}

void LuaLexer::skipComment()
{
    // To the line feed: a lone CR does not end a Lua 4.0 comment.
    for (;;) {
        const char* data = m_data;
        const qsizetype size = m_size;
        qsizetype i = m_pos;
        while (i < size && data[i] != '\n' && data[i] != '\r')
            ++i;
        m_pos = i;
        const int c = peek();
        if (c == -1 || c == '\n')
            return;
        if (c == '\r') {
            if (peek(1) != '\n' && reader()) {
                ++m_loneCr;
                newLine();
            }
            advance();
        }
    }
}

void LuaLexer::readNumber(LuaToken& t)
{
    // Digits, an optional "." and digits, an optional exponent: as Lua 4.0 reads a numeral.
    if (m_size - m_pos < 64)
        refill(64);
    const char* data = m_data;
    const qsizetype size = m_size;
    qsizetype i = m_pos;
    auto digits = [&] {
        while (i < size && isDigit(data[i]))
            ++i;
    };
    digits();
    bool ambiguous = false;
    if (i < size && data[i] == '.') {
        ++i;
        ambiguous = i < size && data[i] == '.';
        digits();
    }
    if (!ambiguous && i < size && (data[i] == 'e' || data[i] == 'E')) {
        ++i;
        if (i < size && (data[i] == '+' || data[i] == '-'))
            ++i;
        digits();
    }
    t.text.assign(data + m_pos, std::size_t(i - m_pos));
    m_pos = i;
    if (ambiguous) {
        ++m_pos;
        invalid(t, LuaToken::Problem::AmbiguousNumber,
            QStringLiteral("ambiguous syntax: a decimal point followed by \"..\""));
        return;
    }
    t.type = LuaToken::Type::Number;
    if (!toDouble(t.text, t.number))
        invalid(t, LuaToken::Problem::MalformedNumber,
            QStringLiteral("the number \"%1\" is malformed").arg(QString::fromStdString(t.text)));
}

void LuaLexer::readName(LuaToken& t)
{
    t.text.clear();
    for (;;) {
        const char* data = m_data;
        const qsizetype size = m_size;
        qsizetype i = m_pos;
        while (i < size && isNameChar(static_cast<unsigned char>(data[i])))
            ++i;
        t.text.append(data + m_pos, std::size_t(i - m_pos));
        m_pos = i;
        if (i < size || peek() == -1 || !isNameChar(peek()))
            break;
    }
    if (isKeywordText(t.text)) {
        t.type = LuaToken::Type::Keyword;
        t.code = LuaToken::packChars(t.text);
    } else {
        t.type = LuaToken::Type::Name;
    }
}

void LuaLexer::readString(LuaToken& t, char quote)
{
    t.text.clear();
    advance();
    for (;;) {
        // Plain characters in one run.
        const char* data = m_data;
        const qsizetype size = m_size;
        qsizetype i = m_pos;
        while (i < size && data[i] != quote && data[i] != '\\' && data[i] != '\n' && data[i] != '\r')
            ++i;
        t.text.append(data + m_pos, std::size_t(i - m_pos));
        m_pos = i;
        const int c = peek();
        if (c == -1 || c == '\n') {
            invalid(t, LuaToken::Problem::UnclosedString, QStringLiteral("a quoted text is not closed on its line"));
            return;
        }
        if (c == quote) {
            advance();
            t.type = LuaToken::Type::String;
            return;
        }
        if (c == '\r') {
            if (peek(1) != '\n' && reader()) {
                ++m_loneCr;
                newLine();
            }
            t.text.push_back('\r');
            advance();
            continue;
        }
        advance(); // the backslash
        int e = peek();
        if (e == '\r' && !reader() && peek(1) == '\n') {
            advance(); // a backslash before CR LF: a line end in the text, as before LF
            e = '\n';
        }
        switch (e) {
        case 'a':
            t.text.push_back('\a');
            break;
        case 'b':
            t.text.push_back('\b');
            break;
        case 'f':
            t.text.push_back('\f');
            break;
        case 'n':
            t.text.push_back('\n');
            break;
        case 'r':
            t.text.push_back('\r');
            break;
        case 't':
            t.text.push_back('\t');
            break;
        case 'v':
            t.text.push_back('\v');
            break;
        case '\n':
            t.text.push_back('\n');
            newLine();
            break;
        case -1:
            invalid(t, LuaToken::Problem::UnclosedString, QStringLiteral("a quoted text is not closed"));
            return;
        default:
            if (isDigit(e)) {
                int value = 0;
                for (int k = 0; k < 3 && isDigit(peek()); ++k) {
                    value = value * 10 + (peek() - '0');
                    advance();
                }
                if (value > 255) {
                    // The rest of the text belongs to it all the same.
                    while (peek() != -1 && peek() != '\n' && peek() != quote)
                        advance();
                    if (peek() == quote)
                        advance();
                    invalid(t, LuaToken::Problem::EscapeTooLarge,
                        QStringLiteral("the escape \\%1 is larger than 255").arg(value));
                    return;
                }
                t.text.push_back(char(value));
                continue;
            }
            t.text.push_back(char(e)); // \\ \" \' and any other character stand for themselves
            break;
        }
        advance();
    }
}

bool LuaLexer::readLongString(std::string* into)
{
    // At "[[": nested pairs count; a line end right after the opening is part of the string (the
    // game's Lua keeps it, unlike Lua 5).
    advance();
    advance();
    int depth = 1;
    for (;;) {
        const int c = peek();
        if (c == -1)
            return false;
        if (c == '[' && peek(1) == '[') {
            ++depth;
            into->append("[[");
            advance();
            advance();
            continue;
        }
        if (c == ']' && peek(1) == ']') {
            advance();
            advance();
            if (--depth == 0)
                return true;
            into->append("]]");
            continue;
        }
        if (c == '\n') {
            newLine();
        } else if (c == '\r' && !reader()) {
            if (peek(1) == '\n') {
                advance(); // CR LF: one line end
                continue;
            }
        } else if (c == '\r' && peek(1) != '\n') {
            ++m_loneCr;
            newLine();
        }
        into->push_back(char(c));
        advance();
    }
}

void LuaLexer::start()
{
    m_started = true;
    if (reader() && peek() == 0xEF && peek(1) == 0xBB && peek(2) == 0xBF) {
        m_pos += 3;
        notice(QStringLiteral("the file starts with a UTF-8 byte-order mark, which the game's Lua cannot "
                              "read; it is not written back"));
    }
    if (peek() == '#')
        skipComment();
}

void LuaLexer::strayCharacter(LuaToken& t, int c)
{
    if (!reader()) {
        t.type = LuaToken::Type::Symbol;
        t.code = std::uint64_t(c);
        return;
    }
    invalid(t, LuaToken::Problem::Character,
        QStringLiteral("the character %1 cannot appear in Lua code")
            .arg(c >= 0x20 && c < 0x7f ? QStringLiteral("\"%1\"").arg(QChar(c)) : QStringLiteral("of code %1").arg(c)));
}

void LuaLexer::nextSlow(LuaToken& t)
{
    if (!m_started)
        start();
    t.number = 0;
    t.code = 0;
    auto symbol = [&t](std::string_view s) {
        t.type = LuaToken::Type::Symbol;
        t.code = LuaToken::packChars(s);
    };
    for (;;) {
        const int c = peek();
        t.line = m_line;
        t.offset = m_pos;
        switch (c) {
        case -1:
            t.type = LuaToken::Type::End;
            return;
        case '\n':
            advance();
            newLine();
            continue;
        case '\r':
            advance();
            if (peek() != '\n' && reader()) {
                ++m_loneCr;
                newLine();
            }
            continue;
        case ' ':
        case '\t': {
            const char* data = m_data;
            const qsizetype size = m_size;
            qsizetype i = m_pos + 1;
            while (i < size && (data[i] == ' ' || data[i] == '\t'))
                ++i;
            m_pos = i;
            continue;
        }
        case '\f':
        case '\v':
            advance();
            if (!reader()) { // Lua 4.0 refuses a script with one: "invalid control char"
                strayCharacter(t, c);
                return;
            }
            notice(QStringLiteral("a form feed or vertical tab, which the game's Lua 4.0 does not take as a blank"));
            continue;
        case '-':
            if (peek(1) == '-') {
                if (reader() && peek(2) == '[' && peek(3) == '[')
                    notice(QStringLiteral("\"--[[\" starts a block comment in Lua 5, but the game's "
                                          "Lua 4.0 reads only this line as a comment: the lines after "
                                          "it are code"));
                m_pos += 2;
                skipComment();
                continue;
            }
            advance();
            symbol("-");
            return;
        case '[':
            if (peek(1) == '[') {
                t.text.clear();
                if (readLongString(&t.text))
                    t.type = LuaToken::Type::String;
                else
                    invalid(
                        t, LuaToken::Problem::UnclosedLongString, QStringLiteral("a long string \"[[\" is not closed"));
                return;
            }
            advance();
            symbol("[");
            return;
        case '"':
        case '\'':
            readString(t, char(c));
            return;
        case '.':
            if (isDigit(peek(1))) {
                readNumber(t);
                return;
            }
            if (peek(1) == '.') {
                if (peek(2) == '.') {
                    m_pos += 3;
                    symbol("...");
                    return;
                }
                m_pos += 2;
                symbol("..");
                return;
            }
            advance();
            symbol(".");
            return;
        case '=':
        case '<':
        case '>':
        case '~':
            if (peek(1) == '=') {
                const char two[2] = {char(c), '='};
                m_pos += 2;
                symbol(std::string_view(two, 2));
                return;
            }
            advance();
            if (c == '~' && reader()) {
                invalid(t, LuaToken::Problem::Character, QStringLiteral("\"~\" without \"=\""));
                return;
            }
            {
                const char one = char(c);
                symbol(std::string_view(&one, 1));
            }
            return;
        case '+':
        case '*':
        case '/':
        case '^':
        case '%':
        case '(':
        case ')':
        case '{':
        case '}':
        case ']':
        case ';':
        case ',':
        case ':': {
            advance();
            const char one = char(c);
            symbol(std::string_view(&one, 1));
            return;
        }
        default:
            if (isDigit(c)) {
                readNumber(t);
                return;
            }
            if (isNameStart(c)) {
                readName(t);
                return;
            }
            advance();
            strayCharacter(t, c);
            return;
        }
    }
}

} // namespace starloom
