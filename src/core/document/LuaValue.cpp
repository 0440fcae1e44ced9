#include "LuaValue.h"

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

std::string luaText(const LuaValue& value)
{
    std::string out;
    appendText(out, value);
    return out;
}

} // namespace starloom
