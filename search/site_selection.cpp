#include "search/site_selection.h"

#include <algorithm>
#include <optional>

namespace search {
namespace {

constexpr Engine kDispatchOrder[] = {Engine::Google, Engine::Yahoo, Engine::Live, Engine::AltaVista,
                                     Engine::GoogleBacklinks};

constexpr std::string_view kBlanks = " \t";

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

const ProfileDefinition* ProfileNamed(std::string_view name,
                                      const std::vector<ProfileDefinition>& profiles) {
    const auto it = std::find_if(profiles.begin(), profiles.end(),
                                 [&](const ProfileDefinition& p) { return p.name == name; });
    return it == profiles.end() ? nullptr : &*it;
}

std::optional<Engine> PassNamed(std::string_view name) {
    for (Engine engine : kDispatchOrder) {
        if (ProfileOf(engine).dispatchText == name) {
            return engine;
        }
    }
    return std::nullopt;
}

bool IsDispatchText(std::string_view text) {
    return PassNamed(text).has_value();
}

// The pass itself, or the profile named like it.
SelectedStep PassStep(Engine engine, const std::vector<ProfileDefinition>& profiles) {
    if (const ProfileDefinition* standIn = ProfileNamed(ProfileOf(engine).dispatchText, profiles)) {
        return {.kind = SelectedStep::Kind::Profile, .engine = engine, .profile = standIn};
    }
    return {.kind = SelectedStep::Kind::BuiltInPass, .engine = engine, .profile = nullptr};
}

// A profile named like a pass is that pass's stand-in wherever it is chosen.
SelectedStep ProfileStep(const ProfileDefinition& profile) {
    SelectedStep step{.kind = SelectedStep::Kind::Profile, .profile = &profile};
    if (const std::optional<Engine> engine = PassNamed(profile.name)) {
        step.engine = *engine;
    }
    return step;
}

bool SameStep(const SelectedStep& a, const SelectedStep& b) {
    return a.kind == b.kind &&
           (a.kind == SelectedStep::Kind::Profile ? a.profile == b.profile : a.engine == b.engine);
}

void Add(SiteSelection& selection, const SelectedStep& step) {
    if (std::none_of(selection.steps.begin(), selection.steps.end(),
                     [&](const SelectedStep& s) { return SameStep(s, step); })) {
        selection.steps.push_back(step);
    }
}

}  // namespace

SiteSelection SelectForSiteLine(std::string_view line,
                                const std::vector<ProfileDefinition>& profiles) {
    SiteSelection selection;
    const std::size_t tagEnd = line.starts_with('[') ? line.find(']') : std::string_view::npos;
    if (tagEnd == std::string_view::npos) {
        selection.siteText = std::string(line);
        for (Engine engine : kDispatchOrder) {
            if (line.find(ProfileOf(engine).dispatchText) != std::string_view::npos) {
                Add(selection, PassStep(engine, profiles));
            }
        }
        for (const ProfileDefinition& profile : profiles) {
            if (!profile.select.empty() && !IsDispatchText(profile.select) &&
                line.find(profile.select) != std::string_view::npos) {
                Add(selection, ProfileStep(profile));
            }
        }
        return selection;
    }

    const std::string_view rest = line.substr(tagEnd + 1);
    selection.siteText =
        std::string(rest.substr(std::min(rest.find_first_not_of(kBlanks), rest.size())));
    std::string_view names = line.substr(1, tagEnd - 1);
    while (true) {
        const std::size_t comma = names.find(',');
        const std::string_view name = Trimmed(names.substr(0, comma));
        if (!name.empty()) {
            if (const std::optional<Engine> engine = PassNamed(name)) {
                Add(selection, PassStep(*engine, profiles));
            } else if (const ProfileDefinition* profile = ProfileNamed(name, profiles)) {
                Add(selection, ProfileStep(*profile));
            } else if (std::find(selection.unknownNames.begin(), selection.unknownNames.end(),
                                 name) == selection.unknownNames.end()) {
                selection.unknownNames.emplace_back(name);
            }
        }
        if (comma == std::string_view::npos) {
            break;
        }
        names.remove_prefix(comma + 1);
    }
    return selection;
}

std::string DescribeSelection(const SiteSelection& selection) {
    std::string text;
    if (selection.steps.empty()) {
        text = "Runs nothing: no engine matches this line";
    } else {
        text = "Runs: ";
        for (std::size_t i = 0; i < selection.steps.size(); ++i) {
            const SelectedStep& step = selection.steps[i];
            text += i > 0 ? ", " : "";
            if (step.kind == SelectedStep::Kind::BuiltInPass) {
                text += std::string(ProfileOf(step.engine).dispatchText) + " (built-in pass)";
            } else {
                text += step.profile->name + (IsDispatchText(step.profile->name)
                                                  ? " (profile in place of the built-in pass)"
                                                  : " (profile)");
            }
        }
    }
    if (!selection.unknownNames.empty()) {
        text += "; unknown: ";
        for (std::size_t i = 0; i < selection.unknownNames.size(); ++i) {
            text += (i > 0 ? ", " : "") + selection.unknownNames[i];
        }
    }
    return text;
}

}  // namespace search
