// Which engines a site line runs: the built-in passes its text names, as
// ever, and the profiles it selects; or, with a tag such as "[bing, brave]"
// in front, exactly the ones the tag names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/engines.h"
#include "search/profiles/engine_profile.h"

namespace search {

struct SelectedStep {
    enum class Kind { BuiltInPass, Profile };
    Kind kind = Kind::BuiltInPass;
    // The pass, for a BuiltInPass step and for a profile named like a pass,
    // which runs in its place.
    Engine engine = Engine::Google;
    // The profile, for a Profile step (also one that stands in for a pass);
    // points into the list given to SelectForSiteLine.
    const ProfileDefinition* profile = nullptr;
};

struct SiteSelection {
    // The line without its tag: what the steps append their paths to.
    std::string siteText;
    // In run order; no step twice.
    std::vector<SelectedStep> steps;
    // Names in the tag that are neither a profile nor a built-in pass, for
    // the caller to report.
    std::vector<std::string> unknownNames;
};

// Without a tag: the built-in passes whose dispatch text the line holds
// (case-sensitive), in the order google, yahoo, live, altavista, google
// backlinks, each replaced by the profile named exactly like it when there
// is one; then, in list order, every profile whose select text the line
// holds, unless that text is a pass's dispatch text (such profiles run only
// by tag). siteText is the whole line, byte for byte.
// With a tag ("[" first, names separated by ",", blanks around names and
// after "]" ignored): the named profiles and passes in the named order.
// A line whose "[" is never closed has no tag.
SiteSelection SelectForSiteLine(std::string_view line,
                                const std::vector<ProfileDefinition>& profiles);

// One line for the site box's tooltip: "Runs: google (built-in pass), bing
// (profile)", or "Runs nothing: no engine matches this line"; unknown tag
// names are named after it.
std::string DescribeSelection(const SiteSelection& selection);

}  // namespace search
