#include "Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace starloom {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Collects the characters of the leading number (blanks dropped) into `out`; returns the index
// in `text` just after the last character that belongs to the number.
qsizetype scanNumber(QStringView text, std::string& out)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            out.push_back('-');
        ++i;
    }
    qsizetype end = 0;
    bool digits = false;
    for (;;) {
        skipBlanks();
        if (i < n && isDigit(text[i])) {
            out.push_back(char(text[i].unicode()));
            digits = true;
            end = ++i;
        } else {
            break;
        }
    }
    skipBlanks();
    if (i < n && text[i] == u'.') {
        ++i;
        std::string fraction;
        for (;;) {
            skipBlanks();
            if (i < n && isDigit(text[i])) {
                fraction.push_back(char(text[i].unicode()));
                end = ++i;
            } else {
                break;
            }
        }
        if (!fraction.empty()) {
            out.push_back('.');
            out += fraction;
            digits = true;
        }
    }
    if (!digits) {
        out.clear();
        return 0;
    }
    const qsizetype beforeExponent = i;
    skipBlanks();
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        ++i;
        std::string exponent = "e";
        skipBlanks();
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            exponent.push_back(char(text[i].unicode()));
            ++i;
        }
        bool expDigits = false;
        bool expSignificant = false;
        for (;;) {
            skipBlanks();
            if (i < n && isDigit(text[i])) {
                // Leading zeros are dropped and absurdly long exponents capped: the value is
                // infinite or zero long before.
                expSignificant = expSignificant || text[i] != u'0';
                if (expSignificant && exponent.size() < 8)
                    exponent.push_back(char(text[i].unicode()));
                expDigits = true;
                end = ++i;
            } else {
                break;
            }
        }
        if (expDigits)
            out += expSignificant ? exponent : std::string("e0");
        else
            i = beforeExponent;
    }
    return end;
}

// Whether a collected number that from_chars found out of range is below the smallest double
// rather than above the largest: its decimal order of magnitude is negative.
bool isTiny(const std::string& s)
{
    const auto e = s.find('e');
    const std::string_view mantissa = std::string_view(s).substr(0, e);
    long long order = 0;
    if (e != std::string::npos) {
        long long exponent = 0;
        std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
        order = exponent;
    }
    const auto point = mantissa.find('.');
    const auto intEnd = point == std::string_view::npos ? mantissa.size() : point;
    const auto first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos)
        return true;
    // Digits before the point beyond the first raise the order; zeros after the point lower it.
    order += first < intEnd ? (long long)(intEnd - first) - 1 : -(long long)(first - intEnd);
    return order < 0;
}

double parseCollected(const std::string& s)
{
    if (s.empty())
        return 0.0;
    double value = 0.0;
    const char* first = s.data();
    const char* last = s.data() + s.size();
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow: decide by the number's
        // order of magnitude, which is the exponent moved by where the first significant digit
        // stands ("1000e-2" is large, "0.001e2" small).
        const bool negative = s.front() == '-';
        if (isTiny(s))
            return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return value;
}

QString trimmedNumberText(const char* first, const char* last)
{
    return QString::fromLatin1(first, qsizetype(last - first));
}

} // namespace

// The common case: plain ASCII digits, sign, point and exponent with no blanks inside.
// Returns false when the text needs the general scan.
bool fastNumber(QStringView text, double& value, qsizetype& end)
{
    char buf[40];
    qsizetype n = text.size();
    if (n == 0 || n >= qsizetype(sizeof buf))
        return false;
    // Whole numbers of up to nine digits, the usual case in level files.
    {
        qsizetype k = text[0] == u'-' ? 1 : 0;
        if (n - k >= 1 && n - k <= 9) {
            long long whole = 0;
            for (; k < n; ++k) {
                const char16_t c = text[k].unicode();
                if (c < u'0' || c > u'9')
                    break;
                whole = whole * 10 + (c - u'0');
            }
            if (k == n) {
                value = text[0] == u'-' ? -double(whole) : double(whole);
                if (value == 0 && text[0] == u'-')
                    value = -0.0;
                end = n;
                return true;
            }
        }
    }
    qsizetype i = 0;
    int digits = 0;
    if (text[0] == u'-' || text[0] == u'+')
        ++i;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c != u'.')
            break;
    }
    if (digits == 0 || i < n)
        return false; // exponents, blanks and trailing text take the general path
    qsizetype len = 0;
    for (qsizetype k = (text[0] == u'+' ? 1 : 0); k < n; ++k)
        buf[len++] = char(text[k].unicode());
    const auto r = std::from_chars(buf, buf + len, value, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != buf + len)
        return false;
    end = n;
    return true;
}

double val(QStringView text)
{
    return val(text, nullptr);
}

double val(QStringView text, bool* whole)
{
    double fast = 0;
    qsizetype fastEnd = 0;
    if (fastNumber(text, fast, fastEnd)) {
        if (whole)
            *whole = true;
        return fast;
    }
    std::string collected;
    const qsizetype end = scanNumber(text, collected);
    if (whole) {
        *whole = !collected.empty();
        for (qsizetype i = end; i < text.size() && *whole; ++i)
            *whole = isBlank(text[i]);
    }
    return parseCollected(collected);
}

bool isStrictNumber(QStringView text)
{
    bool whole = false;
    val(text, &whole);
    return whole;
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode rounds halves to even
}

std::optional<std::int32_t> toInt32(double value)
{
    const double r = roundHalfEven(value);
    if (std::isnan(r) || r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

std::optional<std::int16_t> toInt16(double value)
{
    const double r = roundHalfEven(value);
    if (std::isnan(r) || r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

std::int32_t toInt32Clamped(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = roundHalfEven(value);
    if (r < -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    if (r > 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

std::int16_t toInt16Clamped(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = roundHalfEven(value);
    if (r < -32768.0)
        return std::numeric_limits<std::int16_t>::min();
    if (r > 32767.0)
        return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(r);
}

std::int32_t floorToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    const double f = std::floor(value);
    if (f < -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    if (f > 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(f);
}

QString intText(long long value)
{
    return QString::number(value);
}

QString floatText(float value)
{
    if (std::isnan(value))
        return QStringLiteral("0");
    if (std::isinf(value))
        value = value > 0 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
    char buf[64];
    auto shortest = std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, shortest.ptr);
    int significant = 0;
    bool leading = true;
    for (char c : s) {
        if (c == 'e')
            break;
        if (c >= '0' && c <= '9') {
            if (c != '0')
                leading = false;
            if (!leading)
                ++significant;
        }
    }
    if (significant <= 7)
        return trimmedNumberText(buf, shortest.ptr);
    auto general = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 7);
    return trimmedNumberText(buf, general.ptr);
}

QString doubleText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("0");
    if (std::isinf(value))
        value = value > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return trimmedNumberText(buf, r.ptr);
}

QString decimalText(double value, int decimals)
{
    if (!std::isfinite(value))
        return doubleText(value);
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, std::clamp(decimals, 0, 15));
    if (r.ec != std::errc())
        return doubleText(value);
    char* end = r.ptr;
    if (std::find(buf, end, '.') != end) {
        while (end[-1] == '0')
            --end;
        if (end[-1] == '.')
            --end;
    }
    QString text = trimmedNumberText(buf, end);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

bool isLuaNumber(QStringView text)
{
    const QStringView t = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && t[i] == u'-')
        ++i;
    const qsizetype integerStart = i;
    while (i < n && isDigit(t[i]))
        ++i;
    qsizetype digits = i - integerStart;
    if (i < n && t[i] == u'.') {
        const qsizetype fractionStart = ++i;
        while (i < n && isDigit(t[i]))
            ++i;
        digits += i - fractionStart;
    }
    if (digits == 0)
        return false;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        const qsizetype exponentStart = i;
        while (i < n && isDigit(t[i]))
            ++i;
        if (i == exponentStart)
            return false;
    }
    return i == n && std::isfinite(val(t));
}

} // namespace starloom
