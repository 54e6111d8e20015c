# Writes OUTPUT, a C++ file whose BuiltInProfilesText() gives the bytes of
# INPUT (the shipped engines.json) exactly. Hex rather than a raw string
# literal: no text in the file can end the literal early, and no byte is
# read through the compiler's idea of the source character set.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
       "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Made by search/embed_profiles.cmake from search/profiles/engines.json.
#include \"search/profiles/profile_file.h\"

namespace search {
namespace {

// The trailing 0 keeps the array valid for an empty file; it is not part of the text.
const unsigned char kBuiltInProfiles[] = {
${bytes}0};

}  // namespace

std::string_view BuiltInProfilesText() {
    return {reinterpret_cast<const char*>(kBuiltInProfiles), sizeof kBuiltInProfiles - 1};
}

}  // namespace search
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
