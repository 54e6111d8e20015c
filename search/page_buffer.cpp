#include "search/page_buffer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "util/take_between.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace search {

namespace {

constexpr std::size_t npos = std::string_view::npos;

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

bool MatchesAt(const char* at, std::string_view lowered, std::string_view fold) {
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        if (static_cast<char>(at[i] | fold[i]) != lowered[i]) {
            return false;
        }
    }
    return true;
}

// Starts sifted before a search turns to memchr again.
constexpr std::size_t kSiftedStarts = 64;

// The first place at or after `from` where text matches a marker given as
// lowered and fold (see Marker), npos when none. Most cuts of a hit find
// their marker within a few dozen bytes, where a call to memchr per candidate
// costs more than the looking: there, sixteen starts at a time are sifted by
// the marker's first and last byte, and only those that pass both are
// compared in full. Past those, as across the text between two hits, memchr
// on the marker's rarest byte (anchor) crosses the page fastest; after a
// candidate that fails, the next few dozen starts are sifted again, since
// such bytes come in clusters (the attributes of a tag). An anchor that is a
// letter would need a memchr per letter case: such a marker is sifted all the
// way.
std::size_t SearchCaseBlind(std::string_view text, std::string_view lowered, std::string_view fold,
                            std::size_t anchor, std::size_t from) {
    const std::size_t n = lowered.size();
    if (n == 0) {
        return from <= text.size() ? from : npos;
    }
    if (text.size() < n || from > text.size() - n) {
        return npos;
    }
    const std::size_t last = text.size() - n;
    const char* data = text.data();
    std::size_t at = from;
    const bool memchrAnchor = fold[anchor] == 0;
#if defined(__SSE2__)
    const __m128i firstFold = _mm_set1_epi8(fold[0]);
    const __m128i firstByte = _mm_set1_epi8(lowered[0]);
    const __m128i lastFold = _mm_set1_epi8(fold[n - 1]);
    const __m128i lastByte = _mm_set1_epi8(lowered[n - 1]);
#endif
    for (;;) {
        const std::size_t siftEnd =
            memchrAnchor && last - at > kSiftedStarts ? at + kSiftedStarts : last + 1;
#if defined(__SSE2__)
        // The last 16-byte load ends at byte last + 15 + n - 1 = size - 1 at most.
        while (at + 16 <= siftEnd) {
            const __m128i heads = _mm_or_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)), firstFold);
            const __m128i tails = _mm_or_si128(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + n - 1)), lastFold);
            auto candidates = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(heads, firstByte), _mm_cmpeq_epi8(tails, lastByte))));
            while (candidates != 0) {
                const std::size_t start = at + static_cast<std::size_t>(__builtin_ctz(candidates));
                if (MatchesAt(data + start, lowered, fold)) {
                    return start;
                }
                candidates &= candidates - 1;
            }
            at += 16;
        }
#endif
        for (; at < siftEnd; ++at) {
            if (MatchesAt(data + at, lowered, fold)) {
                return at;
            }
        }
        if (at > last) {
            return npos;
        }
        const void* hit = std::memchr(data + at + anchor, lowered[anchor], last - at + 1);
        if (hit == nullptr) {
            return npos;
        }
        const std::size_t start =
            static_cast<std::size_t>(static_cast<const char*>(hit) - data) - anchor;
        if (MatchesAt(data + start, lowered, fold)) {
            return start;
        }
        if (start == last) {
            return npos;
        }
        at = start + 1;
    }
}

std::uint64_t NewPageId() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

}  // namespace

PageBuffer::Marker::Marker(std::string_view text)
    : text_(text), lowered_(text), fold_(text.size(), '\0'), anchor_(util::AnchorIndex(text)) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            lowered_[i] = static_cast<char>(c | 0x20);
            fold_[i] = 0x20;
        }
    }
}

void PageBuffer::assign(std::string text) {
    text_ = std::move(text);
    head_ = 0;
    memoUsed_ = 0;
    memoNextEvict_ = 0;
    page_ = NewPageId();
}

std::size_t PageBuffer::search(std::string_view marker, bool noCase, std::size_t anchor,
                               std::size_t from) {
    const std::string_view text(text_);
    const std::size_t at =
        noCase ? util::FindNoCase(text, marker, from, anchor) : text.find(marker, from);
    countSearched(from, at);
    return at;
}

void PageBuffer::countSearched(std::size_t from, std::size_t at) {
    bytesSearched_ += (at == npos ? text_.size() : at) - std::min(from, text_.size());
}

std::size_t PageBuffer::find(std::string_view marker, bool noCase, std::size_t from) {
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
    slot->from = from;
    slot->at = search(marker, noCase, slot->anchor, from);
    return slot->at;
}

std::size_t PageBuffer::find(Marker& marker, std::size_t from) {
    // The memo's rule, for the one answer the marker keeps.
    if (marker.page_ == page_ && from >= marker.from_ &&
        (marker.at_ == npos || from <= marker.at_)) {
        return marker.at_;
    }
    marker.page_ = page_;
    marker.from_ = from;
    marker.at_ = SearchCaseBlind(text_, marker.lowered_, marker.fold_, marker.anchor_, from);
    countSearched(from, marker.at_);
    return marker.at_;
}

std::size_t PageBuffer::findHit(std::string_view marker) {
    // Every exact occurrence is also a case-blind one, so the first exact one
    // cannot come before the first case-blind one. Looking case-blind first
    // finds where the cut by the same marker starts, and usually settles the
    // test too, instead of crossing the same stretch of page a second time.
    const std::size_t blind = find(marker, true, head_);
    return blind != npos && holdsExactly(marker, blind) ? blind : npos;
}

std::size_t PageBuffer::findHit(Marker& marker) {
    const std::size_t blind = find(marker, head_);
    return blind != npos && holdsExactly(marker.text_, blind) ? blind : npos;
}

bool PageBuffer::holdsExactly(std::string_view marker, std::size_t blind) {
    return std::string_view(text_).substr(blind, marker.size()) == marker ||
           find(marker, false, blind + 1) != npos;
}

std::string_view PageBuffer::TakeBetween(std::string_view startMarker, std::string_view endMarker) {
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

std::string_view PageBuffer::TakeBetween(Marker& start, Marker& end) {
    const std::size_t at = find(start, head_);
    if (at == npos) {
        return {};
    }
    return TakeBetween(at, start, end);
}

std::string_view PageBuffer::TakeBetween(std::size_t start, const Marker& startMarker,
                                         Marker& end) {
    head_ = start + startMarker.size();
    const std::size_t at = find(end, head_);
    if (at == npos) {
        return {};
    }
    const std::string_view cut = std::string_view(text_).substr(head_, at - head_);
    head_ = at;
    return cut;
}

}  // namespace search
