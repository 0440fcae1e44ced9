#include "document/Numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

using namespace starloom;

namespace {

struct ValCase {
    std::string text;
    double expected;
};

class ValTest : public ::testing::TestWithParam<ValCase> {};

TEST_P(ValTest, TakesTheLongestLeadingNumber)
{
    const ValCase& c = GetParam();
    EXPECT_DOUBLE_EQ(val(QString::fromStdString(c.text)), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ValTest,
    ::testing::Values(ValCase{"", 0}, ValCase{"abc", 0}, ValCase{"12", 12}, ValCase{"-7", -7}, ValCase{"+3", 3},
        ValCase{" 1 2", 12}, ValCase{"1.5.5", 1.5}, ValCase{".5", 0.5}, ValCase{"-0.000000", 0}, ValCase{"2;", 2},
        ValCase{"6.829419576410685E-13", 6.829419576410685e-13}, ValCase{"1e3x", 1000}, ValCase{"1e", 1},
        ValCase{"0x10", 0}, ValCase{"--5", 0}, ValCase{"-nan", 0}, ValCase{"1d2", 100}, ValCase{"\t42", 42},
        ValCase{"3.", 3},
        // leading zeros of an exponent (found by fuzzing)
        ValCase{"1e0000000005", 1e5}, ValCase{"2E-000003", 0.002}, ValCase{"7e000", 7}, ValCase{"1e309", HUGE_VAL},
        ValCase{"-1e309", -HUGE_VAL}, ValCase{"1e-400", 0},
        // out of range by the digits, not the exponent's sign: a long mantissa overflows with a
        // negative exponent, a long run of zeros underflows with a positive one
        ValCase{std::string("1").append(400, '0').append("e-10"), HUGE_VAL},
        ValCase{std::string("-1").append(400, '0').append("e-10"), -HUGE_VAL},
        ValCase{std::string("0.").append(400, '0').append("1e10"), 0}, ValCase{"4e-320", 4e-320}),
    [](const auto& instance) { return "case" + std::to_string(instance.index); });

TEST(Numbers, StrictNumbersAreWholeTexts)
{
    for (const char* yes : {"1", " -2.5 ", "1e5", ".5", "-0.000000"})
        EXPECT_TRUE(isStrictNumber(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"", "abc", "1.5.5", "0x10", "--5", "2;", "1 a", "-"})
        EXPECT_FALSE(isStrictNumber(QString::fromLatin1(no))) << no;
}

TEST(Numbers, RoundingIsHalfToEvenWithRangeChecks)
{
    using I = std::optional<std::int32_t>;
    EXPECT_EQ((std::vector<I>{toInt32(2.5), toInt32(3.5), toInt32(-2.5), toInt32(2147483647.0), toInt32(2147483648.0),
                  toInt32(std::nan("")), toInt32(HUGE_VAL)}),
        (std::vector<I>{2, 4, -2, 2147483647, std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_EQ((std::vector<std::optional<std::int16_t>>{toInt16(32767.4), toInt16(32767.5), toInt16(-32769)}),
        (std::vector<std::optional<std::int16_t>>{32767, std::nullopt, std::nullopt}));
    EXPECT_EQ(toInt16Clamped(1e9), std::int16_t(32767));
    EXPECT_EQ(toInt32Clamped(-1e30), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(floorToInt32(-0.4), -1);
    EXPECT_EQ(floorToInt32(12.7), 12);
}

struct TextCase {
    double value;
    const char* expected;
};

TEST(Numbers, FloatTextHasAtMostSevenSignificantDigits)
{
    for (const TextCase& c : {TextCase{90, "90"}, TextCase{22.5, "22.5"}, TextCase{0, "0"}, TextCase{-45.5, "-45.5"},
             TextCase{0.1, "0.1"}, TextCase{1.0 / 3.0, "0.3333333"}, TextCase{123456.789, "123456.8"}})
        EXPECT_EQ(floatText(static_cast<float>(c.value)), QLatin1String(c.expected)) << c.value;
}

TEST(Numbers, DoubleTextHasAtMostFifteenSignificantDigits)
{
    for (const TextCase& c : {TextCase{0, "0"}, TextCase{1, "1"}, TextCase{128.0 / 255, "0.501960784313725"},
             TextCase{10.0 / 255, "0.0392156862745098"}, TextCase{0.5, "0.5"}})
        EXPECT_EQ(doubleText(c.value), QLatin1String(c.expected)) << c.value;
}

TEST(Numbers, DecimalTextIsRoundedAsPeopleWriteNumbers)
{
    // Sums of hundredths, which binary fractions cannot hold exactly, as the fairness check makes them.
    for (const TextCase& c :
        {TextCase{45.1499999999999, "45.15"}, TextCase{48.7800000000001, "48.78"}, TextCase{3, "3"},
            TextCase{1.5, "1.5"}, TextCase{-0.001, "0"}, TextCase{-2.5, "-2.5"}, TextCase{120, "120"}})
        EXPECT_EQ(decimalText(c.value), QLatin1String(c.expected)) << c.value;
    EXPECT_EQ(decimalText(2.75, 1), QLatin1String("2.8"));
}

TEST(Numbers, TextIgnoresTheLocale)
{
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(floatText(0.5f), QLatin1String("0.5"));
    EXPECT_EQ(doubleText(0.25), QLatin1String("0.25"));
    EXPECT_EQ(val(u"0.5"), 0.5);
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
