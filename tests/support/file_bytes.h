#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

// A whole file's bytes; empty when it cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces a file with exactly these bytes.
inline void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace testsupport
