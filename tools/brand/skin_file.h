// The skin file mainskin.dat: a Qt style sheet in the compressed form the
// window reads back with qUncompress.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace brandtool {

// A style sheet is a few KiB; a file this large is not one, and the window
// would hold all of it, compressed and plain, in memory at start-up.
inline constexpr std::size_t kMaxStyleSheetSize = std::size_t{4} << 20;

// The style sheet could not be read, or could not be made into a skin.
class SkinError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bytes of the style sheet at path. Throws SkinError when it cannot be
// opened or read, is not a regular file (a FIFO could block or deliver bytes
// without end) or holds more than kMaxStyleSheetSize bytes.
std::string ReadStyleSheet(const std::string& path);

// The skin file's bytes: the style sheet exactly as qCompress writes it (the
// plain size in four big-endian bytes, then a zlib stream). Throws SkinError
// when compression fails.
std::string CompressSkin(std::string_view styleSheet);

}  // namespace brandtool
