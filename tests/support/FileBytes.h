#pragma once

// For tests that compare files byte for byte.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The whole file, as bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
