#pragma once

#include <libxml/xpath.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/profiles/engine_profile.h"
#include "search/profiles/html5_document.h"

namespace search {

// How much of a page is parsed. The fetcher keeps 16 MiB of a page, which may
// grow when converted to UTF-8; a result page is a few hundred KB, and what
// lies past this is no hit a person would see.
inline constexpr std::size_t kMaxParsedPageBytes = 16 * 1024 * 1024;
// A real result page has a few dozen hits; a page with more is no result page
// and is cut here rather than filling the grid.
inline constexpr std::size_t kMaxHitsPerPage = 1000;
// A title, snippet, link, destination or display URL longer than this is the
// page's markup gone wrong: the hit is left out (and the status says so)
// rather than shown cut.
inline constexpr std::size_t kMaxHitTextBytes = 64 * 1024;
// The XPath steps one page's expressions may take together (libxml2 counts
// them). The saved real result pages take 8 000 to 32 000 with the shipped
// profiles; an expression that walks the whole page for every node of it
// needs billions, and the page fails instead.
inline constexpr unsigned long kXPathOpBudget = 10'000'000;

// The bounds of one page's extraction; tests make them small.
struct ExtractBounds {
    ParseBounds parse;
    unsigned long xpathOps = kXPathOpBudget;
};

// The destination of a hit link: the value of the profile's redirect
// parameter (after "?", "&", ";" or "/", up to a byte of `until`),
// percent-decoded once, "+" read as a space when `until` holds "&"; the href
// itself when the profile names no parameter or the link has none.
std::string UnwrapLink(std::string_view href, const LinkUnwrap& unwrap);

// A profile with its XPath expressions compiled once, ready for page after
// page. Holds no page between calls.
class CompiledProfile {
public:
    // Throws std::runtime_error naming the key ("hits", "blockedPages[1].xpath")
    // and libxml2's reason when an expression does not compile.
    explicit CompiledProfile(const ProfileDefinition& profile);

    // The hits, the next link and the block marks of one page, given as
    // UTF-8 (whatever its <meta> says), of which the first kMaxParsedPageBytes are
    // read, parsed as a browser parses it. A page that cannot be read whole
    // within the bounds, or whose expressions outrun their budget, gives no
    // hits and says why in unreadReason; once bounds.parse.cancel is set
    // the extraction ends at its next step with a page nobody should use.
    // Every text of a hit is UTF-8: bytes that are not read as U+FFFD.
    ProfilePage extract(std::string_view utf8Html, const ExtractBounds& bounds = {}) const;

private:
    struct FreeExpression {
        void operator()(xmlXPathCompExpr* expression) const { xmlXPathFreeCompExpr(expression); }
    };
    using Expression = std::unique_ptr<xmlXPathCompExpr, FreeExpression>;

    static Expression Compile(const std::string& xpath, const std::string& key);

    Expression hits_;
    Expression link_;
    Expression destination_;
    Expression title_;
    Expression snippet_;
    Expression next_;
    Expression displayUrl_;
    Expression nextForm_;
    std::vector<std::pair<std::string, Expression>> blockMarks_;  // reason, mark
    LinkUnwrap unwrap_;
};

}  // namespace search
