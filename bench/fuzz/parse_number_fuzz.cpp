// Arbitrary bytes as a field text. The lenient reader never gives NaN and reads a plain decimal
// literal exactly as std::from_chars does; the mask and single formatters take any value
// without writing past the length they promise.

#include "bench/fuzz/FuzzCheck.h"
#include "core/numtext/NumberText.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::array<std::string_view, 4> kMasks = {"#0.000", "0.000e+00", "00000", "0.0E+00"};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// [sign] digits [. digits] [E [sign] digits], at least one mantissa digit, nothing else.
bool isPlainLiteral(std::string_view s) {
    size_t i = 0;
    auto skipDigits = [&] {
        const size_t start = i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        return i - start;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    size_t mantissaDigits = skipDigits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissaDigits += skipDigits();
    }
    if (mantissaDigits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (skipDigits() == 0)
            return false;
    }
    return i == s.size();
}

// The double std::from_chars reads for a plain literal. Beyond the double range from_chars
// leaves the value to the caller; strtod tells an overflow (±inf) from an underflow (±0).
double referenceValue(const std::string& literal) {
    const char* const end = literal.data() + literal.size();
    const char* const begin = literal.data() + (literal[0] == '+' ? 1 : 0); // from_chars has no +
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc::result_out_of_range) {
        const bool overflow = std::isinf(std::strtod(literal.c_str(), nullptr));
        value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
        return literal[0] == '-' ? -value : value;
    }
    FUZZ_CHECK(ec == std::errc() && ptr == end);
    return value;
}

void checkFormatters(double value) {
    for (const std::string_view text : kMasks) {
        const orvane::NumberMask mask(text);
        // Exactly maxLength() bytes on the heap, so that AddressSanitizer reports any overrun.
        std::vector<char> buffer(mask.maxLength());
        const char* const end = orvane::formatMaskTo(buffer.data(), value, mask);
        FUZZ_CHECK(end >= buffer.data() && end <= buffer.data() + buffer.size());
        FUZZ_CHECK(orvane::FormatMask(value, text) ==
                   std::string_view(buffer.data(), static_cast<size_t>(end - buffer.data())));
    }
    const auto single = static_cast<float>(value);
    if (std::isfinite(single))
        FUZZ_CHECK(!orvane::SingleToText(single).empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = orvane::ParseNumberPrefix(text);
    FUZZ_CHECK(!std::isnan(value));

    // Blanks, tabs and line feeds are dropped wherever they stand.
    std::string compact;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            compact += c;
    }
    if (isPlainLiteral(compact)) {
        const double expected = referenceValue(compact);
        FUZZ_CHECK(std::bit_cast<std::uint64_t>(value) == std::bit_cast<std::uint64_t>(expected));
    }

    checkFormatters(value);
    // Any double, not only those a short text reaches: the first eight bytes as its bits.
    if (size >= sizeof(double)) {
        double bits = 0;
        std::memcpy(&bits, data, sizeof bits);
        checkFormatters(bits);
    }
    return 0;
}
