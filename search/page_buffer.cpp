#include "search/page_buffer.h"

#include "search/take_between.h"

namespace search {

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
        if (m.noCase == noCase && m.marker == marker) {
            // Nothing between m.from and m.at matched, so the answer holds
            // for every later start up to m.at.
            if (from >= m.from && (m.at == npos || from <= m.at)) {
                return m.at;
            }
            slot = &m;
            break;
        }
    }
    const std::string_view text(text_);
    const std::size_t at = noCase ? FindNoCase(text, marker, from) : text.find(marker, from);
    if (slot == nullptr) {
        if (memoUsed_ < kMemoEntries) {
            slot = &memo_[memoUsed_++];
        } else {
            slot = &memo_[memoNextEvict_];
            memoNextEvict_ = (memoNextEvict_ + 1) % kMemoEntries;
        }
        slot->marker.assign(marker);
        slot->noCase = noCase;
    }
    slot->from = from;
    slot->at = at;
    return at;
}

bool PageBuffer::contains(std::string_view marker) {
    return find(marker, false, head_) != std::string_view::npos;
}

std::string PageBuffer::TakeBetween(std::string_view startMarker, std::string_view endMarker) {
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
    std::string cut = text_.substr(head_, end - head_);
    head_ = end;
    return cut;
}

}  // namespace search
