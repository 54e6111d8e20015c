#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

// A fresh folder of its own under $TMPDIR (or /tmp), made on construction and
// removed with everything in it on destruction, also after a test took away
// its owner's rights on a folder inside.
class TempDir {
public:
    // prefix: the start of the folder's name, so a left-over folder tells
    // which test made it. Throws std::system_error when no folder can be made.
    explicit TempDir(std::string_view prefix = "zorvane");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path ending in "/", the form the program's folders take.
    std::string pathWithSlash() const { return path_.string() + "/"; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

}  // namespace testsupport
