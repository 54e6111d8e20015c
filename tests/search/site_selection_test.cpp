// Which passes and profiles a site line runs: the lines people have today
// keep running exactly their built-in passes; profiles join by their select
// text, stand in by their name, or run alone by a tag.
#include "search/site_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "search/profiles/profile_file.h"
#include "util/line_file.h"

namespace search {
namespace {

ProfileDefinition Named(const std::string& name, const std::string& select = "") {
    ProfileDefinition definition;
    definition.name = name;
    definition.select = select;
    return definition;
}

// The shipped profiles' names and select texts: the Google and Yahoo ones
// select by a pass's own name.
std::vector<ProfileDefinition> Shipped() {
    return {Named("bing", "bing"),         Named("yahoo-web", "yahoo"),
            Named("google-web", "google"), Named("google-basic", "google"),
            Named("brave", "brave"),       Named("ecosia", "ecosia")};
}

// A step as one word: "google" for the pass, "profile:bing" for a profile.
std::vector<std::string> Steps(const SiteSelection& selection) {
    std::vector<std::string> out;
    for (const SelectedStep& step : selection.steps) {
        if (step.kind == SelectedStep::Kind::BuiltInPass) {
            EXPECT_EQ(step.profile, nullptr);
            out.emplace_back(ProfileOf(step.engine).dispatchText);
        } else {
            out.push_back("profile:" + step.profile->name);
        }
    }
    return out;
}

struct LineCase {
    const char* line;
    std::vector<std::string> steps;
    std::string siteText;
    std::vector<std::string> unknown = {};
};

void Check(const std::vector<ProfileDefinition>& profiles, const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) {
        const SiteSelection selection = SelectForSiteLine(c.line, profiles);
        EXPECT_EQ(Steps(selection), c.steps) << c.line;
        EXPECT_EQ(selection.siteText, c.siteText) << c.line;
        EXPECT_EQ(selection.unknownNames, c.unknown) << c.line;
    }
}

// The lines the program has always known run the passes they always ran,
// with the shipped profiles in the catalog: those select "google" and
// "yahoo" only by tag.
TEST(SelectForSiteLine, UntaggedLinesRunTheBuiltInPassesAsBefore) {
    Check(Shipped(),
          {
              {.line = "http://www.google.com",
               .steps = {"google"},
               .siteText = "http://www.google.com"},
              {.line = "http://google@127.0.0.1:8080",
               .steps = {"google"},
               .siteText = "http://google@127.0.0.1:8080"},
              {.line = "http://search.yahoo.com",
               .steps = {"yahoo"},
               .siteText = "http://search.yahoo.com"},
              {.line = "http://www.altavista.com",
               .steps = {"altavista"},
               .siteText = "http://www.altavista.com"},
              {.line = "http://search.live.com",
               .steps = {"live"},
               .siteText = "http://search.live.com"},
              {.line = "google backlinks",
               .steps = {"google", "google backlinks"},
               .siteText = "google backlinks"},
              // Several names: dispatch order, not the order in the line.
              {.line = "http://live.yahoo.google.example",
               .steps = {"google", "yahoo", "live"},
               .siteText = "http://live.yahoo.google.example"},
              // Case-sensitive, as the dispatch always was.
              {.line = "http://www.Google.com", .steps = {}, .siteText = "http://www.Google.com"},
              // Byte for byte: blanks, a bracket never closed, a trailing CR.
              {.line = "  http://www.google.com \r",
               .steps = {"google"},
               .siteText = "  http://www.google.com \r"},
              {.line = "[google http://127.0.0.1:8080",
               .steps = {"google"},
               .siteText = "[google http://127.0.0.1:8080"},
              {.line = "", .steps = {}, .siteText = ""},
          });
}

TEST(SelectForSiteLine, UntaggedLinesAddProfilesBySelectText) {
    std::vector<ProfileDefinition> profiles = Shipped();
    profiles.push_back(Named("quiet"));  // no select text: only by tag
    Check(profiles,
          {
              {.line = "https://www.bing.com",
               .steps = {"profile:bing"},
               .siteText = "https://www.bing.com"},
              // Passes first, then profiles in catalog order.
              {.line = "http://ecosia.brave.google@127.0.0.1:8080",
               .steps = {"google", "profile:brave", "profile:ecosia"},
               .siteText = "http://ecosia.brave.google@127.0.0.1:8080"},
              {.line = "https://search.brave.com",
               .steps = {"profile:brave"},
               .siteText = "https://search.brave.com"},
              {.line = "http://quiet.example", .steps = {}, .siteText = "http://quiet.example"},
          });
}

// A profile named exactly like a pass runs in the pass's place, wherever
// the pass would have run; its select text does not run it a second time.
TEST(SelectForSiteLine, ProfileNamedLikeAPassStandsInForIt) {
    std::vector<ProfileDefinition> profiles = Shipped();
    profiles.push_back(Named("yahoo", "search.example"));
    profiles.push_back(Named("google backlinks"));
    Check(profiles, {
                        {.line = "http://search.yahoo.com",
                         .steps = {"profile:yahoo"},
                         .siteText = "http://search.yahoo.com"},
                        {.line = "http://search.example/yahoo",
                         .steps = {"profile:yahoo"},
                         .siteText = "http://search.example/yahoo"},
                        {.line = "google backlinks",
                         .steps = {"google", "profile:google backlinks"},
                         .siteText = "google backlinks"},
                        {.line = "[yahoo, live] http://127.0.0.1:8080",
                         .steps = {"profile:yahoo", "live"},
                         .siteText = "http://127.0.0.1:8080"},
                    });
    const SiteSelection standIn = SelectForSiteLine("http://search.yahoo.com", profiles);
    ASSERT_EQ(standIn.steps.size(), 1u);
    EXPECT_EQ(standIn.steps[0].engine, Engine::Yahoo);
    EXPECT_EQ(standIn.steps[0].profile, &profiles[6]);
}

TEST(SelectForSiteLine, TagRunsExactlyTheNamedStepsInItsOrder) {
    Check(
        Shipped(),
        {
            {.line = "[google-web] https://www.google.com",
             .steps = {"profile:google-web"},
             .siteText = "https://www.google.com"},
            {.line = "[bing, brave] http://127.0.0.1:8080",
             .steps = {"profile:bing", "profile:brave"},
             .siteText = "http://127.0.0.1:8080"},
            {.line = "[brave,bing]http://127.0.0.1:8080",
             .steps = {"profile:brave", "profile:bing"},
             .siteText = "http://127.0.0.1:8080"},
            // Built-in passes by name; the line's own text selects nothing more.
            {.line = "[ altavista ,\tgoogle ]  http://yahoo.bing.example",
             .steps = {"altavista", "google"},
             .siteText = "http://yahoo.bing.example"},
            {.line = "[google backlinks] x", .steps = {"google backlinks"}, .siteText = "x"},
            // Unknown names are handed back; the known ones still run.
            {.line = "[bing, duckduckgo, Bing] http://x",
             .steps = {"profile:bing"},
             .siteText = "http://x",
             .unknown = {"duckduckgo", "Bing"}},
            {.line = "[bing, bing, ,] http://x", .steps = {"profile:bing"}, .siteText = "http://x"},
            {.line = "[] http://www.google.com", .steps = {}, .siteText = "http://www.google.com"},
            // Only the first "]" ends the tag.
            {.line = "[bing] http://x/[1]", .steps = {"profile:bing"}, .siteText = "http://x/[1]"},
            {.line = "[bing]", .steps = {"profile:bing"}, .siteText = ""},
        });
}

TEST(DescribeSelection, NamesEveryStepAndWhatIsUnknown) {
    std::vector<ProfileDefinition> profiles = Shipped();
    profiles.push_back(Named("live"));
    const struct {
        const char* line;
        const char* text;
    } cases[] = {
        {.line = "http://google.bing.example",
         .text = "Runs: google (built-in pass), bing (profile)"},
        {.line = "http://live.example",
         .text = "Runs: live (profile in place of the built-in pass)"},
        {.line = "http://nothing.example", .text = "Runs nothing: no engine matches this line"},
        {.line = "[brave, foo, bar] http://x", .text = "Runs: brave (profile); unknown: foo, bar"},
        {.line = "[foo] http://google.example",
         .text = "Runs nothing: no engine matches this line; unknown: foo"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeSelection(SelectForSiteLine(c.line, profiles)), c.text) << c.line;
    }
}

// The site list we ship offers every shipped profile on a line of its own,
// after the lines it has always had.
TEST(ShippedSitesFile, HasALineForEveryShippedProfile) {
    const std::vector<std::string> lines = util::ReadLineFile(ZORVANE_SITES_TXT);
    const std::vector<std::string> before = {"http://www.google.com",   "https://www.google.com",
                                             "http://search.yahoo.com", "https://search.yahoo.com",
                                             "http://search.live.com",  "http://www.altavista.com",
                                             "google backlinks"};
    ASSERT_GE(lines.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), lines.begin()));
    const std::vector<ProfileDefinition> shipped = ParseProfiles(BuiltInProfilesText(), "built-in");
    ASSERT_FALSE(shipped.empty());
    for (const ProfileDefinition& profile : shipped) {
        const auto runsItAlone = [&](const std::string& line) {
            const SiteSelection selection = SelectForSiteLine(line, shipped);
            return Steps(selection) == std::vector<std::string>{"profile:" + profile.name} &&
                   selection.siteText.starts_with("https://");
        };
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), runsItAlone)) << profile.name;
    }
}

}  // namespace
}  // namespace search
