// Any bytes through the browser-style parser and its conversion: no crash,
// no hang; a document only when the page was read whole, and in it no node
// deeper than the bound, every name and text UTF-8.
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "search/profiles/html5_document.h"
#include "search/profiles/text_normalise.h"

namespace {

bool IsUtf8(const xmlChar* text) {
    if (text == nullptr) {
        return true;
    }
    const std::string_view view(reinterpret_cast<const char*>(text));
    return search::ValidUtf8(view) == view;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const search::Html5Document parsed = search::ParseHtml5(page);
    if ((parsed.doc != nullptr) != (parsed.outcome == search::ParseOutcome::Whole)) {
        __builtin_trap();
    }
    if (parsed.doc == nullptr) {
        return 0;
    }
    // Walked without recursion, as everything that reads the tree must.
    const xmlNode* top = reinterpret_cast<const xmlNode*>(parsed.doc.get());
    const xmlNode* node = top->children;
    std::size_t depth = 1;
    while (node != nullptr) {
        if (depth > search::kMaxTreeDepth + 1 || !IsUtf8(node->name) ||
            (node->type != XML_ELEMENT_NODE && !IsUtf8(node->content))) {
            __builtin_trap();
        }
        if (node->type == XML_ELEMENT_NODE) {
            for (const xmlAttr* attribute = node->properties; attribute != nullptr;
                 attribute = attribute->next) {
                if (!IsUtf8(attribute->name) || attribute->children == nullptr ||
                    !IsUtf8(attribute->children->content)) {
                    __builtin_trap();
                }
            }
        }
        if (node->children != nullptr && node->type == XML_ELEMENT_NODE) {
            node = node->children;
            ++depth;
            continue;
        }
        while (node != nullptr && node->next == nullptr) {
            node = node->parent;
            --depth;
            if (node == top) {
                node = nullptr;
            }
        }
        if (node != nullptr) {
            node = node->next;
        }
    }
    return 0;
}
