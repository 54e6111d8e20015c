// When a pass goes round in circles: a URL asked for again, a page that
// repeats the page before, pages without a hit one after another.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace search {

// A pass ends, as at a page without a next link, when the engine keeps it
// going without anything new: a next URL requested already in this pass, a
// page whose hits are the page before's, or this many fetched pages in a row
// without a hit. A server answering every next link with the same page, or
// with empty pages that always offer a next one, would otherwise be asked
// without end (and fill the rows with copies).
inline constexpr int kMaxPagesWithoutHit = 3;

// What a pass has seen so far, to tell when it goes round in circles.
class PassProgress {
public:
    // Whether url is new to this pass; it counts as requested from now on.
    bool firstRequest(const std::string& url);
    // After a fetched page, with a key per hit in page order: true when the
    // pass ends here. Sets reason to the status text that says why.
    bool endsAfterPage(std::vector<std::string> hitKeys, std::string& reason);

    // A hit's key from its texts: equal keys, equal texts.
    static std::string HitKey(std::initializer_list<std::string_view> texts);

private:
    std::unordered_set<std::string> requested_;
    std::vector<std::string> previousHits_;
    int pagesWithoutHit_ = 0;
};

}  // namespace search
