#include "core/results/ResultFileName.h"

namespace orvane {

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offset where the last `count` UTF-8 characters of text begin, or npos when the text
// has fewer characters.
std::size_t lastCharactersStart(std::string_view text, int count) {
    std::size_t pos = text.size();
    for (int k = 0; k < count; ++k) {
        if (pos == 0) {
            return std::string_view::npos;
        }
        do {
            --pos;
        } while (pos > 0 && isContinuationByte(text[pos]));
    }
    return pos;
}

} // namespace

std::string ResultFilePath(std::string_view parameterFilePath) {
    if (parameterFilePath.empty()) {
        return "default.t-s";
    }
    const std::size_t nameStart = parameterFilePath.find_last_of('/') + 1; // npos + 1 == 0
    const std::string_view name = parameterFilePath.substr(nameStart);
    const std::size_t extension = lastCharactersStart(name, 3);
    if (extension == std::string_view::npos || extension == 0 || name[extension - 1] != '.') {
        return std::string(parameterFilePath) + ".t-s";
    }
    return std::string(parameterFilePath.substr(0, nameStart + extension)) + "t-s";
}

} // namespace orvane
