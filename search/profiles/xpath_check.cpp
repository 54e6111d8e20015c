#include "search/profiles/xpath_check.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

#include <memory>

namespace search {
namespace {

struct ContextFree {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct CompiledFree {
    void operator()(xmlXPathCompExpr* compiled) const { xmlXPathFreeCompExpr(compiled); }
};

// Generic in the error's type, which newer libxml2 versions pass as const.
constexpr auto kKeepFirstReason = [](void* userData, auto* error) {
    auto* reason = static_cast<std::string*>(userData);
    if (!reason->empty() || error == nullptr || error->message == nullptr) {
        return;
    }
    *reason = error->message;
    while (!reason->empty() && (reason->back() == '\n' || reason->back() == ' ')) {
        reason->pop_back();
    }
};

void IgnoreGeneric(void*, const char*, ...) {}
constexpr xmlGenericErrorFunc kIgnoreGeneric = IgnoreGeneric;

}  // namespace

XmlErrorCapture::XmlErrorCapture()
    : previousHandler_(xmlStructuredError),
      previousData_(xmlStructuredErrorContext),
      previousGeneric_(xmlGenericError),
      previousGenericData_(xmlGenericErrorContext) {
    xmlSetStructuredErrorFunc(&reason_, kKeepFirstReason);
    xmlSetGenericErrorFunc(nullptr, kIgnoreGeneric);
}

XmlErrorCapture::~XmlErrorCapture() {
    xmlSetStructuredErrorFunc(previousData_, previousHandler_);
    xmlSetGenericErrorFunc(previousGenericData_, previousGeneric_);
}

std::string XPathCompileError(const std::string& expr) {
    // The C interface would silently end the expression at the NUL.
    if (expr.find('\0') != std::string::npos) {
        return "NUL byte in the expression";
    }
    xmlInitParser();
    // Compiling inside a context, not with the context-free xmlXPathCompile:
    // only then does libxml2 bound its recursion, and a file of a million
    // "(" must be refused, not overflow the stack.
    const std::unique_ptr<xmlXPathContext, ContextFree> context(xmlXPathNewContext(nullptr));
    if (context == nullptr) {
        return "out of memory";
    }
    // A context's own error handler would get the error without its text,
    // so the reason is taken from this thread's structured handler.
    const XmlErrorCapture errors;
    const std::unique_ptr<xmlXPathCompExpr, CompiledFree> compiled(
        xmlXPathCtxtCompile(context.get(), reinterpret_cast<const xmlChar*>(expr.c_str())));
    if (compiled != nullptr) {
        return "";
    }
    return errors.reason().empty() ? "Invalid expression" : errors.reason();
}

}  // namespace search
