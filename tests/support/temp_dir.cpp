#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace testsupport {

namespace {

namespace fs = std::filesystem;

fs::path TempRoot() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp != nullptr && *tmp != '\0') ? fs::path(tmp) : fs::path("/tmp");
}

// Gives the owner every right on a folder and the folders inside, so that
// what a test made unwritable or unreadable can still be removed.
void GrantOwner(const fs::path& folder) {
    std::error_code ignored;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            GrantOwner(entry.path());
        }
    }
}

}  // namespace

TempDir::TempDir(std::string_view prefix) {
    std::string pattern = (TempRoot() / prefix).string() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    if (fs::remove_all(path_, error) == static_cast<std::uintmax_t>(-1)) {
        GrantOwner(path_);
        fs::remove_all(path_, error);
    }
}

}  // namespace testsupport
