// Whether an XPath expression from a profile file can be used at all, told
// when the file is read rather than at the first page of a search; and the
// guard that keeps libxml2's complaints off standard error.
#pragma once

#include <libxml/xmlerror.h>

#include <string>

namespace search {

// While alive, libxml2's errors on this thread go here instead of standard
// error, and the first one's text is kept (after the first error libxml2 may
// add follow-on ones that say less); its generic messages (an evaluation cut
// short at the step budget leaves a few) go nowhere. The handlers before it
// come back after.
class XmlErrorCapture {
public:
    XmlErrorCapture();
    ~XmlErrorCapture();
    XmlErrorCapture(const XmlErrorCapture&) = delete;
    XmlErrorCapture& operator=(const XmlErrorCapture&) = delete;

    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
    xmlStructuredErrorFunc previousHandler_;
    void* previousData_;
    xmlGenericErrorFunc previousGeneric_;
    void* previousGenericData_;
};

// "" when libxml2 compiles expr as XPath 1.0, else libxml2's reason
// ("Invalid expression", "Unfinished literal", ...). Prints nothing. Names of
// functions and namespace prefixes are only resolved when an expression is
// evaluated, so an unknown one passes here.
std::string XPathCompileError(const std::string& expr);

}  // namespace search
