// The JSON layer under the profile file reader: the parse, with the checks
// JSON itself does not make (a key given twice, keys per object, nesting),
// and file texts quoted safely into messages.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace search::profile_json {

// Ordered: the headers are sent in the order the file gives them.
using Json = nlohmann::ordered_json;

// A fault in a document that is JSON: the index of its profile when it lies
// in one of {"profiles": [...]}, and the text that names its key inside the
// profile (or the document).
struct StructureFault {
    std::optional<std::size_t> profileIndex;
    std::string text;
};

// The document of jsonText. Throws ProfileFileError, "origin: line L, column
// C: reason", for text that is not JSON. The first repeated key, object with
// more than kMaxKeysPerObject keys or nesting deeper than 32 levels goes into
// fault, and the document is then only what was read before it.
Json Parse(std::string_view jsonText, const std::string& origin,
           std::optional<StructureFault>& fault);

// text in double quotes for a message, control bytes as "?", cut after 60
// bytes with "...".
std::string Quoted(std::string_view text);

}  // namespace search::profile_json
