// Result pages parsed as a browser parses them (HTML5 tree construction, by
// gumbo), handed to XPath as a libxml2 document: so an unclosed <font>, a NUL
// byte or deep nesting cost no hit, and a profile's expression selects what
// the browser's inspector shows.
#pragma once

#include <libxml/tree.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

namespace search {

// Elements nested deeper than this are not followed. Real result pages nest
// a few dozen levels; browsers themselves flatten past 512. Below it every
// walk of the tree stays cheap.
inline constexpr std::size_t kMaxTreeDepth = 4096;
// The parser's memory for one page. A real result page takes a few MB; this
// leaves room for the largest page the fetcher keeps (16 MiB) written as
// plain markup, but not for markup made to multiply its elements.
inline constexpr std::size_t kMaxParseMemoryBytes = 256 * 1024 * 1024;
// Wall time for parsing one page. A real page parses in milliseconds; markup
// nested tens of thousands deep makes every further tag walk the whole stack.
inline constexpr std::chrono::milliseconds kParseTimeBudget{5000};

struct ParseBounds {
    std::size_t memoryBytes = kMaxParseMemoryBytes;
    std::chrono::milliseconds time = kParseTimeBudget;
    // Set from another thread: the parse gives up at its next step.
    const std::atomic<bool>* cancel = nullptr;
};

enum class ParseOutcome {
    Whole,      // the document holds the whole page
    TooDeep,    // elements nested past kMaxTreeDepth
    TooLarge,   // the parser's memory bound was reached
    TooSlow,    // the time bound was reached
    Cancelled,  // ParseBounds::cancel was set
};

struct FreeXmlDocument {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocument = std::unique_ptr<xmlDoc, FreeXmlDocument>;

struct Html5Document {
    ParseOutcome outcome = ParseOutcome::Whole;
    // Only with ParseOutcome::Whole: a page read in part is no page.
    XmlDocument doc;
};

// Parses UTF-8 text (bytes that are not UTF-8 read as U+FFFD) into an HTML
// document: HTML elements in no namespace, so that "//div" finds them; SVG and
// MathML elements in their own; attributes, text and comments as the tree
// builder made them; a template's content as its children.
Html5Document ParseHtml5(std::string_view utf8, const ParseBounds& bounds = {});

}  // namespace search
