#include "search/profiles/profile_catalog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include "search/profiles/profile_file.h"
#include "util/config_folder.h"
#include "util/file_descriptor.h"
#include "util/file_io.h"

namespace search {
namespace {

// The whole of a profile file, or nothing when there is none. A FIFO or a
// device in its place is refused without being opened for long: opening
// does not wait for a writer, and nothing is read from anything but a
// regular file.
std::optional<std::string> ReadProfileFile(const std::string& path) {
    const util::FileDescriptor fd(
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        throw ProfileFileError(path + ": cannot open: " + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        throw ProfileFileError(path + ": cannot read: " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw ProfileFileError(path + ": not a regular file");
    }
    const std::string tooLarge =
        path + ": larger than " + std::to_string(kMaxProfileFileBytes / 1024) + " KiB";
    if (static_cast<std::uint64_t>(info.st_size) > kMaxProfileFileBytes) {
        throw ProfileFileError(tooLarge);
    }
    // The file may grow while it is read: one byte past the limit tells.
    std::string text;
    if (!util::ReadUpTo(fd.get(), kMaxProfileFileBytes + 1, text)) {
        throw ProfileFileError(path + ": cannot read: " + std::strerror(errno));
    }
    if (text.size() > kMaxProfileFileBytes) {
        throw ProfileFileError(tooLarge);
    }
    return text;
}

void Overlay(std::vector<ProfileDefinition>& into, std::vector<ProfileDefinition> from) {
    for (ProfileDefinition& profile : from) {
        const auto same = std::find_if(into.begin(), into.end(), [&](const ProfileDefinition& p) {
            return p.name == profile.name;
        });
        if (same != into.end()) {
            *same = std::move(profile);
        } else {
            into.push_back(std::move(profile));
        }
    }
}

}  // namespace

std::string UserProfilesPath() {
    const std::string folder = util::UserConfigFolder();
    return folder.empty() ? folder : folder + "engines.json";
}

ProfileCatalog LoadProfileCatalog(const std::string& programFolder, const std::string& userFile) {
    ProfileCatalog catalog;
    try {
        catalog.profiles = ParseProfiles(BuiltInProfilesText(), "built-in");
    } catch (const ProfileFileError& e) {
        catalog.errors.push_back(e.what());
    }
    std::vector<std::string> files = {programFolder + "engines.json"};
    if (!userFile.empty()) {
        files.push_back(userFile);
    }
    for (const std::string& path : files) {
        try {
            if (const std::optional<std::string> text = ReadProfileFile(path)) {
                Overlay(catalog.profiles, ParseProfiles(*text, path));
            }
        } catch (const ProfileFileError& e) {
            catalog.errors.push_back(e.what());
        }
    }
    return catalog;
}

}  // namespace search
