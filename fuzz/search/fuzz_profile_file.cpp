// A user's engines.json: refused with a message or read into profiles that
// compile, never a crash or a parser that runs for minutes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "search/profiles/profile_extract.h"
#include "search/profiles/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        for (const search::ProfileDefinition& definition :
             search::ParseProfiles(text, "engines.json")) {
            // What the file's reader accepts, a search can run.
            const search::CompiledProfile compiled(definition);
            compiled.extract("<html><body><a href=\"x\">y</a></body></html>");
        }
    } catch (const search::ProfileFileError&) {
        // A refused file is the expected outcome for most inputs.
    }
    return 0;
}
