// Runs the word tokenizer and the number conversions on arbitrary text and
// checks what must hold for every text: separators are found where they are,
// words never hold a separator, a cleaned line splits into the same words both
// ways, and numbers survive their text forms.

#include "document/Numbers.h"
#include "document/ObjectRow.h"
#include "levelfile/Tokenizer.h"

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

constexpr int maxWords =
    40; // getWord is linear in the index; keep each run short

bool isSeparator(QChar c, char16_t separator) {
  return c == QChar(separator == 0 ? u' ' : separator) || c == u'\t';
}

void checkTokenizer(const QString &text, char16_t separator) {
  const QChar sep(separator == 0 ? u' ' : separator);
  const int p = firstSeparator(text, separator);
  const auto at = std::find_if(text.begin(), text.end(), [&](QChar c) {
    return isSeparator(c, separator);
  });
  check(p == (at == text.end() ? 0 : static_cast<int>(at - text.begin()) + 1),
        "firstSeparator finds the first one");

  const QString stripped = stripLeading(text, separator);
  check(text.endsWith(stripped), "stripLeading keeps a suffix");
  check(!stripped.startsWith(sep),
        "stripLeading removes every leading separator");
  for (qsizetype i = 0; i < text.size() - stripped.size(); ++i)
    check(text[i] == sep, "stripLeading removes separators only");

  for (int i = 1; i <= maxWords; ++i) {
    const QString word = getWord(text, i, separator);
    check(std::none_of(word.begin(), word.end(),
                       [&](QChar c) { return isSeparator(c, separator); }),
          "a word holds no separator");
    check(word.size() <= text.size(), "a word is part of the line");
  }

  const QString cleaned = cleanLine(text);
  check(cleaned.size() <= text.size() && !cleaned.startsWith(QLatin1Char(' ')),
        "cleanLine trims the start");
  for (QChar c : cleaned)
    check(!QStringView(u"\",()[]{}\t").contains(c),
          "cleanLine leaves no quote, comma, bracket or tab");
  const QStringList words = cleanWords(cleaned);
  for (int i = 1;
       i <= std::min<int>(static_cast<int>(words.size()) + 1, maxWords); ++i) {
    const QString expected = i <= words.size() ? words[i - 1] : QString();
    check(getWord(cleaned, i) == expected,
          "cleanWords and getWord agree on a cleaned line");
  }
  check(replaceBrackets(text).size() == text.size(),
        "replaceBrackets keeps the length");
  (void)replaceWithSpace(text, QStringView(text).left(2));
  (void)rowFromKey(text);
}

void checkNumbers(const QString &text) {
  bool whole = false;
  const double v = val(text, &whole);
  check(!std::isnan(v), "val is never NaN");
  check(whole == isStrictNumber(text), "val and isStrictNumber agree");
  // Text after a number never changes it, and a number followed by a letter is
  // not strict.
  const QString extended = text + QLatin1Char('z');
  const double w = val(extended);
  check(v == w && std::signbit(v) == std::signbit(w),
        "a trailing letter does not change the number");
  check(!isStrictNumber(extended),
        "a trailing letter makes the text no number");

  if (const auto i = toInt32(v)) {
    check(std::fabs(double(*i) - v) <= 0.5, "toInt32 rounds to the nearest");
    check(toInt32Clamped(v) == *i, "toInt32Clamped agrees in range");
    check(val(intText(*i)) == double(*i), "integer text reads back");
  } else {
    check(std::fabs(v) >= 2147483647.5,
          "toInt32 refuses only values out of range");
  }
  if (const auto i = toInt16(v))
    check(std::fabs(double(*i) - v) <= 0.5, "toInt16 rounds to the nearest");
  (void)floorToInt32(v);

  // A plain numeral (no blanks, no "d" exponent) means what the C library says
  // it means.
  const bool plain =
      !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' ||
               c == u'+' || c == u'e' || c == u'E';
      });
  if (plain && whole) {
    const QByteArray latin = text.toLatin1();
    char *end = nullptr;
    const double expected = std::strtod(latin.constData(), &end);
    check(std::fabs(expected) < 1e-300 ? std::fabs(v) < 1e-300 : v == expected,
          "val agrees with strtod");
  }

  if (std::isfinite(v)) {
    const double back = val(doubleText(v));
    check(std::fabs(back - v) <= 1e-14 * std::fabs(v) + 1e-300,
          "double text reads back");
    const auto f = static_cast<float>(v);
    if (std::isfinite(f)) {
      const double fb = val(floatText(f));
      check(std::fabs(fb - double(f)) <= 1e-6 * std::fabs(double(f)) + 1e-37,
            "float text reads back");
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  if (size == 0)
    return 0;
  // The first byte picks the separator (0: the default space); the rest is the
  // line, as 8-bit text like the reader's lines.
  const auto separator = static_cast<char16_t>(data[0] % 4 == 0 ? 0 : data[0]);
  const QString text =
      QString::fromLatin1(reinterpret_cast<const char *>(data + 1),
                          static_cast<qsizetype>(size - 1));
  checkTokenizer(text, separator);
  checkNumbers(text);
  return 0;
}
