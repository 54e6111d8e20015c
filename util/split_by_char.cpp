#include "util/split_by_char.h"

namespace util {

std::vector<std::string> SplitByChar(char separator, std::string_view text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (const char c : text) {
        if (c == separator) {
            pieces.push_back(std::move(piece));
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) {
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

}  // namespace util
