#include "search/pass_progress.h"

#include <utility>

#include "search/search_texts.h"

namespace search {

bool PassProgress::firstRequest(const std::string& url) {
    return requested_.insert(url).second;
}

bool PassProgress::endsAfterPage(std::vector<std::string> hitKeys, std::string& reason) {
    if (hitKeys.empty()) {
        if (++pagesWithoutHit_ >= kMaxPagesWithoutHit) {
            reason = texts::PagesWithoutHit(kMaxPagesWithoutHit);
            return true;
        }
    } else {
        pagesWithoutHit_ = 0;
    }
    // Two empty pages are no repetition: they count as pages without a hit.
    if (!hitKeys.empty() && hitKeys == previousHits_) {
        reason = std::string(texts::kSamePageAgain);
        return true;
    }
    previousHits_ = std::move(hitKeys);
    return false;
}

std::string PassProgress::HitKey(std::initializer_list<std::string_view> texts) {
    // Each text with its length in front, so that no two lists of texts join
    // into one key.
    std::string key;
    for (const std::string_view text : texts) {
        key += std::to_string(text.size());
        key += ':';
        key += text;
    }
    return key;
}

}  // namespace search
