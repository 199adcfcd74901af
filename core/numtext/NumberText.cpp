#include "core/numtext/NumberText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>

namespace orvane {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

const char* skipDigits(const char* p, const char* end) {
    while (p != end && isDigit(*p)) {
        ++p;
    }
    return p;
}

// "&H1F", "&O17": the digits accumulate in a double, so a long run of digits only loses
// precision and finally reaches infinity.
double readRadixInteger(std::string_view digits, int radix) {
    double value = 0.0;
    for (const char c : digits) {
        int digit = radix;
        if (isDigit(c)) {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit >= radix) {
            break;
        }
        value = value * radix + digit;
    }
    return value;
}

// Direction of a prefix that from_chars found outside the double range: the decimal exponent
// of its leading non-zero digit is at least 308 for an overflow and below -323 for an
// underflow, so its sign decides. The exponent saturates, so no digit string can overflow it.
bool overflows(const char* intBegin, const char* intEnd, const char* fracBegin, const char* fracEnd,
               const char* expBegin, const char* expEnd) {
    std::int64_t lead = 0;
    const char* nonZero = std::find_if(intBegin, intEnd, [](char c) { return c != '0'; });
    if (nonZero != intEnd) {
        lead = intEnd - nonZero - 1;
    } else {
        nonZero = std::find_if(fracBegin, fracEnd, [](char c) { return c != '0'; });
        lead = -(nonZero - fracBegin) - 1;
    }
    bool negativeExponent = false;
    if (expBegin != expEnd && (*expBegin == '+' || *expBegin == '-')) {
        negativeExponent = *expBegin == '-';
        ++expBegin;
    }
    std::int64_t exponent = 0;
    for (const char* p = expBegin; p != expEnd && exponent < 1'000'000'000'000; ++p) {
        exponent = exponent * 10 + (*p - '0');
    }
    return lead + (negativeExponent ? -exponent : exponent) >= 0;
}

// The longest prefix [sign] digits [. digits] [E [sign] digits] with at least one mantissa
// digit; an exponent letter without digits does not belong to the number ("1E+" reads 1).
double readDecimalPrefix(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const char* const intBegin = p;
    const char* const intEnd = skipDigits(intBegin, end);
    const char* fracBegin = intEnd;
    const char* fracEnd = intEnd;
    if (intEnd != end && *intEnd == '.') {
        fracBegin = intEnd + 1;
        fracEnd = skipDigits(fracBegin, end);
    }
    if (intEnd == intBegin && fracEnd == fracBegin) {
        return 0.0;
    }
    // A lone trailing point ("5.") belongs to the number; from_chars reads it too.
    const char* numberEnd = fracBegin == intEnd ? intEnd : fracEnd;
    const char* expBegin = numberEnd;
    const char* expEnd = numberEnd;
    if (numberEnd != end && (*numberEnd == 'E' || *numberEnd == 'e')) {
        const char* q = numberEnd + 1;
        if (q != end && (*q == '+' || *q == '-')) {
            ++q;
        }
        const char* const digitsEnd = skipDigits(q, end);
        if (digitsEnd != q) {
            expBegin = numberEnd + 1;
            expEnd = digitsEnd;
            numberEnd = digitsEnd;
        }
    }

    double magnitude = 0.0;
    const auto [ptr, ec] = std::from_chars(intBegin, numberEnd, magnitude);
    if (ec == std::errc::result_out_of_range) {
        magnitude = overflows(intBegin, intEnd, fracBegin, fracEnd, expBegin, expEnd)
                        ? std::numeric_limits<double>::infinity()
                        : 0.0;
    } else {
        assert(ec == std::errc() && ptr == numberEnd);
    }
    return negative ? -magnitude : magnitude;
}

// Significant digits d.ddd (no trailing zeros) and the decimal exponent e of d.ddd×10^e.
struct DecimalDigits {
    char digits[10] = {};
    int count = 0;
    int exponent = 0;
};

// Reads the "d.ddde±xx" text of to_chars' scientific form.
DecimalDigits splitScientific(const char* begin, const char* end) {
    DecimalDigits d;
    const char* p = begin;
    for (; p != end && *p != 'e'; ++p) {
        if (isDigit(*p) && d.count < 10) {
            d.digits[d.count++] = *p;
        }
    }
    assert(p != end);
    ++p;
    if (*p == '+') {
        ++p;
    }
    std::from_chars(p, end, d.exponent);
    while (d.count > 1 && d.digits[d.count - 1] == '0') {
        --d.count;
    }
    return d;
}

// A single's shortest round-trip digits, or its value rounded to seven significant digits
// when the shortest form needs eight or nine.
DecimalDigits singleDigits(float magnitude) {
    char buffer[32];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    DecimalDigits d = splitScientific(buffer, result.ptr);
    if (d.count > 7) {
        result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                               std::chars_format::scientific, 6);
        d = splitScientific(buffer, result.ptr);
    }
    return d;
}

// True when the finite value a > 0 lies exactly half-way between two multiples of 10^q.
// With a = M·2^E and M odd, that means 2a/10^q = M·2^(E+1-q)/5^q is an odd integer: E = q-1,
// and for q > 0 also 5^q divides M. M < 2^53 < 5^23, so there is no tie for q > 22.
bool isExactTie(double a, int q) {
    if (a == 0.0) {
        return false;
    }
    int binaryExponent = 0;
    const double fraction = std::frexp(a, &binaryExponent);
    auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int zeros = std::countr_zero(m);
    m >>= zeros;
    const int e = binaryExponent - 53 + zeros;
    if (e != q - 1) {
        return false;
    }
    if (q <= 0) {
        return true;
    }
    if (q > 22) {
        return false;
    }
    std::uint64_t power = 1;
    for (int i = 0; i < q; ++i) {
        power *= 5;
    }
    return m % power == 0;
}

char* writeText(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// Characters after the integer digits: the point and the decimals.
std::size_t fractionLength(const NumberMask& mask) {
    return mask.decimalPoint() ? static_cast<std::size_t>(mask.decimals()) + 1 : 0;
}

// Adds one unit in the last place to the decimal digits in [first, last), skipping the point.
// Returns true when the carry runs out of the first digit (9.99 -> 0.00).
bool addOneUnit(char* first, char* last) {
    for (char* p = last; p != first;) {
        --p;
        if (*p == '.') {
            continue;
        }
        if (*p != '9') {
            ++*p;
            return false;
        }
        *p = '0';
    }
    return true;
}

// An exact tie lies half-way between two texts with the mask's decimals, so its expansion with
// one decimal more is exact and ends in that 5. to_chars would round it to even; rounding it
// away from zero drops the 5 and carries one into the kept digits. Writes the text at out and
// returns its end; it is no longer than the text of the even rounding.
char* writeTie(char* out, double a, std::chars_format format, int decimals) {
    // Ties have short expansions: below 2^53 for fixed masks, d + 2 digits for scientific ones.
    char text[128];
    assert(decimals < 64);
    text[0] = '0'; // room for a carry out of the first digit
    const auto result = std::to_chars(text + 1, text + sizeof text, a, format, decimals + 1);
    assert(result.ec == std::errc());
    char* end = result.ptr;
    char* const five =
        format == std::chars_format::fixed ? end - 1 : std::find(text + 1, end, 'e') - 1;
    assert(*five == '5');
    char* keptEnd = decimals == 0 ? five - 1 : five; // without the point of "9.5"
    const bool carried = addOneUnit(text + 1, keptEnd);
    end = std::copy(five + 1, end, keptEnd); // the exponent part of the scientific form
    const char* begin = text + 1;
    if (carried && format == std::chars_format::fixed) {
        text[0] = '1';
        begin = text;
    } else if (carried) {
        // 9.995e+01 -> 1.000e+02: the kept digits are all zero now; the exponent grows by one.
        text[1] = '1';
        char* const sign = std::find(text + 1, end, 'e') + 1;
        int exponent = 0;
        std::from_chars(sign + 1, end, exponent);
        exponent = (*sign == '-' ? -exponent : exponent) + 1;
        *sign = exponent < 0 ? '-' : '+';
        end = sign + 1;
        if (std::abs(exponent) < 10) {
            *end++ = '0';
        }
        end = std::to_chars(end, text + sizeof text, std::abs(exponent)).ptr;
    }
    return std::copy(begin, static_cast<const char*>(end), out);
}

// Fixed point with the exact expansion; ties are rounded away from zero.
char* writeFixed(char* out, char* limit, double a, const NumberMask& mask) {
    const int decimals = mask.decimals();
    std::size_t length = 0;
    if (isExactTie(a, -decimals)) {
        length =
            static_cast<std::size_t>(writeTie(out, a, std::chars_format::fixed, decimals) - out);
    } else {
        const auto result = std::to_chars(out, limit, a, std::chars_format::fixed, decimals);
        assert(result.ec == std::errc());
        length = static_cast<std::size_t>(result.ptr - out);
    }
    if (mask.decimalPoint() && decimals == 0) {
        out[length++] = '.';
    }
    const std::size_t integerDigits = length - fractionLength(mask);
    const auto minimum = static_cast<std::size_t>(mask.minIntegerDigits());
    if (minimum == 0 && integerDigits == 1 && out[0] == '0') {
        // "#.00" writes no digit for a zero integer part.
        std::memmove(out, out + 1, length - 1);
        --length;
    } else if (integerDigits < minimum) {
        const std::size_t pad = minimum - integerDigits;
        std::memmove(out + pad, out, length);
        std::memset(out, '0', pad);
        length += pad;
    }
    return out + length;
}

// Scientific with the exact expansion: to_chars writes one digit before the point and carries
// 9.9996 into 1.000e+01. A tie is detected at the exponent of the rounded text; if the even
// rounding carried, the test at the new exponent fails and the carried text is the away
// rounding too.
char* writeScientific(char* out, char* limit, double a, const NumberMask& mask) {
    const int decimals = mask.decimals();
    const std::size_t letterOffset = decimals > 0 ? static_cast<std::size_t>(decimals) + 2 : 1;
    auto result = std::to_chars(out, limit, a, std::chars_format::scientific, decimals);
    assert(result.ec == std::errc());
    int exponent = 0;
    std::from_chars(out + letterOffset + 2, result.ptr, exponent);
    if (out[letterOffset + 1] == '-') {
        exponent = -exponent;
    }
    char* end = result.ptr;
    if (isExactTie(a, exponent - decimals)) {
        end = writeTie(out, a, std::chars_format::scientific, decimals);
    }
    if (mask.decimalPoint() && decimals == 0) {
        std::memmove(out + 2, out + 1, static_cast<std::size_t>(end - out - 1));
        out[1] = '.';
        ++end;
    }
    char* const letter = out + 1 + fractionLength(mask);
    *letter = mask.exponentLetter();
    char* const digits = letter + 2;
    const auto digitCount = static_cast<int>(end - digits);
    if (digitCount >= mask.minExponentDigits()) {
        return end;
    }
    const auto pad = static_cast<std::size_t>(mask.minExponentDigits() - digitCount);
    std::memmove(digits + pad, digits, static_cast<std::size_t>(digitCount));
    std::memset(digits, '0', pad);
    return end + pad;
}

// Most values are formatted from an integer instead of an expansion to a given precision, which
// to_chars produces several times more slowly: y = a·10^k is formed in one correctly rounded
// operation with an exact power of ten, rounded half away from zero to the integer N, and the
// digits of N come from to_chars. N is the exact answer whenever the computed y lies further
// than one unit in its last place from a half-integer; closer cases (exact ties among them),
// values too large for the product to be exact, and exponents without an exact power of ten
// leave the integer road, and the exact expansion decides.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;
constexpr std::uint64_t kIntegerPowersOfTen[] = {1u,
                                                 10u,
                                                 100u,
                                                 1000u,
                                                 10000u,
                                                 100000u,
                                                 1000000u,
                                                 10000000u,
                                                 100000000u,
                                                 1000000000u,
                                                 10000000000u,
                                                 100000000000u,
                                                 1000000000000u,
                                                 10000000000000u,
                                                 100000000000000u,
                                                 1000000000000000u,
                                                 10000000000000000u,
                                                 100000000000000000u,
                                                 1000000000000000000u,
                                                 10000000000000000000u};
// Decimals the integer road takes: 10^d + a fraction of d digits still fits in 64 bits.
constexpr int kLargestIntegerDecimals = 15;
// Largest y whose unit in the last place is small enough to tell the half-integers apart.
constexpr double kLargestScaled = 0x1p45;

// round(y) half away from zero for y >= 0, or -1 when y is too close to a half-integer for the
// rounding of y itself to be ruled out (or is no number below kLargestScaled). y·2^-52 bounds
// the unit in the last place of y.
std::int64_t roundScaled(double y) {
    if (!(y < kLargestScaled)) {
        return -1;
    }
    const auto whole = static_cast<std::int64_t>(y); // floor, as y >= 0
    const double fraction = y - static_cast<double>(whole);
    if (std::fabs(fraction - 0.5) <= y * 0x1p-52) {
        return -1;
    }
    return whole + (fraction > 0.5 ? 1 : 0);
}

// a·10^k in one rounding, or a negative value when 10^|k| is not exact.
double scaleByPowerOfTen(double a, int k) {
    if (k > kLargestExactPower || k < -kLargestExactPower) {
        return -1;
    }
    return k >= 0 ? a * kPowersOfTen[k] : a / kPowersOfTen[-k];
}

// Decimal digits of n (0 for 0): from the bit width, corrected by one comparison.
int digitCount(std::uint64_t n) {
    const int estimate = (std::bit_width(n) * 1233) >> 12; // ·log10(2), one low at most
    return estimate + (n >= kIntegerPowersOfTen[estimate] ? 1 : 0);
}

char* writeZeros(char* out, int count) {
    for (; count > 0; --count) {
        *out++ = '0';
    }
    return out;
}

// The rounded value on the integer road. Its length is known before a character is written,
// so a text can be placed right-aligned straight into its field.
struct RoundedText {
    std::uint64_t n; // fixed: round(a·10^d); scientific: d + 1 digits, or 0 for a zero value
    int digits;      // digitCount(n)
    int exponent;    // scientific: the decimal exponent
    int length;      // characters of the whole text, the sign included
    bool negative;
};

std::optional<RoundedText> roundFixed(double a, const NumberMask& mask) {
    const int decimals = mask.decimals();
    if (decimals > kLargestIntegerDecimals) {
        return std::nullopt;
    }
    const std::int64_t n = roundScaled(a * kPowersOfTen[decimals]);
    if (n < 0) {
        return std::nullopt;
    }
    const int digits = digitCount(static_cast<std::uint64_t>(n));
    // A zero integer part writes a digit only where the mask has a 0 ("#.00" shows .50).
    const int integerDigits = std::max({digits - decimals, mask.minIntegerDigits(), 0});
    const auto length = integerDigits + static_cast<int>(fractionLength(mask));
    return RoundedText{static_cast<std::uint64_t>(n), digits, 0, length, false};
}

// floor(log10(a)) for a normal positive double, or one less: floor(e·log10(2)) of its binary
// exponent e, exact in integers for |e| < 1100.
int decimalExponentEstimate(double a) {
    const auto biased = static_cast<int>((std::bit_cast<std::uint64_t>(a) >> 52) & 0x7FF);
    return ((biased - 1023) * 78913) >> 18;
}

std::optional<RoundedText> roundScientific(double a, const NumberMask& mask) {
    const int decimals = mask.decimals();
    if (decimals > kLargestIntegerDecimals) {
        return std::nullopt;
    }
    const int exponentDigits = std::max(2, mask.minExponentDigits());
    const int fixedPart = 1 + static_cast<int>(fractionLength(mask)) + 2; // d.ddd, e and sign
    if (a == 0.0) {
        return RoundedText{0, 0, 0, fixedPart + exponentDigits, false};
    }
    if (!(a >= std::numeric_limits<double>::min())) {
        return std::nullopt;
    }
    const double lowest = kPowersOfTen[decimals];     // 10^d: one digit before the point
    const double beyond = kPowersOfTen[decimals + 1]; // 10^(d+1)
    int exponent = decimalExponentEstimate(a);
    double y = scaleByPowerOfTen(a, decimals - exponent);
    if (y >= beyond) {
        ++exponent;
        y = scaleByPowerOfTen(a, decimals - exponent);
    }
    if (!(y >= lowest && y < beyond)) {
        return std::nullopt;
    }
    std::int64_t n = roundScaled(y);
    if (n < 0) {
        return std::nullopt;
    }
    if (n == static_cast<std::int64_t>(beyond)) { // 9.9996 rounds to 10.000: 1.000e+01
        n /= 10;
        ++exponent;
    }
    const int length =
        fixedPart + std::max(exponentDigits, digitCount(std::uint64_t(std::abs(exponent))));
    return RoundedText{static_cast<std::uint64_t>(n), decimals + 1, exponent, length, false};
}

std::optional<RoundedText> roundToInteger(double value, const NumberMask& mask) {
    // Negative zero has no sign; a negative value that rounds to zero keeps it. NaN and the
    // infinities fail the range tests and leave the road.
    const double magnitude = std::fabs(value);
    std::optional<RoundedText> text =
        mask.scientific() ? roundScientific(magnitude, mask) : roundFixed(magnitude, mask);
    if (text && value < 0) {
        text->negative = true;
        ++text->length;
    }
    return text;
}

// The digits of n with a point before the last `decimals` of them: to_chars writes them all, the
// decimals move one place to the right. A zero integer part writes 10^d + n, the 1 of which the
// point overwrites: the decimals keep their leading zeros.
char* writeFixedDigits(char* out, const RoundedText& text, const NumberMask& mask) {
    const int decimals = mask.decimals();
    const int integerDigits = std::max(text.digits - decimals, 0);
    out = writeZeros(out, mask.minIntegerDigits() - integerDigits);
    if (!mask.decimalPoint()) {
        return integerDigits > 0 ? std::to_chars(out, out + 20, text.n).ptr : out;
    }
    if (integerDigits == 0) {
        char* const end = std::to_chars(out, out + 20, kIntegerPowersOfTen[decimals] + text.n).ptr;
        *out = '.';
        return end;
    }
    char* const end = std::to_chars(out, out + 20, text.n).ptr;
    for (char* p = end; p != end - decimals; --p) {
        *p = p[-1];
    }
    end[-decimals] = '.';
    return end + 1;
}

// Exponent magnitudes as three digits with leading zeros: the last three of 1000 + m, from
// to_chars once at start-up.
struct ExponentDigits {
    std::array<std::array<char, 3>, 400> digits;
    ExponentDigits() {
        for (unsigned m = 0; m < digits.size(); ++m) {
            char text[4];
            std::to_chars(text, text + sizeof text, 1000 + m);
            std::copy(text + 1, text + 4, digits[m].begin());
        }
    }
};
const ExponentDigits kExponentDigits;

// d + 1 digits written one place to the right, the first moved left over the point's place;
// then the exponent field, whose length text.length has fixed already.
char* writeScientificDigits(char* out, const RoundedText& text, const NumberMask& mask) {
    char* const end = out + text.length - (text.negative ? 1 : 0);
    const bool point = mask.decimalPoint();
    char* const digits = out + (point ? 1 : 0);
    if (text.n == 0) {
        writeZeros(digits, mask.decimals() + 1);
    } else {
        std::to_chars(digits, digits + 20, text.n);
    }
    if (point) {
        out[0] = out[1];
        out[1] = '.';
    }
    const int width = static_cast<int>(end - out) - 3 - static_cast<int>(fractionLength(mask));
    const auto magnitude = static_cast<std::size_t>(std::abs(text.exponent));
    std::memcpy(end - 3, kExponentDigits.digits[magnitude].data(), 3);
    writeZeros(end - width, width - 3); // masks with more than three exponent zeros
    char* const letter = end - width - 2;
    letter[0] = mask.exponentLetter();
    letter[1] = text.exponent < 0 ? '-' : '+';
    return end;
}

// Writes exactly text.length characters.
char* writeRounded(char* out, const RoundedText& text, const NumberMask& mask) {
    if (text.negative) {
        *out++ = '-';
    }
    return mask.scientific() ? writeScientificDigits(out, text, mask)
                             : writeFixedDigits(out, text, mask);
}

// Right-aligns the text [begin, end) in a field of eight at begin and cuts a longer text from
// the left; the room at begin is that of the text, at least eight.
char* alignRight8(char* begin, char* end) {
    const auto length = static_cast<std::size_t>(end - begin);
    if (length >= 8) {
        std::memmove(begin, end - 8, 8);
    } else {
        std::memmove(begin + 8 - length, begin, length);
        std::memset(begin, ' ', 8 - length);
    }
    return begin + 8;
}

} // namespace

double ParseNumberPrefix(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') {
            compact.push_back(c);
        }
    }
    if (compact.size() >= 2 && compact[0] == '&') {
        const char kind = compact[1];
        if (kind == 'H' || kind == 'h') {
            return readRadixInteger(std::string_view(compact).substr(2), 16);
        }
        if (kind == 'O' || kind == 'o') {
            return readRadixInteger(std::string_view(compact).substr(2), 8);
        }
    }
    return readDecimalPrefix(compact);
}

std::string SingleToText(float value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    if (value == 0.0f) {
        return "0";
    }

    const DecimalDigits d = singleDigits(std::fabs(value));
    const std::string_view digits(d.digits, static_cast<std::size_t>(d.count));
    std::string text;
    if (value < 0) {
        text += '-';
    }
    if (d.exponent < -5 || d.exponent > 6) {
        // Exponent form: "1E-07", "1.5E+07", "3.402823E+38".
        text += digits[0];
        if (digits.size() > 1) {
            text += '.';
            text += digits.substr(1);
        }
        text += d.exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(d.exponent);
        if (magnitude < 10) {
            text += '0';
        }
        text += std::to_string(magnitude);
    } else if (d.exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        text += digits;
    } else {
        const auto integerDigits = static_cast<std::size_t>(d.exponent) + 1;
        if (digits.size() <= integerDigits) {
            text += digits;
            text.append(integerDigits - digits.size(), '0');
        } else {
            text += digits.substr(0, integerDigits);
            text += '.';
            text += digits.substr(integerDigits);
        }
    }
    return text;
}

namespace {

template <class Number>
std::string shortestText(Number value) {
    if (!std::isfinite(value)) {
        return {};
    }
    std::array<char, 32> text;
    return std::string(text.data(),
                       std::to_chars(text.data(), text.data() + text.size(), value).ptr);
}

} // namespace

std::string ShortestText(double value) {
    return shortestText(value);
}

std::string ShortestText(float value) {
    return shortestText(value);
}

std::string PlainNumberItem(float value) {
    std::string text = SingleToText(value);
    const std::size_t zero = text[0] == '-' ? 1 : 0;
    if (text.compare(zero, 2, "0.") == 0) {
        text.erase(zero, 1);
    }
    if (!(value < 0)) {
        text.insert(text.begin(), ' ');
    }
    text += ' ';
    return text;
}

NumberMask::NumberMask(std::string_view mask) {
    std::size_t i = 0;
    for (; i < mask.size() && (mask[i] == '#' || mask[i] == '0'); ++i) {
        if (mask[i] == '0') {
            ++m_minIntegerDigits;
        }
    }
    if (i < mask.size() && mask[i] == '.') {
        m_decimalPoint = true;
        for (++i; i < mask.size() && mask[i] == '0'; ++i) {
            ++m_decimals;
        }
    }
    if (i < mask.size() && (mask[i] == 'e' || mask[i] == 'E')) {
        m_scientific = true;
        m_exponentLetter = mask[i];
        ++i;
        assert(i < mask.size() && mask[i] == '+' && "the exponent part reads e+00 or E+00");
        if (i < mask.size() && mask[i] == '+') {
            ++i;
        }
        for (; i < mask.size() && mask[i] == '0'; ++i) {
            ++m_minExponentDigits;
        }
        assert(m_minExponentDigits > 0 && "the exponent part needs at least one 0");
    }
    assert(i == mask.size() && "mask outside the grammar [#0]*(.0*)?([eE]+0+)?");
}

std::size_t NumberMask::maxLength() const {
    const std::size_t fraction = fractionLength(*this);
    if (m_scientific) {
        // Sign, digit, fraction, letter, exponent sign, exponent digits (up to 324).
        return 1 + 1 + fraction + 1 + 1 + std::max<std::size_t>(3, m_minExponentDigits);
    }
    // Sign, integer digits (the largest double has 309), fraction.
    return 1 + std::max<std::size_t>(309, m_minIntegerDigits) + fraction;
}

std::string FormatMask(double value, std::string_view mask) {
    return FormatMask(value, NumberMask(mask));
}

std::string FormatMask(double value, const NumberMask& mask) {
    std::string text(mask.maxLength(), '\0');
    char* const end = formatMaskTo(text.data(), value, mask);
    text.resize(static_cast<std::size_t>(end - text.data()));
    return text;
}

char* formatMaskTo(char* out, double value, const NumberMask& mask) {
    if (const std::optional<RoundedText> text = roundToInteger(value, mask)) {
        return writeRounded(out, *text, mask);
    }
    // Only nonsensical input leads here; the words fit every mask's maxLength().
    if (std::isnan(value)) {
        return writeText(out, "nan");
    }
    if (std::isinf(value)) {
        return writeText(out, value < 0 ? "-inf" : "inf");
    }
    char* const start = out;
    if (value < 0) {
        *out++ = '-';
    }
    const double magnitude = std::fabs(value);
    char* const limit = start + mask.maxLength();
    return mask.scientific() ? writeScientific(out, limit, magnitude, mask)
                             : writeFixed(out, limit, magnitude, mask);
}

char* formatMaskAlign8To(char* out, double value, const NumberMask& mask) {
    const std::optional<RoundedText> text = roundToInteger(value, mask);
    if (text && text->length <= 8) {
        std::memcpy(out, "        ", 8);
        writeRounded(out + 8 - text->length, *text, mask);
        return out + 8;
    }
    return alignRight8(out, formatMaskTo(out, value, mask));
}

std::string RightAlign8(std::string_view text) {
    std::string field(std::max<std::size_t>(text.size(), 8), ' ');
    text.copy(field.data(), text.size());
    field.resize(static_cast<std::size_t>(alignRight8(field.data(), field.data() + text.size()) -
                                          field.data()));
    return field;
}

std::optional<double> ParseWholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string QuotedEntry(std::string_view text) {
    constexpr int kMaxCharacters = 80;
    std::size_t cut = 0;
    // Counts UTF-8 lead bytes, so that no character is cut in two.
    for (int characters = 0; cut < text.size(); ++cut) {
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80 &&
            ++characters > kMaxCharacters) {
            break;
        }
    }
    if (cut == text.size()) {
        return "\"" + std::string(text) + "\"";
    }
    return "\"" + std::string(text.substr(0, cut)) + "…\" (" + std::to_string(text.size()) +
           " bytes)";
}

} // namespace orvane
