// Whether an XPath expression from a profile file can be used at all, told
// when the file is read rather than at the first page of a search.
#pragma once

#include <string>

namespace search {

// "" when libxml2 compiles expr as XPath 1.0, else libxml2's reason
// ("Invalid expression", "Unfinished literal", ...). Prints nothing. Names of
// functions and namespace prefixes are only resolved when an expression is
// evaluated, so an unknown one passes here.
std::string XPathCompileError(const std::string& expr);

}  // namespace search
