#include "core/files/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iconv.h>
#include <utility>

namespace orvane {
namespace {

// glibc's name for Microsoft's Shift-JIS with the NEC and IBM extensions.
constexpr const char* kCp932 = "CP932";

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One iconv descriptor, opened per call of the codec: the texts are a few dozen bytes and
// glibc keeps its conversion modules loaded, so there is nothing worth caching.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (opened()) {
            iconv_close(m_cd);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of in; false on an invalid or incomplete sequence, or when the system
    // has no converter. Both encodings are stateless, so no shift state needs flushing.
    bool convert(std::string_view in, std::string& out) {
        out.clear();
        if (!opened()) {
            return false;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        while (inLeft > 0) {
            char chunk[256];
            char* outPtr = chunk;
            size_t outLeft = sizeof chunk;
            size_t done = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(chunk, outPtr);
            if (done == static_cast<size_t>(-1) && errno != E2BIG) {
                return false;
            }
        }
        return true;
    }

private:
    bool opened() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    iconv_t m_cd;
};

// Length of the well-formed UTF-8 sequence at the start of s (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF); 0 when it is not one.
size_t utf8SequenceLength(std::string_view s) {
    auto byte = [s](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned lead = byte(0);
    unsigned low = 0x80, high = 0xBF; // allowed range of the second byte
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

Cp932Text refused(std::string what) {
    return {std::string(), std::move(what)};
}

// Characters that the JIS mapping of Shift-JIS gives for seven codes where code page 932 has
// full-width or other forms. Input methods on Linux produce the JIS ones (a wave dash for a
// tilde, a minus sign for a hyphen-minus); they look the same and are stored as the code
// page's character. Decoding gives the code page's character back.
constexpr std::pair<std::string_view, std::string_view> kLookAlikes[] = {
    {"\u301C", "\uFF5E"}, // 〜 wave dash            → ～ full-width tilde
    {"\u2016", "\u2225"}, // ‖ double vertical line → ∥ parallel to
    {"\u2212", "\uFF0D"}, // − minus sign           → － full-width hyphen-minus
    {"\u2014", "\u2015"}, // — em dash              → ― horizontal bar
    {"\u00A2", "\uFFE0"}, // ¢ → ￠
    {"\u00A3", "\uFFE1"}, // £ → ￡
    {"\u00AC", "\uFFE2"}, // ¬ → ￢
};

std::string_view codePageForm(std::string_view character) {
    for (const auto& [jis, codePage] : kLookAlikes) {
        if (character == jis) {
            return codePage;
        }
    }
    return character;
}

} // namespace

Cp932Text EncodeCp932(std::string_view utf8) {
    Cp932Text result;
    Converter toCp932(kCp932, "UTF-8");
    Converter fromCp932("UTF-8", kCp932);
    std::string encoded;
    std::string decoded;
    size_t pos = 0;
    while (pos < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[pos]);
        if (lead < 0x80) { // ASCII is the same in code page 932, backslash and tilde included
            result.bytes += static_cast<char>(lead);
            ++pos;
            continue;
        }
        const size_t length = utf8SequenceLength(utf8.substr(pos));
        if (length == 0) {
            char shown[5];
            std::snprintf(shown, sizeof shown, "\\x%02X", lead);
            return refused(shown);
        }
        // glibc maps other characters to look-alikes too (¥ to the backslash 0x5C); such a
        // character would come back as another one, so only an exact round trip counts as
        // stored.
        const std::string_view character = codePageForm(utf8.substr(pos, length));
        if (!toCp932.convert(character, encoded) || !fromCp932.convert(encoded, decoded) ||
            decoded != character) {
            return refused(std::string(utf8.substr(pos, length)));
        }
        result.bytes += encoded;
        pos += length;
    }
    return result;
}

std::optional<std::string> DecodeCp932(std::string_view bytes) {
    if (isAscii(bytes)) {
        return std::string(bytes);
    }
    std::string utf8;
    if (!Converter("UTF-8", kCp932).convert(bytes, utf8)) {
        return std::nullopt;
    }
    return utf8;
}

Cp932Replaced EncodeCp932Replacing(std::string_view utf8) {
    Cp932Replaced result;
    for (size_t pos = 0; pos < utf8.size();) {
        const size_t length = std::max<size_t>(utf8SequenceLength(utf8.substr(pos)), 1);
        const Cp932Text character = EncodeCp932(utf8.substr(pos, length));
        if (character.ok()) {
            result.bytes += character.bytes;
        } else {
            result.bytes += '?';
            ++result.replaced;
        }
        pos += length;
    }
    return result;
}

} // namespace orvane
