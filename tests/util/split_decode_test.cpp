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
        {'^', "a^b", {"a", "b"}},
        {'^', "a^^b", {"a", "", "b"}},
        {'^', "^a", {"", "a"}},
        {'^', "a^", {"a"}},
        {'^', "a^^", {"a", ""}},
        {'^', "^", {""}},
        {'^', "", {}},
        {'^', "abc", {"abc"}},
        // The news list reply is split at byte 0xAF inside undecoded 8-bit text.
        {'\xAF', "1^T\xAF\xE9t\xE9\xAF", {"1^T", "\xE9t\xE9"}},
        {'^', std::string("a\0b^c", 5), {std::string("a\0b", 3), "c"}},
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
        {"A$41B", "AAB"},
        {"100$25 off", "100% off"},
        {"$3c$2Fb$3E", "</b>"},
        {"end$4", "end\x04"},
        {"$00", std::string(1, '\0')},
        {"$ff$FF", "\xFF\xFF"},
        {"$24$24", "$$"},
        {"no escapes", "no escapes"},
        {"50$", ""},
        {"x$ZZy", ""},
        {"$$41", ""},
        {"$4g", ""},
        {"$-1", ""},
        {"$ 1", ""},
        {"ok$41 then $", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::DecodeDollarHex(c.text), c.decoded) << "text: " << c.text;
    }
}

}  // namespace
