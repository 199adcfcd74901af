#pragma once

// Conversions between numbers and the texts the windows show and the files hold.
// All of them are independent of the process locale: the decimal point is always "."
// and no thousands separator is read or written.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Lenient parse of a field text. Blanks, tabs and line feeds are removed wherever they
// stand; "&H"/"&O" introduce hexadecimal/octal integers; otherwise the longest prefix
// [sign] digits [. digits] [E [sign] digits] is read. Text without such a prefix gives 0.
// Never fails; a prefix beyond the double range gives ±infinity.
double ParseNumberPrefix(std::string_view text);

// Strict parse of a number typed on a command line: the whole text must be one finite
// decimal number ([+|-] digits [. digits] [E [sign] digits]), nothing before or after it.
std::optional<double> ParseWholeNumber(std::string_view text);

// A user's entry as a message quotes it: in double quotes, cut after 80 characters (with
// "…" and its length in bytes) so that a huge entry cannot flood the terminal.
std::string QuotedEntry(std::string_view text);

// General conversion of a single: the shortest decimal text (at most seven significant
// digits) that reads back as the value; plain decimals for magnitudes from 1E-05 to below
// 1E+07, the exponent form ("1E-07", "1.5E+07") outside that range.
std::string SingleToText(float value);

// A plain-number item of the result file's parameter line: a blank for a value that is
// not negative, SingleToText without the zero before the point, then a blank
// (0.05 gives " .05 ", -0.5 gives "-.5 ").
std::string PlainNumberItem(float value);

// A display mask ("#0.000", "0.0000", "00000", "0.000e+00", "0.0E+00" …), read once.
// "0" is a digit always written, "#" one written only when significant; the digits after
// "." fix the decimals; "e+00"/"E+00" makes the mask scientific with at least as many
// exponent digits as zeros. A mask outside this grammar is a programming error.
class NumberMask {
public:
    explicit NumberMask(std::string_view mask);

    // Longest text formatMaskTo writes for any double with this mask.
    std::size_t maxLength() const;

    int minIntegerDigits() const { return m_minIntegerDigits; }
    int decimals() const { return m_decimals; }
    // "0." writes the point even without decimals.
    bool decimalPoint() const { return m_decimalPoint; }
    bool scientific() const { return m_scientific; }
    char exponentLetter() const { return m_exponentLetter; }
    int minExponentDigits() const { return m_minExponentDigits; }

private:
    int m_minIntegerDigits = 0;
    int m_decimals = 0;
    bool m_decimalPoint = false;
    bool m_scientific = false;
    char m_exponentLetter = 'e';
    int m_minExponentDigits = 0;
};

// Formats the exact binary value, rounded to the mask's decimals with halves away from
// zero. A negative value gets "-" in front; negative zero prints without a sign, while a
// negative value that rounds to zero keeps it ("-0.000").
std::string FormatMask(double value, std::string_view mask);
std::string FormatMask(double value, const NumberMask& mask);
// The same without allocating: writes at most mask.maxLength() characters at out and
// returns the end of the text.
char* formatMaskTo(char* out, double value, const NumberMask& mask);

// The shortest text that reads back as the same double or single (std::to_chars: "10",
// "0.1", "1e-07"); NaN and infinities give an empty text, an empty field of a table.
std::string ShortestText(double value);
std::string ShortestText(float value);

// Eight blanks in front, then the last eight characters: right-aligns in a field of eight
// and cuts a longer text from the left.
std::string RightAlign8(std::string_view text);
// RightAlign8 of the masked text, written straight into its field: exactly eight characters
// at out, which needs room for max(8, mask.maxLength()); returns out + 8.
char* formatMaskAlign8To(char* out, double value, const NumberMask& mask);

} // namespace orvane
