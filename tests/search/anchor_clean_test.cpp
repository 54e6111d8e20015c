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
        {.raw = "Result 0: <b>kw</b> &amp; friends",
         .clean = "Result 0: kw & friends",
         .onePass = true},
        {.raw = "<b>A</b> &amp; <b>B</b>", .clean = "A & B", .onePass = true},
        {.raw = "kw &lt;guide&gt; result 3 <em>new</em>",
         .clean = "kw <guide> result 3 new",
         .onePass = true},
        {.raw = "<strong>kw</strong>  reviews,   result",
         .clean = "kw reviews,  result",
         .onePass = true},
        {.raw = "&quot;kw&quot; &#39;q&#39; &apos;a&apos;",
         .clean = "\"kw\" 'q' 'a'",
         .onePass = true},
        {.raw = "a<br>b<strong>c</strong><em></em>", .clean = "abc", .onePass = true},
        {.raw = "", .clean = "", .onePass = true},
        // A removal joins the bytes around it into a tag: removed by a later
        // step, kept when its own step has passed.
        {.raw = "<<b>b>", .clean = "<b>", .onePass = false},
        {.raw = "<<b>/b>", .clean = "", .onePass = false},
        {.raw = "<e<b>m>", .clean = "", .onePass = false},
        {.raw = "</strong<b>>", .clean = "", .onePass = false},
        {.raw = "<br<em>>", .clean = "<br>", .onePass = false},
        {.raw = "<st<em>rong>", .clean = "<strong>", .onePass = false},
        {.raw = "<b</b>>", .clean = "<b>", .onePass = false},
        {.raw = "<</b>b>", .clean = "<b>", .onePass = false},
        {.raw = "<<b>/<b>b>", .clean = "", .onePass = false},
        // A removal joins the bytes around it into an entity.
        {.raw = "&am<b>p;", .clean = "&", .onePass = false},
        {.raw = "&<b>amp;", .clean = "&", .onePass = false},
        {.raw = "&a<b>m</b>p;", .clean = "&", .onePass = false},
        {.raw = "<b>&</b>amp;", .clean = "&", .onePass = false},
        {.raw = "&l<em>t;x", .clean = "<x", .onePass = false},
        {.raw = "&amp;<b>#39;", .clean = "'", .onePass = false},
        {.raw = "x<b>&amp;</b>#39;y", .clean = "x'y", .onePass = false},
        {.raw = "&amp<b>;#39;", .clean = "'", .onePass = false},
        {.raw = "&amp;#<b>39;", .clean = "'", .onePass = false},
        // Entities decoded in their order, each step once over the text.
        {.raw = "&amp;lt;", .clean = "&lt;", .onePass = true},
        {.raw = "&amp;#39;", .clean = "'", .onePass = true},
        {.raw = "&amp;amp;", .clean = "&amp;", .onePass = true},
        {.raw = "&amp;amp;#39;", .clean = "&amp;#39;", .onePass = true},
        {.raw = "&amp;quot;", .clean = "&quot;", .onePass = true},
        {.raw = "&amp;&#39;", .clean = "&'", .onePass = true},
        {.raw = "&amp;&amp;#39;", .clean = "&'", .onePass = true},
        {.raw = "&lt;b&gt;", .clean = "<b>", .onePass = true},
        {.raw = "&lt;<b>b>", .clean = "<b>", .onePass = true},
        {.raw = "&QUOT;&Amp;&#039;", .clean = "&QUOT;&Amp;&#039;", .onePass = true},
        {.raw = "<B>kept</B><b class=x>", .clean = "<B>kept</B><b class=x>", .onePass = true},
        // Control bytes go only after decoding, so they split an entity for good.
        {.raw = "&a\x01mp;", .clean = "&amp;", .onePass = true},
        {.raw = "&l\rt;", .clean = "&lt;", .onePass = true},
        {.raw = "&#3\n9;", .clean = "&#39;", .onePass = true},
        {.raw = "&amp;#3\t9;", .clean = "&#39;", .onePass = true},
        {.raw = "<\177b>", .clean = "<b>", .onePass = true},
        // Spaces pair up across dropped bytes and removed tags.
        {.raw = "a \r\n b", .clean = "a b", .onePass = true},
        {.raw = "  <b> </b>  ", .clean = "   ", .onePass = true},
        {.raw = "a \xC3\xA9  b", .clean = "a \xC3\xA9 b", .onePass = true},
        {.raw = "a \xC2\x85 b", .clean = "a b", .onePass = true},
        {.raw = "a \xFF  \xC3 b", .clean = "a  b", .onePass = true},
        // Printable ASCII and well-formed UTF-8 stay; controls (C0, DEL, C1)
        // and every byte of a malformed sequence go.
        {.raw = "Caf\xC3\xA9 cr\xC3\xA8me", .clean = "Caf\xC3\xA9 cr\xC3\xA8me", .onePass = true},
        {.raw = "Caf\xE9 cr\xE8me", .clean = "Caf crme", .onePass = true},
        {.raw = "\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC \xF0\x9F\x98\x80",
         .clean = "\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x82\xAC \xF0\x9F\x98\x80",
         .onePass = true},
        {.raw = "\xC2\x80\xC2\x9F|\xC2\xA0|\xDF\xBF|\xEF\xBF\xBF|\xF4\x8F\xBF\xBF",
         .clean = "|\xC2\xA0|\xDF\xBF|\xEF\xBF\xBF|\xF4\x8F\xBF\xBF",
         .onePass = true},
        {.raw = "\xC0\xAF|\xC1\xBF|\xE0\x9F\xBF|\xF0\x8F\xBF\xBF", .clean = "|||", .onePass = true},
        {.raw = "\xED\xA0\x80|\xED\xBF\xBF|\xED\x9F\xBF",
         .clean = "||\xED\x9F\xBF",
         .onePass = true},
        {.raw = "\xF4\x90\x80\x80|\xF5\x80\x80\x80|\xF8\x88\x80\x80\x80|\xFE\xFF",
         .clean = "|||",
         .onePass = true},
        // A malformed sequence loses its bytes one at a time: what follows a
        // broken lead may itself begin a character.
        {.raw = "\xE2\x82\xC3\xA9", .clean = "\xC3\xA9", .onePass = true},
        {.raw = "\xF0\x9F\x98", .clean = "", .onePass = true},
        {.raw = "\x80\xBF\xC3", .clean = "", .onePass = true},
        // Bytes that leave the text only after decoding still part a character.
        {.raw = "\xC3\x01\xA9", .clean = "", .onePass = true},
        {.raw = "\xC3&amp;\xA9", .clean = "&", .onePass = true},
        {.raw = "\xE2\x80\r\n\x9C", .clean = "", .onePass = true},
        // A removed tag inside a character joins its bytes, which the steps
        // see side by side; a tag that stays keeps them apart.
        {.raw = "Caf\xC3<b>\xA9</b>", .clean = "Caf\xC3\xA9", .onePass = false},
        {.raw = "\xE2\x80<em></em>\x9C", .clean = "\xE2\x80\x9C", .onePass = false},
        {.raw = "\xC3<b>x", .clean = "x", .onePass = false},
        {.raw = "\xC3<i>\xA9", .clean = "<i>", .onePass = true},
        {.raw = "<b>\xC3\xA9</b>", .clean = "\xC3\xA9", .onePass = true},
        // A far opener or a tail that is no beginning of anything keeps the one pass.
        {.raw = "&ampxxxxx<b>y", .clean = "&ampxxxxxy", .onePass = true},
        {.raw = "&amp; <b>x", .clean = "& x", .onePass = true},
        {.raw = "<a<b>x", .clean = "<ax", .onePass = true},
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
        "<b>",   "</b>",  "<br>", "<strong>", "</strong>", "<em>",     "</em>",    "<",
        "/",     "b",     ">",    "r",        "strong",    "st",       "em",       "e",
        "&",     "amp;",  "am",   "#39;",     "#",         "3",        "9",        ";",
        "quot;", "apos;", "lt;",  "gt;",      "q",         "&amp;",    "&lt;",     "&#39;",
        " ",     "  ",    "\r\n", "\x01",     "\xE9",      "x",        "B",        "&AMP;",
        "\xC3",  "\xA9",  "\x80", "\xC3\xA9", "\xE2\x80",  "\xF0\x9F", "\xC2\x85", "\xED\xA0"};
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
