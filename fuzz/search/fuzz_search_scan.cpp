// Result pages come from servers: every engine's scan must end, never read
// outside the page, and cut exactly as TakeBetween on a string would.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "search/engines.h"
#include "search/page_buffer.h"
#include "search/text_rules.h"
#include "tests/support/null_search_host.h"
#include "util/take_between.h"

namespace {

// Traps on an anchor with a byte that is not printable: an anchor holds
// printable bytes only.
class PrintableAnchorHost final : public testsupport::NullSearchHost {
public:
    void appendRow(search::ResultRow row) override {
        for (char c : row.anchor) {
            if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) {
                __builtin_trap();
            }
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
