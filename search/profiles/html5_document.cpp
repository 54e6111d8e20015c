#include "search/profiles/html5_document.h"

#include <gumbo.h>
#include <libxml/HTMLtree.h>
#include <libxml/parser.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace search {
namespace {

constexpr const char* kSvgNamespace = "http://www.w3.org/2000/svg";
constexpr const char* kMathMlNamespace = "http://www.w3.org/1998/Math/MathML";

// Gumbo takes a block every few dozen bytes of markup, so a parse running
// late goes on for a few microseconds at most before this many blocks.
constexpr std::size_t kAllocationsPerClockRead = 64;
// Long text grows one buffer by doubling it, a few blocks over megabytes: a
// block this large reads the clock whatever the count.
constexpr std::size_t kAlwaysTimedBlockBytes = 4096;

// Every block gumbo takes comes from here, so that the parse can be given
// up at any allocation (gumbo has no way to stop it, and none to bound its
// memory) and its tree freed without walking it: gumbo frees a tree by
// recursion, which a deep enough page would overflow.
class ParseArena {
public:
    explicit ParseArena(const ParseBounds& bounds)
        : bounds_(bounds), deadline_(std::chrono::steady_clock::now() + bounds.time) {}
    ~ParseArena() {
        while (head_ != nullptr) {
            Block* next = head_->next;
            std::free(head_);
            head_ = next;
        }
    }
    ParseArena(const ParseArena&) = delete;
    ParseArena& operator=(const ParseArena&) = delete;

    static void* Allocate(void* arena, std::size_t size) {
        return static_cast<ParseArena*>(arena)->allocate(size);
    }
    static void Free(void* arena, void* pointer) {
        static_cast<ParseArena*>(arena)->release(pointer);
    }

    // Runs the parse; nullptr when a bound ended it, outcome() says which.
    GumboOutput* parse(const GumboOptions& options, std::string_view text) {
        // Nothing between here and the allocator that jumps back has a
        // destructor to skip: gumbo's frames are C, allocate() holds none.
        if (setjmp(giveUp_) != 0) {
            return nullptr;
        }
        return gumbo_parse_with_options(&options, text.data(), text.size());
    }

    ParseOutcome outcome() const { return outcome_; }

private:
    // Aligned for anything gumbo stores in a block.
    struct alignas(std::max_align_t) Block {
        Block* previous;
        Block* next;
        std::size_t size;
    };

    void* allocate(std::size_t size) {
        if (bounds_.cancel != nullptr && bounds_.cancel->load(std::memory_order_relaxed)) {
            stop(ParseOutcome::Cancelled);
        }
        // Read on every block, the clock took a twentieth of the parse.
        const bool readClock =
            allocations_++ % kAllocationsPerClockRead == 0 || size >= kAlwaysTimedBlockBytes;
        if (readClock && std::chrono::steady_clock::now() > deadline_) {
            stop(ParseOutcome::TooSlow);
        }
        if (size > bounds_.memoryBytes - used_) {
            stop(ParseOutcome::TooLarge);
        }
        auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
        if (block == nullptr) {
            stop(ParseOutcome::TooLarge);
        }
        block->previous = nullptr;
        block->next = head_;
        block->size = size;
        if (head_ != nullptr) {
            head_->previous = block;
        }
        head_ = block;
        used_ += size;
        return block + 1;
    }

    void release(void* pointer) {
        if (pointer == nullptr) {
            return;
        }
        Block* block = static_cast<Block*>(pointer) - 1;
        (block->previous != nullptr ? block->previous->next : head_) = block->next;
        if (block->next != nullptr) {
            block->next->previous = block->previous;
        }
        used_ -= block->size;
        std::free(block);
    }

    [[noreturn]] void stop(ParseOutcome outcome) {
        outcome_ = outcome;
        std::longjmp(giveUp_, 1);
    }

    const ParseBounds& bounds_;
    const std::chrono::steady_clock::time_point deadline_;
    std::jmp_buf giveUp_;
    Block* head_ = nullptr;
    std::size_t used_ = 0;
    std::size_t allocations_ = 0;
    ParseOutcome outcome_ = ParseOutcome::Whole;
};

const xmlChar* Xml(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

// The element's name as the tree builder sees it: lower case, but for the
// SVG names it spells in mixed case.
std::string ElementName(const GumboElement& element) {
    std::string name;
    if (element.tag != GUMBO_TAG_UNKNOWN) {
        name = gumbo_normalized_tagname(element.tag);
    } else {
        GumboStringPiece original = element.original_tag;
        if (original.data == nullptr || original.length < 2 || original.data[0] != '<') {
            return "unknown";
        }
        gumbo_tag_from_original_text(&original);
        name.assign(original.data, original.length);
        for (char& c : name) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    if (element.tag_namespace == GUMBO_NAMESPACE_SVG) {
        const GumboStringPiece piece{name.data(), name.size()};
        if (const char* svgName = gumbo_normalize_svg_tagname(&piece)) {
            return svgName;
        }
    }
    return name;
}

// Foreign elements share their namespace declaration with a parent of the
// same namespace; the first of them declares it.
void SetNamespace(xmlNode* element, xmlNode* parent, GumboNamespaceEnum space) {
    if (space == GUMBO_NAMESPACE_HTML) {
        return;
    }
    const char* href = space == GUMBO_NAMESPACE_SVG ? kSvgNamespace : kMathMlNamespace;
    if (parent->type == XML_ELEMENT_NODE && parent->ns != nullptr &&
        xmlStrEqual(parent->ns->href, Xml(href))) {
        element->ns = parent->ns;
        return;
    }
    element->ns = xmlNewNs(element, Xml(href), nullptr);
}

xmlNode* NewElement(xmlDoc* doc, xmlNode* parent, const GumboElement& source) {
    xmlNode* element = xmlNewDocNode(doc, nullptr, Xml(ElementName(source).c_str()), nullptr);
    if (element == nullptr) {
        return nullptr;
    }
    SetNamespace(element, parent, source.tag_namespace);
    for (unsigned i = 0; i < source.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(source.attributes.data[i]);
        // xmlNewProp takes the value as text; entities are already decoded.
        xmlNewProp(element, Xml(attribute->name), Xml(attribute->value));
    }
    return xmlAddChild(parent, element);
}

xmlNode* NewLeaf(xmlDoc* doc, const GumboNode& source) {
    const char* text = source.v.text.text;
    switch (source.type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
            return xmlNewDocText(doc, Xml(text));
        case GUMBO_NODE_CDATA:
            return xmlNewCDataBlock(doc, Xml(text), static_cast<int>(std::strlen(text)));
        case GUMBO_NODE_COMMENT:
            return xmlNewDocComment(doc, Xml(text));
        default:
            return nullptr;
    }
}

// Copies gumbo's tree below `from` into the document, without recursion.
// TooDeep when an element lies deeper than kMaxTreeDepth.
ParseOutcome CopyTree(const GumboNode& from, xmlDoc* doc) {
    struct Level {
        const GumboVector* children;
        unsigned next;
        xmlNode* copy;
    };
    std::vector<Level> levels{{&from.v.document.children, 0, reinterpret_cast<xmlNode*>(doc)}};
    ParseOutcome outcome = ParseOutcome::Whole;
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.children->length) {
            levels.pop_back();
            continue;
        }
        const auto& child = *static_cast<const GumboNode*>(level.children->data[level.next++]);
        xmlNode* parent = level.copy;
        if (child.type == GUMBO_NODE_ELEMENT || child.type == GUMBO_NODE_TEMPLATE) {
            xmlNode* element = NewElement(doc, parent, child.v.element);
            if (element == nullptr) {
                return ParseOutcome::TooLarge;
            }
            if (child.v.element.children.length == 0) {
                continue;
            }
            if (levels.size() >= kMaxTreeDepth) {
                outcome = ParseOutcome::TooDeep;
                continue;
            }
            levels.push_back({&child.v.element.children, 0, element});
        } else if (xmlNode* leaf = NewLeaf(doc, child)) {
            // Adjacent text is joined into one node, as a parser makes it.
            xmlAddChild(parent, leaf);
        }
    }
    return outcome;
}

}  // namespace

Html5Document ParseHtml5(std::string_view utf8, const ParseBounds& bounds) {
    Html5Document result;
    ParseArena arena(bounds);
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &ParseArena::Allocate;
    options.deallocator = &ParseArena::Free;
    options.userdata = &arena;
    // Parse errors are of no use here and would only take memory.
    options.max_errors = 0;
    const GumboOutput* output = arena.parse(options, utf8);
    if (output == nullptr) {
        result.outcome = arena.outcome();
        return result;
    }
    xmlInitParser();
    XmlDocument doc(htmlNewDocNoDtD(nullptr, nullptr));
    if (doc == nullptr) {
        result.outcome = ParseOutcome::TooLarge;
        return result;
    }
    // No name dictionary: freeing the document then touches no table of
    // libxml2's, which an extraction abandoned at exit might otherwise race.
    result.outcome = CopyTree(*output->document, doc.get());
    if (result.outcome != ParseOutcome::Whole) {
        return result;
    }
    result.doc = std::move(doc);
    return result;
}

}  // namespace search
