#include <gtest/gtest.h>

#include "util/decode_dollar_hex.h"
#include "util/split_by_char.h"

namespace {

using Pieces = std::vector<std::string>;

TEST(SplitByChar, Pieces) {
    const struct {
        char separator;
        std::string text;
        Pieces pieces;
    } cases[] = {
        {.separator = '^', .text = "a^b", .pieces = {"a", "b"}},
        {.separator = '^', .text = "a^^b", .pieces = {"a", "", "b"}},
        {.separator = '^', .text = "^a", .pieces = {"", "a"}},
        {.separator = '^', .text = "a^", .pieces = {"a"}},
        {.separator = '^', .text = "a^^", .pieces = {"a", ""}},
        {.separator = '^', .text = "^", .pieces = {""}},
        {.separator = '^', .text = "", .pieces = {}},
        {.separator = '^', .text = "abc", .pieces = {"abc"}},
        // The news list reply is split at byte 0xAF inside undecoded 8-bit text.
        {.separator = '\xAF', .text = "1^T\xAF\xE9t\xE9\xAF", .pieces = {"1^T", "\xE9t\xE9"}},
        {.separator = '^',
         .text = std::string("a\0b^c", 5),
         .pieces = {std::string("a\0b", 3), "c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::SplitByChar(c.separator, c.text), c.pieces) << "text: " << c.text;
    }
}

TEST(DecodeDollarHex, EscapesAndMalformedOnes) {
    const struct {
        std::string text;
        std::string decoded;
    } cases[] = {
        {.text = "A$41B", .decoded = "AAB"},
        {.text = "100$25 off", .decoded = "100% off"},
        {.text = "$3c$2Fb$3E", .decoded = "</b>"},
        {.text = "end$4", .decoded = "end\x04"},
        {.text = "$00", .decoded = std::string(1, '\0')},
        {.text = "$ff$FF", .decoded = "\xFF\xFF"},
        {.text = "$24$24", .decoded = "$$"},
        {.text = "no escapes", .decoded = "no escapes"},
        {.text = "50$", .decoded = ""},
        {.text = "x$ZZy", .decoded = ""},
        {.text = "$$41", .decoded = ""},
        {.text = "$4g", .decoded = ""},
        {.text = "$-1", .decoded = ""},
        {.text = "$ 1", .decoded = ""},
        {.text = "ok$41 then $", .decoded = ""},
        {.text = "", .decoded = ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::DecodeDollarHex(c.text), c.decoded) << "text: " << c.text;
    }
}

}  // namespace
