#include "LuaValue.h"

#include <cstring>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace starloom {

LuaValue LuaValue::makeNumber(double value, std::string numeral)
{
    LuaValue v;
    v.type = Type::Number;
    v.number = value;
    v.text = std::move(numeral);
    return v;
}

LuaValue LuaValue::makeString(std::string bytes)
{
    LuaValue v;
    v.type = Type::String;
    v.text = std::move(bytes);
    return v;
}

LuaValue LuaValue::makeTable()
{
    LuaValue v;
    v.type = Type::Table;
    return v;
}

const LuaValue* LuaValue::field(std::string_view name) const
{
    for (const LuaField& f : fields) {
        if (f.key.isString() && f.key.text == name)
            return &f.value;
    }
    return nullptr;
}

const LuaValue* LuaValue::at(double key) const
{
    if (key >= 1 && key <= double(items.size()) && key == std::floor(key))
        return &items[static_cast<std::size_t>(key) - 1];
    for (const LuaField& f : fields) {
        if (f.key.isNumber() && f.key.number == key)
            return &f.value;
    }
    return nullptr;
}

bool LuaValue::sameValue(const LuaValue& o) const
{
    if (type != o.type)
        return false;
    switch (type) {
    case Type::Nil:
        return true;
    case Type::Number:
        return number == o.number;
    case Type::String:
        return text == o.text;
    case Type::Table:
        break;
    }
    if (items.size() != o.items.size() || fields.size() != o.fields.size())
        return false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].sameValue(o.items[i]))
            return false;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i].key.sameValue(o.fields[i].key) || !fields[i].value.sameValue(o.fields[i].value))
            return false;
    }
    return true;
}

std::string luaNumeral(double value)
{
    if (std::isnan(value))
        return "(0/0)";
    if (std::isinf(value))
        return value > 0 ? "1e9999" : "-1e9999";
    if (value == 0)
        return std::signbit(value) ? "-0" : "0";
    char buf[32];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        // Whole numbers plainly ("100000", not "1e+05").
        const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        return std::string(buf, r.ptr);
    }
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string luaQuoted(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\%03u", unsigned(c));
                out += esc;
            } else {
                out += char(c);
            }
        }
    }
    out += '"';
    return out;
}

namespace {

bool isLuaName(std::string_view s)
{
    static constexpr std::string_view keywords[] = {"and", "break", "do", "else", "elseif", "end", "for", "function",
        "if", "in", "local", "nil", "not", "or", "repeat", "return", "then", "until", "while"};
    if (s.empty() || (s[0] >= '0' && s[0] <= '9'))
        return false;
    for (char c : s) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    for (std::string_view k : keywords) {
        if (s == k)
            return false;
    }
    return true;
}

void appendText(std::string& out, const LuaValue& v)
{
    switch (v.type) {
    case LuaValue::Type::Nil:
        out += "nil";
        return;
    case LuaValue::Type::Number:
        out += v.text.empty() ? luaNumeral(v.number) : v.text;
        return;
    case LuaValue::Type::String:
        out += luaQuoted(v.text);
        return;
    case LuaValue::Type::Table:
        break;
    }
    out += '{';
    bool first = true;
    for (const LuaValue& item : v.items) {
        if (!first)
            out += ", ";
        first = false;
        appendText(out, item);
    }
    // Lua 4.0 separates a constructor's list part from its keyed part with ";".
    const char* separator = first ? "" : "; ";
    for (const LuaField& f : v.fields) {
        out += separator;
        separator = ", ";
        if (f.key.isString() && isLuaName(f.key.text)) {
            out += f.key.text;
        } else {
            out += '[';
            appendText(out, f.key);
            out += ']';
        }
        out += " = ";
        appendText(out, f.value);
    }
    out += '}';
}

} // namespace

namespace {

enum class Tag : char { Nil, Number, String, Table };

void putCount(std::string& out, std::size_t n)
{
    while (n >= 0x80) {
        out += static_cast<char>((n & 0x7f) | 0x80);
        n >>= 7;
    }
    out += static_cast<char>(n);
}

void putText(std::string& out, const std::string& text)
{
    putCount(out, text.size());
    out += text;
}

void encodeValue(std::string& out, const LuaValue& v)
{
    switch (v.type) {
    case LuaValue::Type::Nil:
        out += static_cast<char>(Tag::Nil);
        return;
    case LuaValue::Type::Number: {
        out += static_cast<char>(Tag::Number);
        char bytes[sizeof(double)];
        std::memcpy(bytes, &v.number, sizeof bytes);
        out.append(bytes, sizeof bytes);
        putText(out, v.text);
        return;
    }
    case LuaValue::Type::String:
        out += static_cast<char>(Tag::String);
        putText(out, v.text);
        return;
    case LuaValue::Type::Table:
        out += static_cast<char>(Tag::Table);
        putCount(out, v.items.size());
        for (const LuaValue& item : v.items)
            encodeValue(out, item);
        putCount(out, v.fields.size());
        for (const LuaField& field : v.fields) {
            encodeValue(out, field.key);
            encodeValue(out, field.value);
        }
        return;
    }
}

class Decoder {
public:
    explicit Decoder(std::string_view bytes) : m_bytes(bytes) {}

    std::size_t count()
    {
        std::size_t n = 0;
        for (int shift = 0; m_at < m_bytes.size() && shift < 64; shift += 7) {
            const auto byte = static_cast<unsigned char>(m_bytes[m_at++]);
            n |= std::size_t(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return n;
        }
        m_at = m_bytes.size();
        return 0;
    }
    std::string text()
    {
        const std::size_t n = std::min(count(), m_bytes.size() - m_at);
        std::string t(m_bytes.substr(m_at, n));
        m_at += n;
        return t;
    }
    LuaValue value()
    {
        if (m_at >= m_bytes.size())
            return {};
        LuaValue v;
        switch (static_cast<Tag>(m_bytes[m_at++])) {
        case Tag::Nil:
            break;
        case Tag::Number:
            v.type = LuaValue::Type::Number;
            if (m_bytes.size() - m_at >= sizeof(double)) {
                std::memcpy(&v.number, m_bytes.data() + m_at, sizeof(double));
                m_at += sizeof(double);
            }
            v.text = text();
            break;
        case Tag::String:
            v.type = LuaValue::Type::String;
            v.text = text();
            break;
        case Tag::Table: {
            v.type = LuaValue::Type::Table;
            for (std::size_t n = count(); n > 0 && m_at < m_bytes.size(); --n)
                v.items.push_back(value());
            for (std::size_t n = count(); n > 0 && m_at < m_bytes.size(); --n) {
                LuaValue key = value();
                v.fields.push_back({std::move(key), value()});
            }
            break;
        }
        }
        return v;
    }
    bool done() const { return m_at >= m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
};

} // namespace

std::string encodeLuaValues(const std::vector<LuaValue>& values)
{
    std::string out;
    putCount(out, values.size());
    for (const LuaValue& v : values)
        encodeValue(out, v);
    return out;
}

std::vector<LuaValue> decodeLuaValues(std::string_view bytes)
{
    Decoder in(bytes);
    std::vector<LuaValue> values;
    for (std::size_t n = in.count(); n > 0 && !in.done(); --n)
        values.push_back(in.value());
    return values;
}

std::string luaText(const LuaValue& value)
{
    std::string out;
    appendText(out, value);
    return out;
}

} // namespace starloom
