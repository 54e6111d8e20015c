// Result pages come from servers: every engine's scan must end, never read
// outside the page, and cut exactly as TakeBetween on a string would.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "search/engines.h"
#include "search/page_buffer.h"
#include "search/search_host.h"
#include "search/text_rules.h"
#include "util/take_between.h"

namespace {

class NullHost final : public search::SearchHost {
public:
    std::size_t rows = 0;
    std::string keyword() override { return "k"; }
    double maxItems() override { return 0; }
    std::string siteText() override { return "http://google@127.0.0.1"; }
    bool stopRequested() override { return false; }
    void setStopRequested(bool) override {}
    std::size_t rowCount() override { return rows; }
    void appendRow(search::ResultRow row) override {
        // An anchor holds printable bytes only.
        for (char c : row.anchor) {
            if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) {
                __builtin_trap();
            }
        }
        ++rows;
    }
    void clearRows() override { rows = 0; }
    void setMainStatus(const std::string&) override {}
    void setSecondStatus(const std::string&) override {}
    void setGaugeMax(std::int64_t) override {}
    std::int64_t gaugeMax() override { return 0; }
    void setGaugeValue(std::int64_t) override {}
    void processEvents() override {}
    std::string programFolder() override { return "/tmp/"; }
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
    NullHost host;
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
