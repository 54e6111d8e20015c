// How every file the harvester exports replaces an older one without ever
// leaving half a file in its place.
#include "search/file_replace.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <stdexcept>

#include "util/file_descriptor.h"
#include "util/file_io.h"
#include "util/scope_guard.h"

namespace search {

namespace {

// Temporary names are drawn at random; a handful of collisions in a row
// means something else is going on in the folder, and the export gives up.
constexpr int kTemporaryNameAttempts = 16;

[[noreturn]] void Fail(const std::string& path, const char* why) {
    throw std::runtime_error("Cannot write the file " + path + ": " + why);
}

std::string RandomSuffix() {
    static std::mutex lock;
    static std::minstd_rand generator{std::random_device{}()};
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::lock_guard<std::mutex> guard(lock);
    std::string suffix(8, 'x');
    for (char& c : suffix) {
        c = kLetters[pick(generator)];
    }
    return suffix;
}

// Creates a new file beside target, with the permissions a plain create
// would give (0666 less the umask); its name goes to `temporary`.
util::FileDescriptor CreateBeside(const std::string& target, std::string& temporary) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = target + "." + RandomSuffix() + ".tmp";
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return util::FileDescriptor(fd);
        }
    }
    return util::FileDescriptor(-1);
}

// Makes the rename itself survive a crash; a folder that cannot be synced
// still has the new file in place, so a failure here is not reported.
void SyncFolderOf(const std::string& path) {
    std::string copy = path;
    util::FileDescriptor folder(::open(::dirname(copy.data()), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
}

}  // namespace

void WriteFileReplacing(const std::string& path,
                        const std::function<bool(const PieceWriter&)>& produce) {
    // A link is followed, as a plain write would: the file it points to is
    // replaced and the link stays.
    std::string target = path;
    struct stat existing {};
    const bool replacing = ::stat(path.c_str(), &existing) == 0;
    if (replacing) {
        // A FIFO or a device has no old content to keep, and opening a FIFO
        // without a reader would hang the window.
        if (!S_ISREG(existing.st_mode)) {
            Fail(path, "not a regular file");
        }
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            target = resolved;
        }
    }

    std::string temporary;
    util::FileDescriptor file = CreateBeside(target, temporary);
    if (file.get() < 0) {
        Fail(path, std::strerror(errno));
    }
    util::ScopeGuard removeTemporary([&temporary] { ::unlink(temporary.c_str()); });

    if (replacing) {
        // The owner goes first: a change of owner may clear set-id bits.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(file.get(), existing.st_uid, existing.st_gid) != 0) {
            // Only a privileged user can give a file away; anyone else
            // replaces it with a file of their own, as an editor does.
        }
        if (::fchmod(file.get(), existing.st_mode & 07777) != 0) {
            Fail(path, std::strerror(errno));
        }
    }
    const bool written =
        produce([fd = file.get()](std::string_view piece) { return util::WriteAll(fd, piece); });
    if (!written || ::fsync(file.get()) != 0) {
        Fail(path, std::strerror(errno));
    }
    if (!file.close()) {
        Fail(path, std::strerror(errno));
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        Fail(path, std::strerror(errno));
    }
    removeTemporary.dismiss();
    SyncFolderOf(target);
}

}  // namespace search
