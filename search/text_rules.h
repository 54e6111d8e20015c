#pragma once

#include <string>
#include <string_view>

namespace search {

// Every non-overlapping occurrence of from replaced by to, in one
// left-to-right pass, compared exactly.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// The raw HTML between a link's opening tag and "</a>" made into the plain
// text of the Anchor column: a few tags removed, a few entities decoded (in a
// fixed order, each once), only printable ASCII (32-126) and well-formed
// UTF-8 characters other than the C1 controls kept, double spaces halved.
// Not trimmed. Gives exactly what CleanAnchorTextStepByStep gives.
std::string CleanAnchorText(std::string_view raw);

// The same clean-up in one pass over raw, written to out; false, with out
// left unspecified, for a raw anchor in which removing a tag could join bytes
// into a new tag or entity, or the bytes of a UTF-8 character on its two
// sides. CleanAnchorText then takes the step-by-step way.
bool CleanAnchorTextInOnePass(std::string_view raw, std::string& out);

// The keyword (UTF-8) form-encoded for a URL: a space becomes "+", ASCII
// letters, digits and "-._~" stay, every other byte becomes "%" and two
// upper-case hex digits.
std::string KeywordText(std::string_view keyword);

// A form field's name or value (UTF-8) as a browser encodes it for
// application/x-www-form-urlencoded: a space becomes "+", ASCII letters,
// digits and "*-._" stay, every other byte becomes "%" and two upper-case
// hex digits. Unlike KeywordText, "~" is encoded and "*" is not.
std::string HtmlFormText(std::string_view text);

// The keyword as the backlinks pass puts it into its query before encoding it
// again with EncodeQueryText: every space becomes "+", then every double
// quote "%22"; nothing else. Its keyword is a URL, which form-encoding first
// would double-escape ("%3A" becoming "%253A").
std::string BacklinksKeywordText(std::string_view keyword);

// The query encoder of the backlinks pass: "*-.@_", A-Z and a-z stay, a space
// becomes "+", every other byte (the digits too) becomes "%" and two
// upper-case hex digits; a NUL byte ends the text.
std::string EncodeQueryText(std::string_view text);

// The backlinks query: EncodeQueryText of the keyword text, with
// "http%3A%2F%2F" put in front unless it already holds it.
std::string BacklinksQueryText(std::string_view keywordText);

// Whether the text, lower-cased in ASCII, begins with prefix; nothing is copied.
bool LoweredStartsWith(std::string_view text, std::string_view prefix);

// Drops one trailing "/" from a link.
void DropTrailingSlash(std::string& link);

}  // namespace search
