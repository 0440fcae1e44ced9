#include "levelfile/Tokenizer.h"

#include <gtest/gtest.h>

using namespace starloom;

namespace {

struct WordCase { const char* line; int index; const char* expected; };

class GetWordTest : public ::testing::TestWithParam<WordCase> {};

TEST_P(GetWordTest, SplitsAsTheReaderExpects)
{
    const WordCase& c = GetParam();
    EXPECT_EQ(getWord(QString::fromLatin1(c.line), c.index), QLatin1String(c.expected)) << c.line << " #" << c.index;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GetWordTest,
    ::testing::Values(WordCase{"addAsteroid  Asteroid_1   100", 3, "100"}, WordCase{"a, b", 1, "a"},
                      WordCase{"a, b", 2, "b"}, WordCase{"a b,", 2, "b,"}, WordCase{"a b", 3, ""},
                      WordCase{" a", 1, ""}, WordCase{" a", 2, "a"}, WordCase{"word\tnext more", 1, "word"},
                      WordCase{"word\tnext more", 2, ""}, WordCase{"word\tnext more", 3, ""},
                      WordCase{"\tword", 1, ""}, WordCase{"single", 1, "single"}, WordCase{"", 1, ""},
                      WordCase{"x,, y", 1, "x,"}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Tokenizer, FirstSeparatorFindsSpaceOrTab)
{
    EXPECT_EQ((std::array{firstSeparator(u"ab"), firstSeparator(u"a\tb c"), firstSeparator(u"ab c\td"), firstSeparator(u"a;b", u';')}), (std::array{0, 2, 3, 2}));
}

TEST(Tokenizer, StripLeadingRemovesOnlyTheSeparator)
{
    EXPECT_EQ((QStringList{stripLeading(u"   x "), stripLeading(u"\t x"), stripLeading(u"    "), stripLeading(u";;a", u';')}), (QStringList{"x ", "\t x", "", "a"}));
}

TEST(Tokenizer, LineCleaning)
{
    EXPECT_EQ(replaceBrackets(QStringLiteral("f({1}[2])")), QLatin1String("f  1  2  "));
    EXPECT_EQ(replaceWithSpace(QStringLiteral("aXXbXX"), u"XX"), QLatin1String("a b "));
    const QString cleaned = cleanLine(u"\t  addPoint(\"StartPos0\", {1000, 0, 2000}, {0, 90, 0})");
    EXPECT_EQ(cleanWords(cleaned), (QStringList{"addPoint", "StartPos0", "1000", "0", "2000", "0", "90", "0"}));
    EXPECT_EQ(cleanWords(cleanLine(u"addNebula(\"A\", \"\", {1, 2, 3})")), (QStringList{"addNebula", "A", "1", "2", "3"})) << "an empty quoted text gives no word";
}

TEST(Tokenizer, CleanWordsAgreeWithGetWord)
{
    for (const char* raw : {"addCloud(\"polySurface1\", \"cloud_0\", {5000, 0, 5000}, {0.5, 0.5, 0.5, 1}, 0.0, 100)",
                            "  addPebble(\"pebble_0\", {1, 2, 3}, 0, 0, 0) ", "\taddSalvage(\"a b\",\t{1,\t2, 3})"}) {
        const QString cleaned = cleanLine(QString::fromLatin1(raw));
        const QStringList words = cleanWords(cleaned);
        for (int i = 0; i < words.size() + 2; ++i)
            EXPECT_EQ(getWord(cleaned, i + 1), i < words.size() ? words[i] : QString()) << raw << " #" << i + 1;
    }
}

} // namespace
