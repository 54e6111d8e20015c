#pragma once

#include <string>
#include <string_view>

namespace search {

// The anchor clean-up done literally as its rules read: seven tag removals
// ("<b>", "</b>", "<br>", "<strong>", "</strong>", "<em>", "</em>"), then six
// entity decodings ("&quot;", "&apos;", "&gt;", "&lt;", "&amp;", "&#39;"),
// each a replace-all over the text the step before left; then only the
// printable ASCII bytes (32-126) and the well-formed UTF-8 characters from
// U+00A0 on kept, every other byte dropped, and every pair of spaces made one.
// Slow and plain on purpose: CleanAnchorText hands it the anchors whose tag
// removals join bytes together, and the tests hold the fast clean-up against it.
std::string CleanAnchorTextStepByStep(std::string_view raw);

}  // namespace search
