// The export file of Export All and zorvane-harvest --csv: the text of the
// rows, and the way it replaces an older export without ever leaving half a
// file in its place.
#include "search/csv_export.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string_view>

#include "util/file_descriptor.h"
#include "util/scope_guard.h"

namespace search {

namespace {

// Temporary names are drawn at random; a handful of collisions in a row
// means something else is going on in the folder, and the export gives up.
constexpr int kTemporaryNameAttempts = 16;

// Collects the export text and hands it on in pieces of this size: large
// enough that a write per piece costs nothing, small enough to stay in cache.
constexpr std::size_t kExportPieceBytes = 64 * 1024;

class ExportFormatter {
public:
    explicit ExportFormatter(const std::function<bool(std::string_view)>& write) : write_(write) {
        buffer_.reserve(kExportPieceBytes * 2);
    }

    void line(std::initializer_list<std::string_view> fields) {
        bool first = true;
        for (std::string_view field : fields) {
            if (!first) {
                buffer_.push_back(',');
            }
            first = false;
            appendField(field);
        }
        buffer_.append("\r\n");
        if (buffer_.size() >= kExportPieceBytes) {
            flush();
        }
    }

    // Bytes that go out as they are, before the first line.
    void raw(std::string_view bytes) { buffer_.append(bytes); }

    // False once a write has failed; nothing is written after that.
    bool flush() {
        if (ok_ && !buffer_.empty()) {
            ok_ = write_(buffer_);
        }
        buffer_.clear();
        return ok_;
    }

    bool ok() const { return ok_; }

private:
    // Quoted, every double quote inside doubled.
    void appendField(std::string_view text) {
        buffer_.push_back('"');
        for (std::size_t quote; (quote = text.find('"')) != std::string_view::npos;) {
            buffer_.append(text.substr(0, quote + 1));
            buffer_.push_back('"');
            text.remove_prefix(quote + 1);
        }
        buffer_.append(text);
        buffer_.push_back('"');
    }

    const std::function<bool(std::string_view)>& write_;
    std::string buffer_;
    bool ok_ = true;
};

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

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
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

bool WriteExport(const RowSource& rows, const std::function<bool(std::string_view)>& write,
                 ExportOptions options) {
    ExportFormatter out(write);
    if (options.utf8Bom) {
        out.raw(kUtf8Bom);
    }
    out.line({"Pos", "Anchor", "URL", "Engine Site"});
    for (std::size_t i = 0, count = rows.size(); i < count && out.ok(); ++i) {
        const RowView row = rows.at(i);
        out.line({row.pos, row.anchor, row.url, row.engineSite});
    }
    return out.flush();
}

std::string FormatExport(const RowSource& rows, ExportOptions options) {
    std::string text;
    WriteExport(
        rows,
        [&text](std::string_view piece) {
            text.append(piece);
            return true;
        },
        options);
    return text;
}

void ExportResults(const std::string& path, const RowSource& rows, ExportOptions options) {
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
    const bool written = WriteExport(
        rows, [fd = file.get()](std::string_view piece) { return WriteAll(fd, piece); }, options);
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
