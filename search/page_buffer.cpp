#include "search/page_buffer.h"

#include "util/take_between.h"

namespace search {

namespace {

// Markers are a few bytes long; a plain loop beats a call to memcmp here.
bool SameMarker(const std::string& a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

void PageBuffer::assign(std::string text) {
    text_ = std::move(text);
    head_ = 0;
    memoUsed_ = 0;
    memoNextEvict_ = 0;
}

std::size_t PageBuffer::find(std::string_view marker, bool noCase, std::size_t from) {
    constexpr std::size_t npos = std::string_view::npos;
    Memo* slot = nullptr;
    for (std::size_t i = 0; i < memoUsed_; ++i) {
        Memo& m = memo_[i];
        if (m.noCase == noCase && SameMarker(m.marker, marker)) {
            // Nothing between m.from and m.at matched, so the answer holds
            // for every later start up to m.at.
            if (from >= m.from && (m.at == npos || from <= m.at)) {
                return m.at;
            }
            slot = &m;
            break;
        }
    }
    if (slot == nullptr) {
        if (memoUsed_ < kMemoEntries) {
            slot = &memo_[memoUsed_++];
        } else {
            slot = &memo_[memoNextEvict_];
            memoNextEvict_ = (memoNextEvict_ + 1) % kMemoEntries;
        }
        slot->marker.assign(marker);
        slot->anchor = util::AnchorIndex(marker);
        slot->noCase = noCase;
    }
    const std::string_view text(text_);
    const std::size_t at =
        noCase ? util::FindNoCase(text, marker, from, slot->anchor) : text.find(marker, from);
    slot->from = from;
    slot->at = at;
    return at;
}

bool PageBuffer::contains(std::string_view marker) {
    // Every exact occurrence is also a case-blind one, so the first exact one
    // cannot come before the first case-blind one. Looking case-blind first
    // lets the cut that usually follows with the same marker reuse the answer
    // instead of crossing the same stretch of page a second time.
    const std::size_t blind = find(marker, true, head_);
    if (blind == std::string_view::npos) {
        return false;
    }
    if (std::string_view(text_).substr(blind, marker.size()) == marker) {
        return true;
    }
    return find(marker, false, blind + 1) != std::string_view::npos;
}

std::string_view PageBuffer::TakeBetween(std::string_view startMarker, std::string_view endMarker) {
    constexpr std::size_t npos = std::string_view::npos;
    const std::size_t start = find(startMarker, true, head_);
    if (start == npos) {
        return {};
    }
    head_ = start + startMarker.size();
    const std::size_t end = find(endMarker, true, head_);
    if (end == npos) {
        return {};
    }
    const std::string_view cut = std::string_view(text_).substr(head_, end - head_);
    head_ = end;
    return cut;
}

}  // namespace search
