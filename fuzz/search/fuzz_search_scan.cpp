// Result pages come from servers: every engine's scan must end, never read
// outside the page, and cut exactly as TakeBetween on a string would.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "search/engines.h"
#include "search/page_buffer.h"
#include "search/text_rules.h"
#include "tests/support/null_search_host.h"
#include "util/take_between.h"

namespace {

// Whether text is printable ASCII and well-formed UTF-8 characters from
// U+00A0 on, and nothing else.
bool IsPrintableText(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            if (lead < 32 || lead > 126) {
                return false;
            }
            ++at;
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || text.size() - at < length) {
            return false;
        }
        char32_t cp = lead & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0xA0, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        at += length;
    }
    return true;
}

// Traps on an anchor with a byte that is not printable: an anchor holds
// printable ASCII and UTF-8 characters only.
class PrintableAnchorHost final : public testsupport::NullSearchHost {
public:
    void appendRow(search::ResultRow row) override {
        if (!IsPrintableText(row.anchor)) {
            __builtin_trap();
        }
        NullSearchHost::appendRow(std::move(row));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string page(reinterpret_cast<const char*>(data) + 1, size - 1);
    const search::EngineSettings settings;
    const search::Engine engines[] = {search::Engine::Google, search::Engine::Yahoo,
                                      search::Engine::Live, search::Engine::AltaVista,
                                      search::Engine::GoogleBacklinks};
    PrintableAnchorHost host;
    search::PageBuffer buffer(page);
    search::ScanPage(engines[data[0] % 5], buffer, host, settings);

    // The first byte also picks two markers from the page itself: the buffer
    // must cut like TakeBetween on a string.
    const std::size_t cut = data[0] % (page.size() + 1);
    const std::string start = page.substr(0, std::min<std::size_t>(cut, 3));
    const std::string end = page.substr(cut, 2);
    if (!start.empty() && !end.empty()) {
        std::string plain = page;
        search::PageBuffer again(page);
        for (int i = 0; i < 4; ++i) {
            if (again.TakeBetween(start, end) != util::TakeBetween(start, end, 0, plain) ||
                again.rest() != plain) {
                __builtin_trap();
            }
        }
    }
    search::CleanAnchorText(page);
    return 0;
}
