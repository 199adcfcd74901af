#include "core/files/Cp932.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

std::string AllAscii() {
    std::string text;
    for (int c = 0; c < 0x80; ++c)
        text += static_cast<char>(c);
    return text;
}

TEST(Cp932, EncodesAndDecodesBackExactly) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string cp932;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"every ASCII byte, backslash and tilde included", AllAscii(), AllAscii()},
        {"Greek of the captions", "τ Δ", "\x83\xD1 \x83\xA2"},
        {"kanji", "試験体", "\x8E\x8E\x8C\xB1\x91\xCC"},
        {"half-width katakana", "ｱｲｳ", "\xB1\xB2\xB3"},
        {"full-width tilde and yen", "～￥", "\x81\x60\x81\x8F"},
        {"NEC extension", "①", "\x87\x40"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Cp932Text encoded = EncodeCp932(c.utf8);
        EXPECT_TRUE(encoded.ok()) << encoded.unencodable;
        EXPECT_EQ(encoded.bytes, c.cp932);
        EXPECT_EQ(DecodeCp932(c.cp932), c.utf8);
    }
}

// The first character that would be lost or changed is named, and nothing is encoded.
TEST(Cp932, RefusesWhatItCannotStore) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string unencodable;
    };
    const Case cases[] = {
        {"Latin letter", "caf\xC3\xA9", "é"},
        {"emoji after encodable text", "τ 😀 é", "😀"},
        {"yen sign would come back as backslash", "1¥", "¥"},
        {"overline would come back as tilde", "a‾", "‾"},
        {"lone continuation byte", "ab\xA9", "\\xA9"},
        {"truncated sequence at the end", "\xE8\xA9", "\\xE8"},
        {"overlong slash", "\xC0\xAF", "\\xC0"},
        {"surrogate", "\xED\xA0\x80", "\\xED"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\\xF4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Cp932Text encoded = EncodeCp932(c.utf8);
        EXPECT_FALSE(encoded.ok());
        EXPECT_EQ(encoded.unencodable, c.unencodable);
        EXPECT_EQ(encoded.bytes, "");
    }
}

// What Japanese input methods on Linux type for these is the JIS form; the file holds the
// code page's look-alike, which is what loads back.
TEST(Cp932, StoresJisFormsAsTheirCodePageLookAlikes) {
    struct Case {
        const char* jis;
        const char* codePage;
        std::string cp932;
    };
    const Case cases[] = {
        {"〜", "～", "\x81\x60"}, {"‖", "∥", "\x81\x61"},  {"−", "－", "\x81\x7C"},
        {"—", "―", "\x81\x5C"},   {"¢", "￠", "\x81\x91"}, {"£", "￡", "\x81\x92"},
        {"¬", "￢", "\x81\xCA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jis);
        const Cp932Text encoded = EncodeCp932(std::string("10") + c.jis + "20");
        EXPECT_TRUE(encoded.ok()) << encoded.unencodable;
        EXPECT_EQ(encoded.bytes, "10" + c.cp932 + "20");
        EXPECT_EQ(EncodeCp932(c.codePage).bytes, c.cp932);
        EXPECT_EQ(DecodeCp932(c.cp932), c.codePage);
    }
}

TEST(Cp932, RejectsInvalidBytes) {
    const std::string cases[] = {
        "\x83",     // lead byte at the end
        "ab\x83 ",  // lead byte followed by a blank
        "\x83\x7F", // trail byte out of range
        "\x80",     // unassigned single bytes
        "\xA0",     "x\xFF",
    };
    for (const std::string& bytes : cases)
        EXPECT_EQ(DecodeCp932(bytes), std::nullopt) << testing::PrintToString(bytes);
}

} // namespace
} // namespace orvane
