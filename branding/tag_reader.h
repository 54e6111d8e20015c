// The one forward cursor that reads a brand's tags, shared by the reader of
// the settings text and by the check that tells a brander what it skips.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "util/take_between.h"

namespace branding {

// Where one read found its tag: npos when the start marker was not found
// from the cursor on; closed is false for a start marker without its end.
struct TagFound {
    std::size_t start = std::string_view::npos;
    bool closed = false;
    std::string value;
};

// The cursor only moves forward: a tag written before the place of an
// earlier one is not seen, and a start marker without its end marker leaves
// the cursor right after it.
class TagReader {
public:
    explicit TagReader(std::string_view text) : text_(text) {}

    TagFound Find(const std::string& tag) {
        TagFound found;
        const std::string start = StartMarker(tag);
        found.start = util::FindNoCase(text_, start, cursor_);
        if (found.start == std::string_view::npos) {
            return found;
        }
        cursor_ = found.start + start.size();
        const std::size_t end = util::FindNoCase(text_, EndMarker(tag), cursor_);
        if (end == std::string_view::npos) {
            return found;
        }
        found.closed = true;
        found.value = std::string(text_.substr(cursor_, end - cursor_));
        cursor_ = end;
        return found;
    }

    std::string Read(const std::string& tag) { return Find(tag).value; }

    static std::string StartMarker(const std::string& tag) { return "<%%" + tag + "%%>"; }
    static std::string EndMarker(const std::string& tag) { return "<%%/" + tag + "%%>"; }

private:
    std::string_view text_;
    std::size_t cursor_ = 0;
};

}  // namespace branding
