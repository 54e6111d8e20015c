// Every engine's scan must cut exactly as the scan made of generic marker cuts
// does: the same rows, the same answer, the same rest of the page, under an
// item limit and a stop request too. And it must stay linear: its searches
// may cross the page only a few times. A difference traps.
//
// The first byte picks the engine, whether the rest is the page itself or a
// list of marker pieces to build it from (each byte one piece), and the limit
// or stop to scan under.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "search/engines.h"
#include "search/page_buffer.h"
#include "tests/search/fake_host.h"
#include "tests/search/generic_cut_scan.h"

namespace {

constexpr search::Engine kEngines[] = {search::Engine::Google, search::Engine::Yahoo,
                                       search::Engine::Live, search::Engine::AltaVista,
                                       search::Engine::GoogleBacklinks};

struct Outcome {
    bool goOn;
    std::vector<search::ResultRow> rows;
    std::string rest;
    std::uint64_t bytesSearched;
};

template <typename Scan>
Outcome Run(Scan scan, search::Engine engine, const std::string& text, double limit,
            std::size_t stopAfter) {
    search::testing::FakeHost host;
    host.siteTextValue = "http://site";
    host.maxItemsValue = limit;
    if (stopAfter != 0) {
        host.onProcessEvents = [&host, stopAfter] { host.stop = host.rows.size() >= stopAfter; };
    }
    search::PageBuffer page(text);
    const bool goOn = scan(engine, page, host, search::EngineSettings{});
    return {goOn, host.rows, std::string(page.rest()), page.bytesSearched()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t how = data[0];
    const search::Engine engine = kEngines[how % 5];
    std::string text;
    if ((how / 5) % 2 == 0) {
        text.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    } else {
        for (std::size_t i = 1; i < size; ++i) {
            text +=
                search::testing::kMarkerPieces[data[i] % std::size(search::testing::kMarkerPieces)];
        }
    }
    const double limit = (how / 10) % 3 == 1 ? 2 : 0;
    const std::size_t stopAfter = (how / 10) % 3 == 2 ? 1 : 0;

    const Outcome walked = Run(search::ScanPage, engine, text, limit, stopAfter);
    const Outcome generic =
        Run(search::testing::ScanPageByGenericCuts, engine, text, limit, stopAfter);
    if (walked.goOn != generic.goOn || walked.rows != generic.rows || walked.rest != generic.rest) {
        __builtin_trap();
    }
    // Each marker crosses each byte of the page once at most.
    if (walked.bytesSearched > 16 * (text.size() + 1)) {
        __builtin_trap();
    }
    return 0;
}
