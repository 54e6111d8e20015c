// The one-pass anchor clean-up against the step-by-step one it stands in for.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "search/anchor_reference.h"
#include "search/text_rules.h"

namespace search {
namespace {

struct AnchorCase {
    std::string raw;
    std::string clean;
    bool onePass;  // whether the one pass answers instead of handing over
};

// Each case states what the steps make of it; onePass pins which anchors the
// fast way keeps: every ordinary one, and none whose removals could join
// bytes into something a later step would still change.
TEST(AnchorClean, TrickyFragmentsCleanLikeTheSteps) {
    const AnchorCase cases[] = {
        // Ordinary anchors.
        {"Result 0: <b>kw</b> &amp; friends", "Result 0: kw & friends", true},
        {"<b>A</b> &amp; <b>B</b>", "A & B", true},
        {"kw &lt;guide&gt; result 3 <em>new</em>", "kw <guide> result 3 new", true},
        {"<strong>kw</strong>  reviews,   result", "kw reviews,  result", true},
        {"&quot;kw&quot; &#39;q&#39; &apos;a&apos;", "\"kw\" 'q' 'a'", true},
        {"a<br>b<strong>c</strong><em></em>", "abc", true},
        {"", "", true},
        // A removal joins the bytes around it into a tag: removed by a later
        // step, kept when its own step has passed.
        {"<<b>b>", "<b>", false},
        {"<<b>/b>", "", false},
        {"<e<b>m>", "", false},
        {"</strong<b>>", "", false},
        {"<br<em>>", "<br>", false},
        {"<st<em>rong>", "<strong>", false},
        {"<b</b>>", "<b>", false},
        {"<</b>b>", "<b>", false},
        {"<<b>/<b>b>", "", false},
        // A removal joins the bytes around it into an entity.
        {"&am<b>p;", "&", false},
        {"&<b>amp;", "&", false},
        {"&a<b>m</b>p;", "&", false},
        {"<b>&</b>amp;", "&", false},
        {"&l<em>t;x", "<x", false},
        {"&amp;<b>#39;", "'", false},
        {"x<b>&amp;</b>#39;y", "x'y", false},
        {"&amp<b>;#39;", "'", false},
        {"&amp;#<b>39;", "'", false},
        // Entities decoded in their order, each step once over the text.
        {"&amp;lt;", "&lt;", true},
        {"&amp;#39;", "'", true},
        {"&amp;amp;", "&amp;", true},
        {"&amp;amp;#39;", "&amp;#39;", true},
        {"&amp;quot;", "&quot;", true},
        {"&amp;&#39;", "&'", true},
        {"&amp;&amp;#39;", "&'", true},
        {"&lt;b&gt;", "<b>", true},
        {"&lt;<b>b>", "<b>", true},
        {"&QUOT;&Amp;&#039;", "&QUOT;&Amp;&#039;", true},
        {"<B>kept</B><b class=x>", "<B>kept</B><b class=x>", true},
        // Control bytes go only after decoding, so they split an entity for good.
        {"&a\x01mp;", "&amp;", true},
        {"&l\rt;", "&lt;", true},
        {"&#3\n9;", "&#39;", true},
        {"&amp;#3\t9;", "&#39;", true},
        {"<\177b>", "<b>", true},
        // Spaces pair up across dropped bytes and removed tags.
        {"a \r\n b", "a b", true},
        {"  <b> </b>  ", "   ", true},
        {"a \xC3\xA9  b", "a  b", true},
        // A far opener or a tail that is no beginning of anything keeps the one pass.
        {"&ampxxxxx<b>y", "&ampxxxxxy", true},
        {"&amp; <b>x", "& x", true},
        {"<a<b>x", "<ax", true},
    };
    for (const AnchorCase& c : cases) {
        EXPECT_EQ(CleanAnchorTextStepByStep(c.raw), c.clean) << "raw: " << c.raw;
        EXPECT_EQ(CleanAnchorText(c.raw), c.clean) << "raw: " << c.raw;
        std::string out;
        const bool answered = CleanAnchorTextInOnePass(c.raw, out);
        EXPECT_EQ(answered, c.onePass) << "raw: " << c.raw;
        if (answered) {
            EXPECT_EQ(out, c.clean) << "raw: " << c.raw;
        }
    }
}

// Random texts of tag and entity pieces, whole and broken, with spaces and
// dropped bytes between them. The one pass is checked on its own wherever it
// answers, so a handover cannot hide its faults; both ways must be taken
// often for the comparison to mean anything.
TEST(AnchorClean, OnePassAgreesWithTheStepsOnRandomFragments) {
    const std::string pieces[] = {
        "<b>",   "</b>",  "<br>", "<strong>", "</strong>", "<em>",  "</em>", "<",
        "/",     "b",     ">",    "r",        "strong",    "st",    "em",    "e",
        "&",     "amp;",  "am",   "#39;",     "#",         "3",     "9",     ";",
        "quot;", "apos;", "lt;",  "gt;",      "q",         "&amp;", "&lt;",  "&#39;",
        " ",     "  ",    "\r\n", "\x01",     "\xE9",      "x",     "B",     "&AMP;"};
    std::mt19937 rng(2024);
    int answered = 0;
    int handedOver = 0;
    for (int round = 0; round < 100000; ++round) {
        std::string raw;
        const int count = static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            raw += pieces[rng() % std::size(pieces)];
        }
        const std::string expected = CleanAnchorTextStepByStep(raw);
        std::string out;
        if (CleanAnchorTextInOnePass(raw, out)) {
            ++answered;
            ASSERT_EQ(out, expected) << "raw: " << raw;
        } else {
            ++handedOver;
        }
        ASSERT_EQ(CleanAnchorText(raw), expected) << "raw: " << raw;
    }
    EXPECT_GT(answered, 50000);
    EXPECT_GT(handedOver, 2000);
}

}  // namespace
}  // namespace search
