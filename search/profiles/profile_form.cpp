#include "search/profiles/profile_form.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "search/profiles/text_normalise.h"
#include "search/text_rules.h"
#include "util/ascii.h"

namespace search {
namespace {

// HTML's ASCII whitespace, stripped from attribute values that are URLs or
// keywords.
constexpr std::string_view kBlanks = " \t\r\n\f";

std::string_view Chars(const xmlChar* text) {
    return text == nullptr ? std::string_view() : reinterpret_cast<const char*>(text);
}

bool IsElement(const xmlNode* node, std::string_view name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns == nullptr &&
           util::EqualsNoCase(Chars(node->name), name);
}

// The attribute's value, or nothing when the element has no such attribute.
std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
    for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
        if (util::EqualsNoCase(Chars(attr->name), name)) {
            std::string value;
            for (const xmlNode* child = attr->children; child != nullptr; child = child->next) {
                value += Chars(child->content);
            }
            return value;
        }
    }
    return std::nullopt;
}

bool HasAttribute(const xmlNode* node, const char* name) {
    return Attribute(node, name).has_value();
}

// The text of an element's subtree (an <option>'s label, a <textarea>'s
// value), walked without recursion.
std::string TextContent(const xmlNode* top) {
    std::string text;
    const xmlNode* node = top->children;
    while (node != nullptr) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            text += Chars(node->content);
        }
        if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node->next == nullptr) {
            node = node->parent == top ? nullptr : node->parent;
        }
        node = node == nullptr ? nullptr : node->next;
    }
    return text;
}

// Browsers send every line break of a name or value as CR LF.
std::string CrLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

// An <option>'s value: its value attribute, else its text with the blanks
// collapsed.
std::string OptionValue(const xmlNode* option) {
    if (auto value = Attribute(option, "value")) {
        return *value;
    }
    std::string collapsed;
    for (const char c : TextContent(option)) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
        if (!blank) {
            collapsed += c;
        } else if (!collapsed.empty() && collapsed.back() != ' ') {
            collapsed += ' ';
        }
    }
    if (!collapsed.empty() && collapsed.back() == ' ') {
        collapsed.pop_back();
    }
    return collapsed;
}

// Whether a disabled <fieldset> between the control and the form disables
// it: every control in it but those in its first <legend>.
bool InDisabledFieldset(const xmlNode* control, const xmlNode* form) {
    const xmlNode* child = control;
    for (const xmlNode* node = control->parent; node != nullptr && node != form;
         child = node, node = node->parent) {
        if (!IsElement(node, "fieldset") || !HasAttribute(node, "disabled")) {
            continue;
        }
        const xmlNode* firstLegend = node->children;
        while (firstLegend != nullptr && !IsElement(firstLegend, "legend")) {
            firstLegend = firstLegend->next;
        }
        if (child != firstLegend) {
            return true;
        }
    }
    return false;
}

// The options of a <select>, in tree order (directly or in an <optgroup>),
// with whether each is disabled (itself or through its group).
std::vector<std::pair<const xmlNode*, bool>> OptionsOf(const xmlNode* select) {
    std::vector<std::pair<const xmlNode*, bool>> options;
    for (const xmlNode* child = select->children; child != nullptr; child = child->next) {
        if (IsElement(child, "option")) {
            options.emplace_back(child, HasAttribute(child, "disabled"));
        } else if (IsElement(child, "optgroup")) {
            const bool groupDisabled = HasAttribute(child, "disabled");
            for (const xmlNode* option = child->children; option != nullptr;
                 option = option->next) {
                if (IsElement(option, "option")) {
                    options.emplace_back(option, groupDisabled || HasAttribute(option, "disabled"));
                }
            }
        }
    }
    return options;
}

class EntryList {
public:
    // False once the form is over kMaxFormControls.
    bool add(std::string_view name, std::string_view value) {
        if (++entries_ > kMaxFormControls) {
            return false;
        }
        if (!body_.empty()) {
            body_ += '&';
        }
        body_ += HtmlFormText(ValidUtf8(CrLf(name)));
        body_ += '=';
        body_ += HtmlFormText(ValidUtf8(CrLf(value)));
        return true;
    }
    std::string& body() { return body_; }

private:
    std::size_t entries_ = 0;
    std::string body_;
};

// The entries of one control; false when the list is over its bound.
bool AddControl(const xmlNode* control, const xmlNode* form, EntryList& entries) {
    const bool input = IsElement(control, "input");
    const bool select = IsElement(control, "select");
    const bool textarea = IsElement(control, "textarea");
    if (!input && !select && !textarea) {
        return true;
    }
    const std::optional<std::string> name = Attribute(control, "name");
    if (!name || name->empty() || HasAttribute(control, "disabled") ||
        InDisabledFieldset(control, form)) {
        return true;
    }
    if (textarea) {
        return entries.add(*name, TextContent(control));
    }
    if (select) {
        const auto options = OptionsOf(control);
        const bool multiple = HasAttribute(control, "multiple");
        const xmlNode* single = nullptr;
        for (const auto& [option, disabled] : options) {
            if (!HasAttribute(option, "selected")) {
                continue;
            }
            // A single-choice select shows the last option marked selected.
            if (!multiple) {
                single = option;
            } else if (!disabled && !entries.add(*name, OptionValue(option))) {
                return false;
            }
        }
        if (multiple) {
            return true;
        }
        if (single == nullptr) {
            for (const auto& [option, disabled] : options) {
                if (!disabled) {
                    single = option;
                    break;
                }
            }
        }
        const bool singleDisabled =
            single != nullptr && std::any_of(options.begin(), options.end(), [single](auto& o) {
                return o.first == single && o.second;
            });
        return single == nullptr || singleDisabled || entries.add(*name, OptionValue(single));
    }
    const std::string typeText = Attribute(control, "type").value_or("text");
    std::string type(util::Trim(typeText, kBlanks));
    for (char& c : type) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (type == "submit" || type == "image" || type == "button" || type == "reset" ||
        type == "file") {
        return true;
    }
    if (type == "checkbox" || type == "radio") {
        if (!HasAttribute(control, "checked")) {
            return true;
        }
        return entries.add(*name, Attribute(control, "value").value_or("on"));
    }
    if (type == "hidden" && *name == "_charset_") {
        return entries.add(*name, "UTF-8");
    }
    return entries.add(*name, Attribute(control, "value").value_or(""));
}

}  // namespace

std::optional<ProfileForm> ReadForm(const xmlNode* selected) {
    const xmlNode* form = selected;
    while (form != nullptr && !IsElement(form, "form")) {
        form = form->parent;
    }
    if (form == nullptr) {
        return std::nullopt;
    }
    ProfileForm read;
    const std::string action = Attribute(form, "action").value_or("");
    const std::string method = Attribute(form, "method").value_or("");
    read.action = std::string(util::Trim(action, kBlanks));
    read.post = util::EqualsNoCase(util::Trim(method, kBlanks), "post");
    EntryList entries;
    const xmlNode* node = form->children;
    while (node != nullptr) {
        if (!AddControl(node, form, entries)) {
            read.fault =
                "the next-page form has more than " + std::to_string(kMaxFormControls) + " fields";
            return read;
        }
        if (entries.body().size() > kMaxFormBodyBytes) {
            read.fault = "the next-page form's fields are longer than " +
                         std::to_string(kMaxFormBodyBytes / 1024) + " KiB";
            return read;
        }
        // A select's options and a textarea's text are no controls of their
        // own; everything else is walked in tree order.
        const bool leaf = IsElement(node, "select") || IsElement(node, "textarea");
        if (node->type == XML_ELEMENT_NODE && node->children != nullptr && !leaf) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node->next == nullptr) {
            node = node->parent == form ? nullptr : node->parent;
        }
        node = node == nullptr ? nullptr : node->next;
    }
    read.body = std::move(entries.body());
    return read;
}

}  // namespace search
