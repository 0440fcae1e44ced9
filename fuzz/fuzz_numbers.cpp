// Runs the number conversions on arbitrary text and checks what must hold for
// every text: val and isStrictNumber agree, text after a number never changes
// it, integers round to the nearest, and numbers survive their text forms. Row
// keys are parsed from the same text.

#include "document/Numbers.h"
#include "document/ObjectRow.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzCheck.h"

using namespace starloom;

namespace {

using fuzz::check;

void checkNumbers(const QString& text)
{
    bool whole = false;
    const double v = val(text, &whole);
    check(!std::isnan(v), "val is never NaN");
    check(whole == isStrictNumber(text), "val and isStrictNumber agree");
    // Text after a number never changes it, and a number followed by a letter is
    // not strict.
    const QString extended = text + QLatin1Char('z');
    const double w = val(extended);
    check(v == w && std::signbit(v) == std::signbit(w), "a trailing letter does not change the number");
    check(!isStrictNumber(extended), "a trailing letter makes the text no number");

    if (const auto i = toInt32(v)) {
        check(std::fabs(double(*i) - v) <= 0.5, "toInt32 rounds to the nearest");
        check(toInt32Clamped(v) == *i, "toInt32Clamped agrees in range");
        check(val(intText(*i)) == double(*i), "integer text reads back");
    } else {
        check(std::fabs(v) >= 2147483647.5, "toInt32 refuses only values out of range");
    }
    if (const auto i = toInt16(v))
        check(std::fabs(double(*i) - v) <= 0.5, "toInt16 rounds to the nearest");
    (void)floorToInt32(v);

    // A plain numeral (no blanks, no "d" exponent) means what the C library says
    // it means.
    const bool plain = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E';
    });
    if (plain && whole) {
        const QByteArray latin = text.toLatin1();
        char* end = nullptr;
        const double expected = std::strtod(latin.constData(), &end);
        check(std::fabs(expected) < 1e-300 ? std::fabs(v) < 1e-300 : v == expected, "val agrees with strtod");
    }

    if (std::isfinite(v)) {
        const double back = val(doubleText(v));
        check(std::fabs(back - v) <= 1e-14 * std::fabs(v) + 1e-300, "double text reads back");
        const auto f = static_cast<float>(v);
        if (std::isfinite(f)) {
            const double fb = val(floatText(f));
            check(std::fabs(fb - double(f)) <= 1e-6 * std::fabs(double(f)) + 1e-37, "float text reads back");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // 8-bit text, like the lines of a level file.
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkNumbers(text);
    (void)rowFromKey(text);
    return 0;
}
