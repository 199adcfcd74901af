#pragma once

// The program's strings are UTF-8; its files are narrow text in code page 932 (Shift-JIS).

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

struct Cp932Text {
    std::string bytes;       // the encoded text; empty when a character could not be held
    std::string unencodable; // the first character (UTF-8) that code page 932 cannot hold,
                             // or the first invalid UTF-8 byte shown as "\xNN"; empty on success

    bool ok() const { return unencodable.empty(); }
};

// Encodes UTF-8 text. The JIS forms of seven characters (〜 ‖ − — ¢ £ ¬) are stored as their
// code page 932 look-alikes (～ ∥ － ― ￠ ￡ ￢); any other character that would not come back
// unchanged is refused, never replaced.
Cp932Text EncodeCp932(std::string_view utf8);

// Encodes UTF-8 text, writing "?" for each character code page 932 cannot hold and for each
// byte that is not valid UTF-8; replaced counts them.
struct Cp932Replaced {
    std::string bytes;
    int replaced = 0;
};
Cp932Replaced EncodeCp932Replacing(std::string_view utf8);

// Decodes Shift-JIS bytes to UTF-8; nullopt when the bytes are not valid code page 932.
std::optional<std::string> DecodeCp932(std::string_view bytes);

} // namespace orvane
