#include "search/anchor_reference.h"

#include "search/text_rules.h"

namespace search {

std::string CleanAnchorTextStepByStep(std::string_view raw) {
    static constexpr std::string_view kTags[] = {"<b>",       "</b>", "<br>", "<strong>",
                                                 "</strong>", "<em>", "</em>"};
    static constexpr std::string_view kEntities[][2] = {
        {"&quot;", "\""}, {"&apos;", "'"}, {"&gt;", ">"},
        {"&lt;", "<"},    {"&amp;", "&"},  {"&#39;", "'"},
    };
    std::string text(raw);
    for (std::string_view tag : kTags) {
        text = ReplaceAll(text, tag, "");
    }
    for (const auto& entity : kEntities) {
        text = ReplaceAll(text, entity[0], entity[1]);
    }
    std::string printable;
    printable.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte <= 126) {
            printable.push_back(c);
        }
    }
    return ReplaceAll(printable, "  ", " ");
}

}  // namespace search
