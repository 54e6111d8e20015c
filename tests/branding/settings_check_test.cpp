// Which tags of a brand's text the reader skips, and why: what the brander's
// tool warns about before a copy ships without them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "branding/settings_check.h"

namespace branding {
namespace {

std::string Tag(const std::string& name, const std::string& value) {
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>";
}

struct Expected {
    std::string marker;
    std::size_t line;
    SkipReason reason;
    bool operator==(const Expected&) const = default;
};

struct CheckCase {
    const char* name;
    std::string plain;
    std::vector<Expected> skipped;
};

class SkippedTags : public ::testing::TestWithParam<CheckCase> {};

TEST_P(SkippedTags, AreFoundWithTheirLineAndReason) {
    std::vector<Expected> found;
    for (const SkippedTag& tag : FindSkippedTags(GetParam().plain)) {
        found.push_back({.marker = tag.marker, .line = tag.line, .reason = tag.reason});
    }
    EXPECT_EQ(found, GetParam().skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SkippedTags,
    ::testing::Values(
        CheckCase{.name = "EveryTagInOrder",
                  .plain = Tag("ApplicationName", "A") + "\r\n" + Tag("AboutText", "x") + "\n" +
                           Tag("Welcome1", "w") + Tag("Link1", "l"),
                  .skipped = {}},
        CheckCase{.name = "MarkersInAnyCaseAreRead",
                  .plain = Tag("APPLICATIONNAME", "A") + Tag("abouttext", "x"),
                  .skipped = {}},
        CheckCase{.name = "OutOfOrder",
                  .plain = Tag("AboutText", "x") + "\n" + Tag("ApplicationName", "A"),
                  .skipped = {{.marker = "<%%AboutText%%>",
                               .line = 1,
                               .reason = SkipReason::kOutOfOrder}}},
        CheckCase{
            .name = "Unknown",
            .plain = "one\n" + Tag("BannerUrl", "u") + "\n" + Tag("Welcome17", "w"),
            .skipped = {{.marker = "<%%BannerUrl%%>", .line = 2, .reason = SkipReason::kUnknown},
                        {.marker = "<%%Welcome17%%>", .line = 3, .reason = SkipReason::kUnknown}}},
        CheckCase{
            .name = "Unclosed",
            .plain = "<%%AboutText%%>text without its end\n" + Tag("Link1", "l"),
            .skipped = {{.marker = "<%%AboutText%%>", .line = 1, .reason = SkipReason::kUnclosed}}},
        CheckCase{
            .name = "AfterAGapInItsFamily",
            .plain = Tag("Banner1", "a") + Tag("Banner3", "c") + "\n" + Tag("Link1", "l"),
            .skipped = {{.marker = "<%%Banner3%%>", .line = 1, .reason = SkipReason::kAfterGap}}},
        CheckCase{.name = "Repeated",
                  .plain = Tag("ApplicationName", "A") + "\n" + Tag("ApplicationName", "B"),
                  .skipped = {{.marker = "<%%ApplicationName%%>",
                               .line = 2,
                               .reason = SkipReason::kRepeated}}},
        CheckCase{.name = "TextThatOnlyLooksLikeAMarker",
                  .plain = Tag("AffiliateURL", "http://a.example/?id=%%AFFILIATEID%%") +
                           "<%% not a tag %%> <%%",
                  .skipped = {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SkipText, NamesTheMarkerAndWhatHappensToIt) {
    EXPECT_EQ(SkipText({.marker = "<%%X%%>", .line = 1, .reason = SkipReason::kUnknown}),
              "<%%X%%> is not a tag the program reads");
    EXPECT_EQ(SkipText({.marker = "<%%AboutText%%>", .line = 1, .reason = SkipReason::kUnclosed}),
              "<%%AboutText%%> has no end marker; its value is read as empty");
}

}  // namespace
}  // namespace branding
