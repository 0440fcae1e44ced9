#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace starloom {

// The longest leading decimal number of `text`: blanks (space, tab, line feed) are skipped
// anywhere in the number, then an optional sign, digits, "." as the decimal point and an optional
// exponent ("e" or "d"). 0 when the text does not start with a number. Locale-independent.
// Very large exponents give +-infinity.
double val(QStringView text);
// The same; `whole` tells whether the whole text (blanks around it allowed) is that number.
double val(QStringView text, bool* whole);

// True when the whole of `text` (blanks around it allowed) is one decimal number.
bool isStrictNumber(QStringView text);

// True when the whole of `text` (blanks around it allowed) is a finite number as the game's Lua
// writes one: an optional "-", digits with an optional "." (or "." and digits), an optional
// exponent "e" or "E" with an optional sign. No blanks inside, no "+", no "d" exponent.
bool isLuaNumber(QStringView text);

// Round to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// Rounded conversions; nullopt when the value is NaN or outside the target range.
std::optional<std::int32_t> toInt32(double value);
std::optional<std::int16_t> toInt16(double value);

// Rounded conversions that clamp to the target range (NaN gives 0).
std::int32_t toInt32Clamped(double value);
std::int16_t toInt16Clamped(double value);

// Whole-number part toward minus infinity, clamped to 32 bits (the pointer readouts).
std::int32_t floorToInt32(double value);

// Plain decimal text, "-" for negatives, no grouping.
QString intText(long long value);

// Shortest text of up to 7 significant digits of a single-precision value ("90", "22.5").
QString floatText(float value);

// Text of a double with up to 15 significant digits, trailing zeros removed ("0.501960784313725").
QString doubleText(double value);

// A number as people write it in a message: rounded to at most `decimals` places, trailing zeros
// removed ("45.15" for a sum that came out as 45.1499999999999, "3", "-0.5").
QString decimalText(double value, int decimals = 2);

} // namespace starloom
