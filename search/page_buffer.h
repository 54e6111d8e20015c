#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace search {

// The working text of an engine pass: one result page, consumed from the
// front by marker cuts. It behaves exactly like a std::string worked on with
// TakeBetween (offset 0), but keeps a head index instead of erasing the front,
// and remembers the last search result per marker, so that scanning a whole
// page costs time linear in its size even for pages built to defeat it.
class PageBuffer {
public:
    PageBuffer() = default;
    explicit PageBuffer(std::string text) { assign(std::move(text)); }

    // Replaces the page; the head goes back to its start.
    void assign(std::string text);

    // What the cuts have left of the page.
    std::string_view rest() const { return std::string_view(text_).substr(head_); }

    // Whether the rest holds marker, compared exactly (hit and next-page tests).
    bool contains(std::string_view marker);

    // TakeBetween(startMarker, endMarker, 0, rest), letters matched without
    // regard to case. The cut is a view into the page, valid until the next
    // assign: most cuts are only looked at or discarded, never kept.
    std::string_view TakeBetween(std::string_view startMarker, std::string_view endMarker);

private:
    // A search answer that stays true while the head moves forward: the first
    // occurrence at or after `from` is at `at` (npos: none). Keyed by content,
    // never by pointer, so a marker built on the fly cannot alias another.
    struct Memo {
        std::string marker;
        std::size_t anchor = 0;  // AnchorIndex(marker)
        bool noCase = false;
        std::size_t from = 0;
        std::size_t at = 0;
    };
    // Every engine pass uses at most eight distinct markers; a few spare
    // entries keep a pass from ever evicting its own.
    static constexpr std::size_t kMemoEntries = 12;

    std::size_t find(std::string_view marker, bool noCase, std::size_t from);

    std::string text_;
    std::size_t head_ = 0;
    std::array<Memo, kMemoEntries> memo_{};
    std::size_t memoUsed_ = 0;
    std::size_t memoNextEvict_ = 0;
};

}  // namespace search
