#include "core/results/JsonText.h"

#include "core/numtext/NumberText.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace orvane {

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            std::array<char, 8> escape;
            std::snprintf(escape.data(), escape.size(), "\\u%04x", unsigned(c));
            quoted += escape.data();
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string JsonNumber(double value) {
    return std::isfinite(value) ? ShortestText(value) : "null";
}

std::string JsonNumber(float value) {
    return std::isfinite(value) ? ShortestText(value) : "null";
}

} // namespace orvane
