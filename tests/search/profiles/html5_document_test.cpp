#include "search/profiles/html5_document.h"

#include <gtest/gtest.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <atomic>
#include <memory>
#include <string>

namespace search {
namespace {

struct FreeContext {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct FreeObject {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};

// What an expression gives on a document, as a string.
std::string Evaluate(xmlDoc* doc, const std::string& xpath) {
    const std::unique_ptr<xmlXPathContext, FreeContext> context(xmlXPathNewContext(doc));
    xmlXPathRegisterNs(context.get(), reinterpret_cast<const xmlChar*>("svg"),
                       reinterpret_cast<const xmlChar*>("http://www.w3.org/2000/svg"));
    const std::unique_ptr<xmlXPathObject, FreeObject> result(
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context.get()));
    if (result == nullptr) {
        return "(error)";
    }
    xmlChar* text = xmlXPathCastToString(result.get());
    std::string value(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return value;
}

// The tree a browser's inspector shows, as XPath sees it.
TEST(ParseHtml5, BuildsTheTreeABrowserBuilds) {
    const struct {
        const char* name;
        std::string html;
        const char* xpath;
        const char* value;
    } cases[] = {
        {.name = "implied html, head and body",
         .html = "<title>T</title><p>x",
         .xpath = "concat(count(/html/head/title), count(/html/body/p))",
         .value = "11"},
        {.name = "HTML elements in no namespace, names in lower case",
         .html = "<DIV Class=hit><A HREF=u>t</A></DIV>",
         .xpath = "string(//div[@class='hit']/a/@href)",
         .value = "u"},
        {.name = "SVG elements in their own namespace, with its case",
         .html = "<svg><foreignObject><p>in</p></foreignObject></svg>",
         .xpath = "concat(count(//svg), count(//svg:svg), count(//svg:foreignObject/p))",
         .value = "011"},
        {.name = "entities decoded in text and attributes",
         .html = "<a title='a&amp;b&lt;'>&copy;&#x41;&nbsp</a>",
         .xpath = "concat(//a/@title, //a)",
         .value = "a&b<\xC2\xA9"
                  "A\xC2\xA0"},
        {.name = "an unclosed formatting element is reopened, not nested",
         .html = "<p><font>a<p>b",
         .xpath = "concat(count(//font), count(//p/font), count(//font//font))",
         .value = "220"},
        {.name = "misnested formatting elements closed as a browser closes them",
         .html = "<b>1<i>2</b>3</i>",
         .xpath = "concat(count(//b/i), string(//body/i))",
         .value = "13"},
        {.name = "a NUL in text is dropped, in an attribute read as U+FFFD",
         .html = std::string("<p title='a\0b'>c\0d</p>", 22),
         .xpath = "concat(//p/@title, '|', //p)",
         .value = "a\xEF\xBF\xBD"
                  "b|cd"},
        {.name = "bytes that are not UTF-8 read as U+FFFD",
         .html = "<p>a\xFF"
                 "b</p>",
         .xpath = "string(//p)",
         .value = "a\xEF\xBF\xBD"
                  "b"},
        {.name = "comments kept",
         .html = "<p>a<!-- note -->b</p>",
         .xpath = "string(//p/comment())",
         .value = " note "},
        {.name = "a template's content as its children",
         .html = "<template><li>x</li></template>",
         .xpath = "count(//template/li)",
         .value = "1"},
        {.name = "a list item closes the one before",
         .html = "<ul><li>1<li>2</ul>",
         .xpath = "concat(count(//ul/li), count(//li/li))",
         .value = "20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Html5Document parsed = ParseHtml5(c.html);
        ASSERT_EQ(parsed.outcome, ParseOutcome::Whole);
        ASSERT_NE(parsed.doc, nullptr);
        EXPECT_EQ(Evaluate(parsed.doc.get(), c.xpath), c.value);
    }
}

std::string Nested(std::size_t depth) {
    std::string html;
    for (std::size_t i = 0; i < depth; ++i) {
        html += "<div>";
    }
    return html + "<a href=u>deep</a>";
}

// Nesting far past what a page uses is followed; past the bound the page is
// not read whole, and nothing recurses on the way.
TEST(ParseHtml5, BoundsTheDepth) {
    const Html5Document deepEnough = ParseHtml5(Nested(kMaxTreeDepth - 10));
    ASSERT_EQ(deepEnough.outcome, ParseOutcome::Whole);
    EXPECT_EQ(Evaluate(deepEnough.doc.get(), "string(//a)"), "deep");

    for (const std::size_t depth : {kMaxTreeDepth + 10, 2 * kMaxTreeDepth}) {
        const Html5Document tooDeep = ParseHtml5(Nested(depth));
        EXPECT_EQ(tooDeep.outcome, ParseOutcome::TooDeep);
        EXPECT_EQ(tooDeep.doc, nullptr);
    }
}

// The parser stops where its bounds say, whatever it was doing.
TEST(ParseHtml5, GivesUpAtItsBounds) {
    const std::string page = Nested(1000);
    std::atomic<bool> cancelled{true};
    const struct {
        const char* name;
        ParseBounds bounds;
        ParseOutcome outcome;
    } cases[] = {
        {.name = "memory", .bounds = {.memoryBytes = 64 * 1024}, .outcome = ParseOutcome::TooLarge},
        {.name = "time",
         .bounds = {.time = std::chrono::milliseconds(-1)},
         .outcome = ParseOutcome::TooSlow},
        {.name = "cancelled", .bounds = {.cancel = &cancelled}, .outcome = ParseOutcome::Cancelled},
        {.name = "within", .bounds = {}, .outcome = ParseOutcome::Whole},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Html5Document parsed = ParseHtml5(page, c.bounds);
        EXPECT_EQ(parsed.outcome, c.outcome);
        EXPECT_EQ(parsed.doc != nullptr, c.outcome == ParseOutcome::Whole);
    }
}

}  // namespace
}  // namespace search
