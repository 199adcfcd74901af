#include "core/numtext/NumberText.h"

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <locale>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace orvane {
namespace {

using namespace std::string_view_literals;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kTrueMin = std::numeric_limits<double>::denorm_min();

float singleFromBits(std::uint32_t bits) {
    return std::bit_cast<float>(bits);
}
double below(double x) {
    return std::nextafter(x, 0.0);
}

struct ParseCase {
    std::string_view text;
    double expected;
};

void expectParses(std::span<const ParseCase> cases) {
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        const double value = ParseNumberPrefix(c.text);
        EXPECT_EQ(value, c.expected);
        EXPECT_EQ(std::signbit(value), std::signbit(c.expected));
    }
}

TEST(ParseNumberPrefix, FieldTexts) {
    const ParseCase cases[] = {{"abc", 0.0},     {"", 0.0},           {".5", 0.5},
                               {"0.5mm", 0.5},   {"1.2.3", 1.2},      {"-3", -3.0},
                               {"2,450", 2.0},   {" 1 000 ", 1000.0}, {"1E-07", 1e-7},
                               {"+2.5", 2.5},    {"5.", 5.0},         {"1.e2", 100.0},
                               {"1e+2x", 100.0}, {"\t-2\n.5", -2.5},  {"206000\r", 206000.0}};
    expectParses(cases);
}

TEST(ParseNumberPrefix, DegenerateTexts) {
    // An exponent letter without digits and a sign or point without digits are no number.
    const ParseCase cases[] = {{"-", 0.0},        {".", 0.0},      {"-.", 0.0},  {"+-1", 0.0},
                               {"e5", 0.0},       {"1E", 1.0},     {"1E+", 1.0}, {"1e-x", 1.0},
                               {"1\0005"sv, 1.0}, {"\0005"sv, 0.0}};
    expectParses(cases);
}

TEST(ParseNumberPrefix, HexadecimalAndOctal) {
    const ParseCase cases[] = {{"&H10", 16.0}, {"&h1f", 31.0}, {"&HfF", 255.0},
                               {"&o17", 15.0}, {"&O18", 1.0},  {"& H 7FFFFFFF", 2147483647.0},
                               {"&H", 0.0},    {"&Hg", 0.0},   {"&X10", 0.0},
                               {"-&H10", 0.0}};
    expectParses(cases);
}

TEST(ParseNumberPrefix, BeyondTheDoubleRange) {
    const ParseCase cases[] = {
        {"1e400", kInf},        {"-1e400", -kInf},       {"1e99999999999999999999999", kInf},
        {"1e-400", 0.0},        {"-1e-400", -0.0},       {"0.0001e-320", 0.0},
        {"4.9e-324", kTrueMin}, {"0e999999999999", 0.0}, {"1797693134862315708e290", kMax}};
    expectParses(cases);
}

TEST(ParseNumberPrefix, HugeInputs) {
    // Millions of characters must be read in linear time.
    const std::string nines(2'000'000, '9');
    const std::string tinyFraction = "0." + std::string(2'000'000, '0') + "1";
    const std::string hexDigits = "&H" + std::string(2'000'000, 'F');
    const std::string blanks = std::string(2'000'000, ' ') + "7";
    const std::string scaledOne = "1" + std::string(1000, '0') + "e-1000";
    const ParseCase cases[] = {
        {nines, kInf}, {tinyFraction, 0.0}, {hexDigits, kInf}, {blanks, 7.0}, {scaledOne, 1.0}};
    expectParses(cases);
}

struct SingleCase {
    float value;
    std::string_view expected;
};

void expectSingleTexts(std::span<const SingleCase> cases) {
    for (const SingleCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        EXPECT_EQ(SingleToText(c.value), c.expected);
    }
}

TEST(SingleToText, StartUpValues) {
    const SingleCase cases[] = {{230000.0f, "230000"}, {2450.0f, "2450"}, {24000.0f, "24000"},
                                {206000.0f, "206000"}, {1e-7f, "1E-07"},  {3.5f, "3.5"},
                                {0.111f, "0.111"},     {0.065f, "0.065"}, {123456.7f, "123456.7"}};
    expectSingleTexts(cases);
}

TEST(SingleToText, ExponentFormOutsideOneE05ToOneE07) {
    // 0x3727C5AB is the single just below 1E-05.
    const SingleCase cases[] = {{1e-5f, "0.00001"},
                                {1.5e-5f, "0.000015"},
                                {singleFromBits(0x3727C5ABu), "9.999999E-06"},
                                {9999999.0f, "9999999"},
                                {1e7f, "1E+07"},
                                {1.5e7f, "1.5E+07"},
                                {1e38f, "1E+38"},
                                {-1.5e-7f, "-1.5E-07"},
                                {std::numeric_limits<float>::max(), "3.402823E+38"},
                                {std::numeric_limits<float>::min(), "1.175494E-38"},
                                {std::numeric_limits<float>::denorm_min(), "1E-45"}};
    expectSingleTexts(cases);
}

TEST(SingleToText, SevenSignificantDigitsAtMost) {
    // Singles whose shortest round-trip text needs eight or nine digits: 0.10000001,
    // 1.0000001, 0.99999994 and 9.9999997E-23, which carries into the next decade.
    const SingleCase cases[] = {{singleFromBits(0x3DCCCCCEu), "0.1"},
                                {singleFromBits(0x3F800001u), "1"},
                                {singleFromBits(0x3F7FFFFFu), "0.9999999"},
                                {singleFromBits(0x1AF1C900u), "1E-22"},
                                {1.0f / 3.0f, "0.3333333"},
                                {12345678.0f, "1.234568E+07"},
                                {16777215.0f, "1.677722E+07"}};
    expectSingleTexts(cases);
}

TEST(SingleToText, SignsAndZero) {
    const SingleCase cases[] = {{-0.5f, "-0.5"}, {-2450.0f, "-2450"}, {0.0f, "0"}, {-0.0f, "0"}};
    expectSingleTexts(cases);
    EXPECT_FALSE(SingleToText(std::numeric_limits<float>::quiet_NaN()).empty());
    EXPECT_FALSE(SingleToText(-std::numeric_limits<float>::infinity()).empty());
}

TEST(PlainNumberItem, BlankForSignAndNoZeroBeforeThePoint) {
    const SingleCase cases[] = {{0.05f, " .05 "},   {-0.5f, "-.5 "},         {3.5f, " 3.5 "},
                                {0.111f, " .111 "}, {230000.0f, " 230000 "}, {-2450.0f, "-2450 "},
                                {1e-7f, " 1E-07 "}, {-1e-7f, "-1E-07 "},     {1.5e-5f, " .000015 "},
                                {0.0f, " 0 "},      {-0.0f, " 0 "},          {1.0f, " 1 "}};
    for (const SingleCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        EXPECT_EQ(PlainNumberItem(c.value), c.expected);
    }
}

struct MaskCase {
    double value;
    std::string_view mask;
    std::string_view expected;
};

void expectMasked(std::span<const MaskCase> cases) {
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value) + " " + std::string(c.mask));
        EXPECT_EQ(FormatMask(c.value, c.mask), c.expected);
    }
}

TEST(FormatMask, MasksInUse) {
    // 0.065f is the single 0.0649999976…, widened.
    const MaskCase cases[] = {{7, "00000", "00007"},
                              {123456, "00000", "123456"},
                              {0.0125, "0.000e+00", "1.250e-02"},
                              {1500, "0.000e+00", "1.500e+03"},
                              {0, "0.000e+00", "0.000e+00"},
                              {15, "0.0E+00", "1.5E+01"},
                              {1.5, "0.0E+00", "1.5E+00"},
                              {6.467, "#0.000", "6.467"},
                              {0.12, "#0.000", "0.120"},
                              {0.12, "##0.000", "0.120"},
                              {300, "###0.000", "300.000"},
                              {0.065f, "0.0000", "0.0650"},
                              {50, "##0.00", "50.00"},
                              {120, "###0.0", "120.0"},
                              {193.5, "##0.0", "193.5"},
                              {0.06, "#####0.0", "0.1"},
                              {0.2, "#0.00000", "0.20000"},
                              {12345.5, "###0.000", "12345.500"}};
    expectMasked(cases);
}

TEST(FormatMask, RoundsTheBinaryValueHalvesAwayFromZero) {
    // Exact ties go away from zero, their neighbours below go down. The doubles 0.15 and 0.35
    // lie just below their halves, 0.0005 just above.
    const MaskCase cases[] = {{0.0625, "#0.000", "0.063"},
                              {below(0.0625), "#0.000", "0.062"},
                              {-0.0625, "#0.000", "-0.063"},
                              {2.5, "00000", "00003"},
                              {below(2.5), "00000", "00002"},
                              {0.5, "00000", "00001"},
                              {0.125, "##0.00", "0.13"},
                              {0.375, "##0.00", "0.38"},
                              {0.15, "###0.0", "0.1"},
                              {0.35, "###0.0", "0.3"},
                              {0.0005, "#0.000", "0.001"},
                              {1.0625, "0.000e+00", "1.063e+00"},
                              {below(1.0625), "0.000e+00", "1.062e+00"},
                              {10625, "0.000e+00", "1.063e+04"},
                              {-10625, "0.000e+00", "-1.063e+04"},
                              {125, "0.0E+00", "1.3E+02"},
                              {99.5, "0.0E+00", "1.0E+02"},
                              {9.9996, "0.000e+00", "1.000e+01"}};
    expectMasked(cases);
}

TEST(FormatMask, NegativesAndSignedZero) {
    const MaskCase cases[] = {{-0.5, "#0.000", "-0.500"},
                              {-0.5, "0.000e+00", "-5.000e-01"},
                              {-7, "00000", "-00007"},
                              {-0.0, "#0.000", "0.000"},
                              {-0.0, "0.000e+00", "0.000e+00"},
                              {-0.0, "00000", "00000"},
                              {-1e-10, "#0.000", "-0.000"},
                              {-0.0004, "#0.000", "-0.000"},
                              {-1e-10, "0.000e+00", "-1.000e-10"}};
    expectMasked(cases);
}

// The exact decimal expansion of a double, rounded half away from zero by decimal string
// arithmetic: an oracle independent of the formatter's own rounding.
std::string roundedDigits(std::string digits, std::size_t keep, int& carry) {
    carry = 0;
    if (keep < digits.size() && digits[keep] >= '5') {
        std::size_t k = keep;
        while (k > 0 && digits[k - 1] == '9')
            digits[--k] = '0';
        if (k == 0) {
            digits.insert(digits.begin(), '1');
            carry = 1;
        } else {
            ++digits[k - 1];
        }
    }
    return digits.substr(0, keep + std::size_t(carry));
}

std::string exactlyRounded(double value, std::string_view mask) {
    const NumberMask m(mask);
    char expansion[1500];
    const char* end = std::to_chars(expansion, expansion + sizeof expansion, std::fabs(value),
                                    std::chars_format::fixed, 1100)
                          .ptr;
    const std::string text(static_cast<const char*>(expansion), end);
    const std::size_t point = text.find('.');
    const std::string digits = text.substr(0, point) + text.substr(point + 1);
    std::string out = value < 0 ? "-" : "";
    int carry = 0;
    if (!m.scientific()) {
        std::string kept = roundedDigits(digits, point + std::size_t(m.decimals()), carry);
        std::string integer = kept.substr(0, kept.size() - std::size_t(m.decimals()));
        integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size()));
        if (integer.size() < std::size_t(m.minIntegerDigits()))
            integer.insert(0, std::size_t(m.minIntegerDigits()) - integer.size(), '0');
        out += integer;
        if (m.decimalPoint())
            out += "." + kept.substr(kept.size() - std::size_t(m.decimals()));
        return out;
    }
    if (value == 0)
        return std::string("0.") + std::string(std::size_t(m.decimals()), '0') +
               m.exponentLetter() + "+00";
    const std::size_t first = digits.find_first_not_of('0');
    int exponent = int(point) - int(first) - 1;
    const std::string kept =
        roundedDigits(digits.substr(first), std::size_t(m.decimals()) + 1, carry);
    exponent += carry;
    out += kept.substr(0, 1) + "." + kept.substr(1, std::size_t(m.decimals())) +
           m.exponentLetter() + (exponent < 0 ? "-" : "+");
    const std::string magnitude = std::to_string(std::abs(exponent));
    return out + (magnitude.size() < 2 ? "0" : "") + magnitude;
}

TEST(FormatMask, AgreesWithTheExactExpansion) {
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> decade(-12.0, 12.0);
    std::uniform_int_distribution<std::int64_t> whole(0, 2'000'000'000);
    std::uniform_int_distribution<int> shift(1, 14);
    const char* const masks[] = {"#0.000",   "0.0000", "##0.00",    "###0.0",
                                 "#0.00000", "00000",  "0.000e+00", "0.0E+00"};
    for (const char* mask : masks) {
        const NumberMask m(mask);
        const double unit = std::pow(10.0, -m.decimals());
        for (int k = 0; k < 3000; ++k) {
            // Spread values, decimal half-way points and their neighbours, and dyadic values
            // (among them the exact ties).
            const double halfWay = (double(whole(random) % 100000) + 0.5) * unit;
            const double candidates[] = {
                std::pow(10.0, decade(random)),
                halfWay,
                std::nextafter(halfWay, 0.0),
                std::nextafter(halfWay, 1e300),
                std::ldexp(double(whole(random) % 4096), -shift(random)),
                -std::pow(10.0, decade(random)),
            };
            for (const double value : candidates) {
                ASSERT_EQ(FormatMask(value, m), exactlyRounded(value, mask))
                    << mask << " " << std::bit_cast<std::uint64_t>(value);
            }
        }
    }
}

TEST(FormatMask, HugeAndTiny) {
    const MaskCase cases[] = {
        {kTrueMin, "#0.000", "0.000"},   {-kTrueMin, "0.000e+00", "-4.941e-324"},
        {1e-300, "0.0E+00", "1.0E-300"}, {1e300, "0.0E+00", "1.0E+300"},
        {1e-5, "0.0E+00", "1.0E-05"},    {15, "0.0e+000", "1.5e+001"}};
    expectMasked(cases);
    // All integer digits are written: the exact binary value of 1e300.
    const std::string text = FormatMask(1e300, "#0.000");
    EXPECT_EQ(text.size(), 301u + 4u);
    EXPECT_EQ(text.substr(0, 40), "1000000000000000052504760255204420248704");
    EXPECT_EQ(text.substr(text.size() - 17), "5459400540160.000");
}

TEST(FormatMask, WritesAtMostMaxLength) {
    const double values[] = {kMax,
                             -kMax,
                             kTrueMin,
                             -kTrueMin,
                             0.0,
                             -0.0,
                             9.9996,
                             -999.9996,
                             kInf,
                             -kInf,
                             std::numeric_limits<double>::quiet_NaN()};
    const char* const masks[] = {"00000",  "0.000e+00", "0.0E+00",  "#0.000",   "###0.000",
                                 "0.0000", "##0.00",    "#####0.0", "#0.00000", "0E+0"};
    for (const char* maskText : masks) {
        const NumberMask mask(maskText);
        for (const double value : values) {
            SCOPED_TRACE(testing::PrintToString(value) + " " + maskText);
            std::string buffer(mask.maxLength() + 16, '@');
            const char* const end = formatMaskTo(buffer.data(), value, mask);
            const auto length = static_cast<std::size_t>(end - buffer.data());
            ASSERT_LE(length, mask.maxLength());
            EXPECT_EQ(buffer.find('@'), length);
            EXPECT_EQ(buffer.substr(0, length), FormatMask(value, mask));
        }
    }
    // The bound is tight for the fixed masks: "-" and 309 digits of -DBL_MAX.
    EXPECT_EQ(FormatMask(-kMax, "#0.00000").size(), NumberMask("#0.00000").maxLength());
    EXPECT_EQ(FormatMask(-kTrueMin, "0.0E+00").size(), NumberMask("0.0E+00").maxLength());
}

TEST(FormatMask, GrammarCorners) {
    // "#" alone writes nothing for a zero digit; a point without decimals is still written.
    const MaskCase cases[] = {{0.3, "#.00", ".30"},
                              {0.3, "#", ""},
                              {5, "0.", "5."},
                              {15, "0.e+000", "2.e+001"},
                              {15, "0E+00", "2E+01"}};
    expectMasked(cases);
}

#ifndef NDEBUG
TEST(NumberMaskDeathTest, RejectsMasksOutsideTheGrammar) {
    for (const char* mask : {"0.0#", "0,000", "0.0e00", "0.0e-00", "0.0E+", "0.00%"}) {
        SCOPED_TRACE(mask);
        EXPECT_DEATH(NumberMask{mask}, "");
    }
}
#endif

TEST(RightAlign8, FieldOfEight) {
    const std::pair<std::string_view, std::string_view> cases[] = {{"1.000", "   1.000"},
                                                                   {"12345.500", "2345.500"},
                                                                   {"300.000", " 300.000"},
                                                                   {"-300.000", "-300.000"},
                                                                   {"", "        "}};
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(RightAlign8(text), expected);
    }
}

// The column written in place is RightAlign8 of the masked text, on the integer road (texts of
// one to eight characters), on the exact road (ties, huge values, NaN) and for longer texts.
TEST(RightAlign8, MaskedStraightIntoTheField) {
    const double values[] = {
        0.0,     -0.0,      0.12,      6.467,   -6.467, 300.0,
        2345.5,  -2345.5,   9999.9996, 12345.5, -1e-10, 0.0625,
        -0.0625, 1e300,     kTrueMin,  kInf,    -kInf,  std::numeric_limits<double>::quiet_NaN(),
        1.5e7,   99999.9996};
    for (const char* maskText : {"###0.000", "#0.000", "00000", "0.000e+00", "0.0E+00", "#"}) {
        const NumberMask mask(maskText);
        for (const double value : values) {
            SCOPED_TRACE(testing::PrintToString(value) + " " + maskText);
            std::string buffer(std::max<std::size_t>(mask.maxLength(), 8) + 1, '@');
            EXPECT_EQ(formatMaskAlign8To(buffer.data(), value, mask), buffer.data() + 8);
            EXPECT_EQ(buffer.substr(0, 8), RightAlign8(FormatMask(value, mask)));
        }
    }
}

// Restores the C locale however the test ends.
class CommaLocale {
public:
    CommaLocale() {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
            return;
        try {
            std::locale::global(std::locale("de_DE.UTF-8"));
            m_active = std::string_view(std::localeconv()->decimal_point) == ",";
        } catch (const std::runtime_error&) {
        }
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        std::locale::global(std::locale::classic());
    }
    bool active() const { return m_active; }

private:
    bool m_active = false;
};

TEST(NumberText, IndependentOfTheProcessLocale) {
    const CommaLocale locale;
    if (!locale.active())
        GTEST_SKIP() << "no comma-decimal locale de_DE.UTF-8";
    EXPECT_EQ(ParseNumberPrefix("0.5"), 0.5);
    EXPECT_EQ(ParseNumberPrefix("2,450"), 2.0);
    EXPECT_EQ(ParseNumberPrefix("1.5E+07"), 1.5e7);
    EXPECT_EQ(SingleToText(0.111f), "0.111");
    EXPECT_EQ(SingleToText(1.5e7f), "1.5E+07");
    EXPECT_EQ(PlainNumberItem(-0.5f), "-.5 ");
    const MaskCase cases[] = {{1234.5, "###0.000", "1234.500"},
                              {0.0125, "0.000e+00", "1.250e-02"},
                              {123456, "00000", "123456"}};
    expectMasked(cases);
}

// A number typed on a command line is the whole text or nothing.
TEST(WholeNumber, TakesOnlyAWholeFiniteNumber) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"1E-07", 1e-7},   {"+2.5", 2.5}, {"-0.354", -0.354}, {"230000", 230000.0},
        {"1,5", {}},       {"1 ", {}},    {" 1", {}},         {"0.05\n", {}},
        {"6.4 N/mm2", {}}, {"", {}},      {"+", {}},          {"1e400", {}},
        {"nan", {}},       {"inf", {}},   {"&H10", {}},       {"1E-07x", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseWholeNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

// An entry is quoted whole up to 80 characters, else cut after 80 whole characters.
TEST(QuotedEntry, CutsAfter80CharactersNeverInsideOne) {
    EXPECT_EQ(QuotedEntry("abc"), "\"abc\"");
    EXPECT_EQ(QuotedEntry(std::string(80, 'x')), "\"" + std::string(80, 'x') + "\"");
    EXPECT_EQ(QuotedEntry(std::string(81, 'x')), "\"" + std::string(80, 'x') + "…\" (81 bytes)");
    // τ is two bytes in UTF-8: 80 of them are 160 bytes, all kept.
    std::string taus;
    for (int k = 0; k < 81; ++k) {
        taus += "τ";
    }
    EXPECT_EQ(QuotedEntry(taus), "\"" + taus.substr(0, 160) + "…\" (162 bytes)");
}

} // namespace
} // namespace orvane
