#include "search/profile_extract.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xpathInternals.h>

#include <cstring>
#include <stdexcept>

#include "search/text_normalise.h"
#include "search/xpath_check.h"
#include "util/ascii.h"

namespace search {
namespace {

struct FreeDocument {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
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

// Appends at most what keeps text within kMaxHitTextBytes.
void AppendBounded(std::string& text, std::string_view more) {
    if (text.size() < kMaxHitTextBytes) {
        text.append(more.substr(0, kMaxHitTextBytes - text.size()));
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
    while (node != nullptr && text.size() < kMaxHitTextBytes) {
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

// Takes off a character that the bound cut in two, so that a cut text is
// still UTF-8.
void DropCutCharacter(std::string& text) {
    std::size_t start = text.size();
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
        --start;
    }
    if (start == 0) {
        return;
    }
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (text.size() - (start - 1) < length) {
        text.resize(start - 1);
    }
}

// The text of an evaluated expression: every selected node's shown text in
// order, or a string, number or boolean result as XPath makes it a string.
std::string TextOf(xmlXPathObject* result, bool firstNodeOnly) {
    std::string text;
    if (result == nullptr) {
        return text;
    }
    if (result->type == XPATH_NODESET) {
        const xmlNodeSet* nodes = result->nodesetval;
        const int count = nodes == nullptr ? 0 : nodes->nodeNr;
        for (int i = 0; i < count && text.size() < kMaxHitTextBytes; ++i) {
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
    if (text.size() == kMaxHitTextBytes) {
        DropCutCharacter(text);
    }
    return text;
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
      title_(Compile(profile.title, "title")),
      snippet_(Compile(profile.snippet, "snippet")),
      next_(Compile(profile.next, "next")),
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

ProfilePage CompiledProfile::extract(std::string_view utf8Html) const {
    ProfilePage page;
    if (utf8Html.empty()) {
        return page;
    }
    utf8Html = utf8Html.substr(0, kMaxParsedPageBytes);
    InitParserOnce();
    const XmlErrorCapture quiet;
    // UTF-8 whatever the page's <meta> says: the fetcher has converted it.
    // White space between elements is kept: libxml2's idea of which of it is
    // blank comes from HTML 4, and would join "<time>1 May</time> <span>"
    // into one word.
    const std::unique_ptr<xmlDoc, FreeDocument> doc(
        htmlReadMemory(utf8Html.data(), static_cast<int>(utf8Html.size()), nullptr, "UTF-8",
                       HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                           HTML_PARSE_NONET | HTML_PARSE_COMPACT));
    if (doc == nullptr) {
        return page;
    }
    const std::unique_ptr<xmlXPathContext, FreeContext> context(xmlXPathNewContext(doc.get()));
    if (context == nullptr) {
        return page;
    }
    const auto evaluate = [&context](const Expression& expression, xmlNode* at) {
        context->node = at;
        return Object(expression == nullptr
                          ? nullptr
                          : xmlXPathCompiledEval(expression.get(), context.get()));
    };
    xmlNode* root = reinterpret_cast<xmlNode*>(doc.get());

    for (const auto& [reason, mark] : blockMarks_) {
        if (Selects(evaluate(mark, root).get())) {
            page.blockedReason = reason;
            return page;
        }
    }

    const Object hits = evaluate(hits_, root);
    const xmlNodeSet* nodes =
        hits != nullptr && hits->type == XPATH_NODESET ? hits->nodesetval : nullptr;
    const int count = nodes == nullptr ? 0 : nodes->nodeNr;
    for (int i = 0; i < count && page.hits.size() < kMaxHitsPerPage; ++i) {
        xmlNode* hit = nodes->nodeTab[i];
        ProfileHit row;
        row.rawLink = std::string(util::Trim(TextOf(evaluate(link_, hit).get(), true), " \t\r\n"));
        row.title = NormaliseText(TextOf(evaluate(title_, hit).get(), false));
        if (row.rawLink.empty() || row.title.empty()) {
            continue;
        }
        row.snippet = NormaliseText(TextOf(evaluate(snippet_, hit).get(), false));
        row.url = UnwrapLink(row.rawLink, unwrap_);
        page.hits.push_back(std::move(row));
    }

    const Object next = evaluate(next_, root);
    page.hasNext = Selects(next.get());
    page.nextHref = TextOf(next.get(), true);
    return page;
}

}  // namespace search
