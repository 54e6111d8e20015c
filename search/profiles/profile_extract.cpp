#include "search/profiles/profile_extract.h"

#include <libxml/parser.h>
#include <libxml/xpathInternals.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "search/profiles/profile_form.h"
#include "search/profiles/text_normalise.h"
#include "search/profiles/xpath_check.h"
#include "search/search_texts.h"
#include "util/ascii.h"

namespace search {
namespace {

struct FreeContext {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct FreeObject {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
using Object = std::unique_ptr<xmlXPathObject, FreeObject>;

std::string_view Chars(const xmlChar* text) {
    return text == nullptr ? std::string_view() : reinterpret_cast<const char*>(text);
}

// libxml2 sets up its tables on first use, but not safely from two threads at
// once.
void InitParserOnce() {
    [[maybe_unused]] static const bool done = [] {
        xmlInitParser();
        return true;
    }();
}

bool IsElement(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           util::EqualsNoCase(Chars(node->name), std::string_view(name));
}

// Appends at most what takes text one byte past kMaxHitTextBytes: enough to
// tell that it is too long.
void AppendBounded(std::string& text, std::string_view more) {
    if (text.size() <= kMaxHitTextBytes) {
        text.append(more.substr(0, kMaxHitTextBytes + 1 - text.size()));
    }
}

// The text a person sees in a node: its text nodes in document order, a line
// break read as a space, scripts and styles left out. Walked without
// recursion: a hostile page may nest as deep as the parser lets it.
void AppendShownText(const xmlNode* top, std::string& text) {
    if (top->type == XML_TEXT_NODE || top->type == XML_CDATA_SECTION_NODE) {
        AppendBounded(text, Chars(top->content));
        return;
    }
    if (top->type == XML_ATTRIBUTE_NODE) {
        for (const xmlNode* child = top->children; child != nullptr; child = child->next) {
            AppendBounded(text, Chars(child->content));
        }
        return;
    }
    if (top->type != XML_ELEMENT_NODE) {
        return;
    }
    const xmlNode* node = top;
    while (node != nullptr && text.size() <= kMaxHitTextBytes) {
        bool descend = false;
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            AppendBounded(text, Chars(node->content));
        } else if (IsElement(node, "br")) {
            AppendBounded(text, " ");
        } else if (node->type == XML_ELEMENT_NODE && !IsElement(node, "script") &&
                   !IsElement(node, "style") && !IsElement(node, "noscript") &&
                   !IsElement(node, "template")) {
            descend = node->children != nullptr;
        }
        if (descend) {
            node = node->children;
            continue;
        }
        // On to the next node in document order, not leaving the top one.
        while (node != top && node->next == nullptr) {
            node = node->parent;
        }
        node = node == top ? nullptr : node->next;
    }
}

// The text of an evaluated expression: every selected node's shown text in
// order, or a string, number or boolean result as XPath makes it a string.
// Nothing when it is longer than kMaxHitTextBytes.
std::optional<std::string> TextOf(xmlXPathObject* result, bool firstNodeOnly) {
    std::string text;
    if (result == nullptr) {
        return text;
    }
    if (result->type == XPATH_NODESET) {
        const xmlNodeSet* nodes = result->nodesetval;
        const int count = nodes == nullptr ? 0 : nodes->nodeNr;
        for (int i = 0; i < count && text.size() <= kMaxHitTextBytes; ++i) {
            AppendShownText(nodes->nodeTab[i], text);
            if (firstNodeOnly) {
                break;
            }
        }
    } else {
        xmlChar* value = xmlXPathCastToString(result);
        AppendBounded(text, Chars(value));
        xmlFree(value);
    }
    if (text.size() > kMaxHitTextBytes) {
        return std::nullopt;
    }
    return text;
}

// Why a page the parser did not read whole failed.
std::string UnreadReason(ParseOutcome outcome, const ParseBounds& bounds) {
    switch (outcome) {
        case ParseOutcome::TooDeep:
            return texts::PageNotReadWhole("elements nested more than " +
                                           std::to_string(kMaxTreeDepth) + " deep");
        case ParseOutcome::TooLarge:
            return texts::PageNotReadWhole(
                "the parser needed more than " +
                (bounds.memoryBytes % (1024 * 1024) == 0
                     ? std::to_string(bounds.memoryBytes / (1024 * 1024)) + " MiB"
                     : std::to_string(bounds.memoryBytes / 1024) + " KiB"));
        case ParseOutcome::TooSlow:
            return texts::PageNotReadWhole(
                "parsing took longer than " +
                std::to_string(std::chrono::ceil<std::chrono::seconds>(bounds.time).count()) +
                " s");
        case ParseOutcome::Cancelled:
        case ParseOutcome::Whole:
            break;
    }
    return texts::PageNotReadWhole("stopped");
}

// Whether a result selects anything: a node, a true boolean, a non-empty string.
bool Selects(xmlXPathObject* result) {
    return result != nullptr && xmlXPathCastToBoolean(result) != 0;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string UnwrapLink(std::string_view href, const LinkUnwrap& unwrap) {
    if (unwrap.param.empty()) {
        return std::string(href);
    }
    const std::string key = unwrap.param + "=";
    for (std::size_t at = href.find(key); at != std::string_view::npos;
         at = href.find(key, at + 1)) {
        if (at == 0 || std::strchr("?&;/", href[at - 1]) == nullptr) {
            continue;
        }
        std::string_view value = href.substr(at + key.size());
        value = value.substr(0, value.find_first_of(unwrap.until));
        const bool query = unwrap.until.find('&') != std::string::npos;
        std::string decoded;
        decoded.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            const int high = value[i] == '%' && i + 2 < value.size() ? HexDigit(value[i + 1]) : -1;
            const int low = high >= 0 ? HexDigit(value[i + 2]) : -1;
            if (high >= 0 && low >= 0) {
                decoded.push_back(static_cast<char>(high * 16 + low));
                i += 2;
            } else if (query && value[i] == '+') {
                decoded.push_back(' ');
            } else {
                decoded.push_back(value[i]);
            }
        }
        if (!decoded.empty()) {
            return decoded;
        }
    }
    return std::string(href);
}

CompiledProfile::Expression CompiledProfile::Compile(const std::string& xpath,
                                                     const std::string& key) {
    if (xpath.empty()) {
        return nullptr;
    }
    const std::string reason = XPathCompileError(xpath);
    if (!reason.empty()) {
        throw std::runtime_error("key \"" + key + "\": not valid XPath: " + reason);
    }
    InitParserOnce();
    // Compiled inside a context, where libxml2 bounds its recursion.
    const std::unique_ptr<xmlXPathContext, FreeContext> context(xmlXPathNewContext(nullptr));
    const XmlErrorCapture quiet;
    Expression compiled(
        xmlXPathCtxtCompile(context.get(), reinterpret_cast<const xmlChar*>(xpath.c_str())));
    if (compiled == nullptr) {
        throw std::runtime_error("key \"" + key + "\": not valid XPath");
    }
    return compiled;
}

CompiledProfile::CompiledProfile(const ProfileDefinition& profile)
    : hits_(Compile(profile.hits, "hits")),
      link_(Compile(profile.link, "link")),
      destination_(Compile(profile.destination, "destination")),
      title_(Compile(profile.title, "title")),
      snippet_(Compile(profile.snippet, "snippet")),
      next_(Compile(profile.next, "next")),
      displayUrl_(Compile(profile.displayUrl, "displayUrl")),
      nextForm_(Compile(profile.nextForm, "nextForm")),
      unwrap_(profile.unwrap) {
    for (std::size_t i = 0; i < profile.blockedPages.size(); ++i) {
        blockMarks_.emplace_back(profile.blockedPages[i].reason,
                                 Compile(profile.blockedPages[i].xpath,
                                         "blockedPages[" + std::to_string(i) + "].xpath"));
    }
    if (hits_ == nullptr || link_ == nullptr || title_ == nullptr) {
        throw std::runtime_error("keys \"hits\", \"link\" and \"title\" are required");
    }
}

ProfilePage CompiledProfile::extract(std::string_view utf8Html, const ExtractBounds& bounds) const {
    ProfilePage page;
    if (utf8Html.empty()) {
        return page;
    }
    utf8Html = utf8Html.substr(0, kMaxParsedPageBytes);
    InitParserOnce();
    const XmlErrorCapture quiet;
    // UTF-8 whatever the page's <meta> says: the fetcher has converted it.
    const Html5Document parsed = ParseHtml5(utf8Html, bounds.parse);
    if (parsed.doc == nullptr) {
        page.unreadReason = UnreadReason(parsed.outcome, bounds.parse);
        return page;
    }
    const std::unique_ptr<xmlXPathContext, FreeContext> context(
        xmlXPathNewContext(parsed.doc.get()));
    if (context == nullptr) {
        page.unreadReason = texts::PageNotReadWhole("out of memory");
        return page;
    }
    // One budget for every expression on the page: libxml2 adds each
    // evaluation's steps to the same count.
    context->opLimit = bounds.xpathOps;
    const std::atomic<bool>* cancel = bounds.parse.cancel;
    const auto outrun = [&context, &page, cancel] {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            page.unreadReason = texts::PageNotReadWhole("stopped");
            return true;
        }
        if (context->opLimit != 0 && context->opCount >= context->opLimit) {
            page.unreadReason =
                texts::PageNotReadWhole("the profile's XPath expressions took more than " +
                                        std::to_string(context->opLimit) + " steps");
            return true;
        }
        return false;
    };
    const auto evaluate = [&context](const Expression& expression, xmlNode* at) {
        context->node = at;
        return Object(expression == nullptr
                          ? nullptr
                          : xmlXPathCompiledEval(expression.get(), context.get()));
    };
    const auto failed = [&page] {
        page.hits.clear();
        page.hasNext = false;
        page.nextHref.clear();
        page.nextForm.reset();
        page.blockedReason.clear();
        return page;
    };
    xmlNode* root = reinterpret_cast<xmlNode*>(parsed.doc.get());

    for (const auto& [reason, mark] : blockMarks_) {
        const bool selects = Selects(evaluate(mark, root).get());
        if (outrun()) {
            return failed();
        }
        if (selects) {
            page.blockedReason = reason;
            return page;
        }
    }

    const Object hits = evaluate(hits_, root);
    if (outrun()) {
        return failed();
    }
    const xmlNodeSet* nodes =
        hits != nullptr && hits->type == XPATH_NODESET ? hits->nodesetval : nullptr;
    const int count = nodes == nullptr ? 0 : nodes->nodeNr;
    for (int i = 0; i < count; ++i) {
        if (page.hits.size() == kMaxHitsPerPage) {
            page.hitCapReached = true;
            break;
        }
        xmlNode* hit = nodes->nodeTab[i];
        const std::optional<std::string> link = TextOf(evaluate(link_, hit).get(), true);
        const std::optional<std::string> destination =
            TextOf(evaluate(destination_, hit).get(), true);
        const std::optional<std::string> title = TextOf(evaluate(title_, hit).get(), false);
        if (outrun()) {
            return failed();
        }
        if (!link || !destination || !title) {
            ++page.oversizedHits;
            continue;
        }
        ProfileHit row;
        row.rawLink = ValidUtf8(util::Trim(*link, " \t\r\n"));
        row.title = NormaliseText(ValidUtf8(*title));
        if (row.rawLink.empty() || row.title.empty()) {
            continue;
        }
        const std::optional<std::string> snippet = TextOf(evaluate(snippet_, hit).get(), false);
        if (outrun()) {
            return failed();
        }
        if (!snippet) {
            ++page.oversizedHits;
            continue;
        }
        row.snippet = NormaliseText(ValidUtf8(*snippet));
        const std::optional<std::string> displayUrl =
            TextOf(evaluate(displayUrl_, hit).get(), false);
        if (outrun()) {
            return failed();
        }
        if (!displayUrl) {
            ++page.oversizedHits;
            continue;
        }
        row.displayUrl = NormaliseText(ValidUtf8(*displayUrl));
        const std::string_view held = util::Trim(*destination, " \t\r\n");
        row.url = ValidUtf8(held.empty() ? UnwrapLink(row.rawLink, unwrap_) : std::string(held));
        page.hits.push_back(std::move(row));
    }

    const Object next = evaluate(next_, root);
    if (outrun()) {
        return failed();
    }
    page.hasNext = Selects(next.get());
    page.nextHref = TextOf(next.get(), true).value_or(std::string());
    if (nextForm_ != nullptr) {
        const Object form = evaluate(nextForm_, root);
        if (outrun()) {
            return failed();
        }
        const xmlNodeSet* selected =
            form != nullptr && form->type == XPATH_NODESET ? form->nodesetval : nullptr;
        if (selected != nullptr && selected->nodeNr > 0) {
            page.nextForm = ReadForm(selected->nodeTab[0]);
        }
        page.hasNext = page.nextForm.has_value() && page.nextForm->fault.empty();
    }
    return page;
}

}  // namespace search
