// How every file the harvester exports replaces an older one without ever
// leaving half a file in its place, nor its temporary file after a signal
// that ends the program.
#include "search/file_replace.h"

#include <fcntl.h>
#include <libgen.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <stdexcept>

#include "util/file_io.h"
#include "util/scope_guard.h"

namespace search {

namespace {

// Temporary names are drawn at random; a handful of collisions in a row
// means something else is going on in the folder, and the export gives up.
constexpr int kTemporaryNameAttempts = 16;

// A program that dies of a signal never unwinds to the code that removes a
// temporary file: these slots tell its handler which files are under way.
// Fixed arrays and lock-free flags only, the state a handler may read.
struct TrackedTemporary {
    std::atomic<bool> taken{false};
    std::atomic<bool> armed{false};
    char path[PATH_MAX];
};
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

// The harvester has at most its output and a keyword list's journal under
// way at once, the window one export; a replacement beyond these still
// works, only without the clean-up on a fatal signal.
constexpr int kTrackedTemporaries = 8;
TrackedTemporary g_tracked[kTrackedTemporaries];

// The slot that now names temporary, or -1 when there is none.
int Track(const std::string& temporary) {
    if (temporary.size() >= PATH_MAX) {
        return -1;
    }
    for (int slot = 0; slot < kTrackedTemporaries; ++slot) {
        TrackedTemporary& tracked = g_tracked[slot];
        if (!tracked.taken.exchange(true, std::memory_order_acquire)) {
            std::memcpy(tracked.path, temporary.c_str(), temporary.size() + 1);
            tracked.armed.store(true, std::memory_order_release);
            return slot;
        }
    }
    return -1;
}

void Untrack(int slot) {
    if (slot >= 0) {
        g_tracked[slot].armed.store(false, std::memory_order_release);
        g_tracked[slot].taken.store(false, std::memory_order_release);
    }
}

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
// would give (0666 less the umask), and tracks it in `slot`; its name goes
// to `temporary`. Signals wait meanwhile, so that no handler misses a file
// that exists but is not tracked yet.
util::FileDescriptor CreateBeside(const std::string& target, std::string& temporary, int& slot) {
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    util::ScopeGuard restore([&before] { pthread_sigmask(SIG_SETMASK, &before, nullptr); });
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = target + "." + RandomSuffix() + ".tmp";
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            slot = Track(temporary);
        }
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

FileReplacement::FileReplacement(const std::string& path) : path_(path), target_(path), file_(-1) {
    // A link is followed, as a plain write would: the file it points to is
    // replaced and the link stays.
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
            target_ = resolved;
        }
    }

    file_ = CreateBeside(target_, temporary_, slot_);
    if (file_.get() < 0) {
        Fail(path, std::strerror(errno));
    }
    util::ScopeGuard dropTemporary([this] { removeTemporary(); });
    if (replacing) {
        // The owner goes first: a change of owner may clear set-id bits.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(file_.get(), existing.st_uid, existing.st_gid) != 0) {
            // Only a privileged user can give a file away; anyone else
            // replaces it with a file of their own, as an editor does.
        }
        if (::fchmod(file_.get(), existing.st_mode & 07777) != 0) {
            Fail(path, std::strerror(errno));
        }
    }
    dropTemporary.dismiss();
}

FileReplacement::~FileReplacement() {
    removeTemporary();
}

void FileReplacement::commit(const std::function<bool(const PieceWriter&)>& produce) {
    util::ScopeGuard dropTemporary([this] { removeTemporary(); });
    const bool written =
        produce([fd = file_.get()](std::string_view piece) { return util::WriteAll(fd, piece); });
    if (!written || ::fsync(file_.get()) != 0) {
        Fail(path_, std::strerror(errno));
    }
    if (!file_.close()) {
        Fail(path_, std::strerror(errno));
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        Fail(path_, std::strerror(errno));
    }
    // In place now: nothing left to remove.
    dropTemporary.dismiss();
    temporary_.clear();
    Untrack(slot_);
    slot_ = -1;
    SyncFolderOf(target_);
}

void FileReplacement::removeTemporary() {
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    Untrack(slot_);
    slot_ = -1;
}

void WriteFileReplacing(const std::string& path,
                        const std::function<bool(const PieceWriter&)>& produce) {
    FileReplacement(path).commit(produce);
}

void RemoveTemporaryFilesNow() {
    for (TrackedTemporary& tracked : g_tracked) {
        if (tracked.armed.load(std::memory_order_acquire)) {
            ::unlink(tracked.path);
        }
    }
}

}  // namespace search
