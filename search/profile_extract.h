#pragma once

#include <libxml/xpath.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/engine_profile.h"

namespace search {

// How much of a page is parsed. The fetcher keeps 16 MiB of a page, which may
// grow when converted to UTF-8; a result page is a few hundred KB, and what
// lies past this is no hit a person would see.
inline constexpr std::size_t kMaxParsedPageBytes = 16 * 1024 * 1024;
// A real result page has a few dozen hits; a page with more is no result page
// and is cut here rather than filling the grid.
inline constexpr std::size_t kMaxHitsPerPage = 1000;
// A title or snippet longer than this is the page's markup gone wrong; it is
// cut (on a character boundary) so that one hit cannot fill the memory.
inline constexpr std::size_t kMaxHitTextBytes = 64 * 1024;

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
    // read. A page the parser cannot make anything of gives no hits.
    ProfilePage extract(std::string_view utf8Html) const;

private:
    struct FreeExpression {
        void operator()(xmlXPathCompExpr* expression) const { xmlXPathFreeCompExpr(expression); }
    };
    using Expression = std::unique_ptr<xmlXPathCompExpr, FreeExpression>;

    static Expression Compile(const std::string& xpath, const std::string& key);

    Expression hits_;
    Expression link_;
    Expression title_;
    Expression snippet_;
    Expression next_;
    std::vector<std::pair<std::string, Expression>> blockMarks_;  // reason, mark
    LinkUnwrap unwrap_;
};

}  // namespace search
