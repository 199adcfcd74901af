#include "core/results/JsonText.h"

#include "core/Version.h"
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

std::string JsonProgramKeys() {
    return "\"program\":\"orvane-batch\",\"version\":" + JsonString(kVersion);
}

std::string JsonStringList(std::span<const std::string> texts) {
    std::string list;
    for (const std::string& text : texts) {
        list += (list.empty() ? "" : ",") + JsonString(text);
    }
    return "[" + list + "]";
}

std::string_view RunEndJsonName(RunEnd end) {
    switch (end) {
    case RunEnd::BondFailure:
        return "bond-failure";
    case RunEnd::StepLimit:
        return "step-limit";
    case RunEnd::Stopped:
        return "stopped";
    case RunEnd::NonFinite:
        return "non-finite";
    case RunEnd::ResultFileFailed:
        return "write-failed";
    case RunEnd::None:
        break;
    }
    return "running";
}

} // namespace orvane
