#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace search {

// The working text of an engine pass: one result page, consumed from the
// front by marker cuts. It behaves exactly like a std::string worked on with
// TakeBetween (offset 0), but keeps a head index instead of erasing the front,
// and remembers where markers were found, so that scanning a whole page costs
// time linear in its size even for pages built to defeat it.
class PageBuffer {
public:
    // A marker that the cuts of every hit look for again. It is found
    // case-blind like a marker text, but keeps its own last answer instead of
    // a place in the buffer's memo, so a cut by it needs no lookup, and what
    // a search by it needs (lowered text, anchor byte) is worked out once. It
    // may serve several buffers and pages: an answer counts only for the page
    // it came from.
    class Marker {
    public:
        explicit Marker(std::string_view text);

    private:
        friend class PageBuffer;
        std::size_t size() const { return text_.size(); }
        // Byte i of the page matches byte i of the marker when, or-ed with
        // fold_[i] (0x20 for a letter, else 0), it equals lowered_[i].
        std::string text_;
        std::string lowered_;
        std::string fold_;
        std::size_t anchor_;      // util::AnchorIndex(text_)
        std::uint64_t page_ = 0;  // the PageBuffer::page_ of the answer; 0: none
        std::size_t from_ = 0;
        std::size_t at_ = 0;
    };

    PageBuffer() { assign({}); }
    explicit PageBuffer(std::string text) { assign(std::move(text)); }

    // Replaces the page; the head goes back to its start.
    void assign(std::string text);

    // What the cuts have left of the page.
    std::string_view rest() const { return std::string_view(text_).substr(head_); }

    // Whether the rest holds marker, compared exactly (hit and next-page tests).
    bool contains(std::string_view marker) { return findHit(marker) != std::string_view::npos; }

    // When the rest holds marker exactly, where TakeBetween(marker, ...)
    // would start its cut: at the first case-blind occurrence, which may come
    // before the first exact one. npos when the rest does not hold it.
    std::size_t findHit(std::string_view marker);
    std::size_t findHit(Marker& marker);

    // TakeBetween(startMarker, endMarker, 0, rest), letters matched without
    // regard to case. The cut is a view into the page, valid until the next
    // assign: most cuts are only looked at or discarded, never kept.
    std::string_view TakeBetween(std::string_view startMarker, std::string_view endMarker);
    std::string_view TakeBetween(Marker& start, Marker& end);
    // The same cut when findHit has just found its start marker at `start`.
    std::string_view TakeBetween(std::size_t start, const Marker& startMarker, Marker& end);

    // How many bytes of page every search so far has crossed, memo answers
    // counting nothing: the measure that tests hold against the page size to
    // show that no page makes the cuts rescan it over and over.
    std::uint64_t bytesSearched() const { return bytesSearched_; }

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
    // The next-page test, the exact half of the hit test and cuts by marker
    // text use at most eight distinct markers in a pass; a few spare entries
    // keep a pass from ever evicting its own.
    static constexpr std::size_t kMemoEntries = 12;

    std::size_t find(std::string_view marker, bool noCase, std::size_t from);
    std::size_t find(Marker& marker, std::size_t from);
    std::size_t search(std::string_view marker, bool noCase, std::size_t anchor, std::size_t from);
    // Whether the rest holds marker exactly, given its first case-blind
    // occurrence at blind.
    bool holdsExactly(std::string_view marker, std::size_t blind);
    // Adds a search from `from` that ended at `at` (npos: the page's end).
    void countSearched(std::size_t from, std::size_t at);

    std::string text_;
    std::size_t head_ = 0;
    std::array<Memo, kMemoEntries> memo_{};
    std::size_t memoUsed_ = 0;
    std::size_t memoNextEvict_ = 0;
    // Tells the pages apart for Marker answers; never 0 once assigned.
    std::uint64_t page_ = 0;
    std::uint64_t bytesSearched_ = 0;
};

}  // namespace search
