#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace starloom {

struct LuaField;

// A value that a level passes to a game function or assigns to a global, as the game's Lua holds
// it: nil, a number, a string or a table. A number read from a file keeps the numeral as it was
// written, so that it can be written back unchanged.
struct LuaValue {
    enum class Type : std::uint8_t { Nil, Number, String, Table };

    Type type = Type::Nil;
    double number = 0;
    // Number: the numeral as written in the file; empty when the value was computed by a script,
    // or when the numeral is the number's own shortest form (a whole number written plainly).
    // String: the string's bytes (8-bit text, Latin-1).
    std::string text;
    std::vector<LuaValue> items;  // Table: the list part t[1] ... t[n], in order
    std::vector<LuaField> fields; // Table: every other entry, in the order given

    static LuaValue makeNumber(double value, std::string numeral = {});
    static LuaValue makeString(std::string bytes);
    static LuaValue makeTable();

    bool isNil() const { return type == Type::Nil; }
    bool isNumber() const { return type == Type::Number; }
    bool isString() const { return type == Type::String; }
    bool isTable() const { return type == Type::Table; }

    // The value of the table entry `name` (a string key), nullptr when there is none.
    const LuaValue* field(std::string_view name) const;
    // The value of the table entry with the number key `key` (list part included), nullptr when none.
    const LuaValue* at(double key) const;

    // Equal as the game sees them: numerals are compared by value, not by spelling.
    bool sameValue(const LuaValue& other) const;
    bool operator==(const LuaValue& other) const = default;
};

struct LuaField {
    LuaValue key;
    LuaValue value;
    bool operator==(const LuaField& other) const = default;
};

// The values in one string, exactly (types, numbers with their numerals, strings, tables' lists
// and fields in order): what a document keeps of a call it read, in one block instead of a tree of
// them. decodeLuaValues gives the values back; it reads only what encodeLuaValues writes.
std::string encodeLuaValues(const std::vector<LuaValue>& values);
std::vector<LuaValue> decodeLuaValues(std::string_view bytes);

// The value as Lua source text: numbers as their numeral (the one written in the file, or the
// shortest text that reads back as the same double), strings quoted with the escapes the game's
// Lua 4.0 reads, tables as "{a, b, name = c, [3] = d}".
std::string luaText(const LuaValue& value);

// A quoted Lua string literal of `bytes` ("\"a\\\"b\""): backslash, double quote, CR, LF and tab
// escaped by name, other control characters and DEL as three-digit decimal escapes.
std::string luaQuoted(std::string_view bytes);

// The shortest numeral that Lua reads back as exactly `value` ("2", "0.5", "1e+300"); whole
// numbers without a decimal point.
std::string luaNumeral(double value);

} // namespace starloom
