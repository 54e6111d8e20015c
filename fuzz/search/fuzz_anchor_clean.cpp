// The one-pass anchor clean-up must give exactly what the step-by-step one
// gives, for every raw anchor; a difference traps.
//
// An input whose first byte is even is the raw anchor itself. Otherwise every
// further byte picks a piece of a tag, an entity or a UTF-8 character, whole
// or broken, so that mutations reach the joins that random bytes seldom build.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "search/anchor_reference.h"
#include "search/text_rules.h"

namespace {

constexpr std::string_view kPieces[] = {"<b>",
                                        "</b>",
                                        "<br>",
                                        "<strong>",
                                        "</strong>",
                                        "<em>",
                                        "</em>",
                                        "<",
                                        "/",
                                        "b",
                                        ">",
                                        "r",
                                        "s",
                                        "strong",
                                        "e",
                                        "em",
                                        "&",
                                        "amp;",
                                        "am",
                                        "p",
                                        ";",
                                        "#39;",
                                        "#",
                                        "3",
                                        "9",
                                        "quot;",
                                        "apos;",
                                        "lt;",
                                        "gt;",
                                        "&amp;",
                                        "&lt;",
                                        "&gt;",
                                        "&quot;",
                                        "&apos;",
                                        "&#39;",
                                        " ",
                                        "  ",
                                        "\r\n",
                                        "\x01",
                                        "\xE9",
                                        "x",
                                        "B",
                                        "&AMP;",
                                        "<B>",
                                        "</",
                                        "&#",
                                        "l",
                                        "t",
                                        "g",
                                        "q",
                                        "\xC3",
                                        "\xA9",
                                        "\x80",
                                        "\xBF",
                                        "\xC3\xA9",
                                        "\xC2\x85",
                                        "\xE2\x80",
                                        "\xE2\x80\x9C",
                                        "\xF0\x9F\x98\x80",
                                        "\xED\xA0\x80",
                                        "\xC0\xAF",
                                        "\xF4\x90\x80\x80",
                                        "\xF5",
                                        "\xFF"};

std::string Assemble(const std::uint8_t* data, std::size_t size) {
    std::string raw;
    for (std::size_t i = 1; i < size; ++i) {
        raw += kPieces[data[i] % std::size(kPieces)];
    }
    return raw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string raw = (data[0] % 2 == 0)
                                ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1)
                                : Assemble(data, size);
    const std::string expected = search::CleanAnchorTextStepByStep(raw);
    std::string onePass;
    if (search::CleanAnchorTextInOnePass(raw, onePass) && onePass != expected) {
        __builtin_trap();
    }
    if (search::CleanAnchorText(raw) != expected) {
        __builtin_trap();
    }
    return 0;
}
