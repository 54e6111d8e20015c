// zorvane-brand: the brander's tool for the settings file dbsettings.dat and
// the skin file mainskin.dat.
//
//   zorvane-brand [--password PASSWORD] encrypt [--strict] PLAIN DAT
//   zorvane-brand [--password PASSWORD] decrypt DAT PLAIN
//   zorvane-brand [--password PASSWORD] show [--strict] DAT
//   zorvane-brand skin QSS OUT
//
// The output is written to a temporary file beside it and renamed into place
// only when the whole operation succeeded, so an interrupted run, a full
// disk or a damaged settings file never leaves a half-written output behind.
// An output that exists must be a regular file (links followed). SIGINT,
// SIGTERM and SIGHUP remove the temporary file before the program dies, so a
// run stopped halfway leaves no plain text behind either.
// decrypt writes PLAIN only when the file is authentic; show decrypts in
// memory, so the plain settings never touch the disk, and prints nothing
// unless the file is authentic.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "branding/settings_check.h"
#include "branding/settings_text.h"
#include "cipher/aes_lib.h"
#include "tools/brand/show_settings.h"
#include "tools/brand/skin_file.h"
#include "tools/cli/command_line.h"
#include "util/file_io.h"
#include "util/settings_file.h"

namespace {

constexpr int kExitFailure = 1;

constexpr const char* kDescription =
    "Encrypts a plain settings file into dbsettings.dat form, or decrypts one.\n"
    "decrypt writes PLAIN only when DAT is authentic. show prints the values the\n"
    "program reads from DAT, one NAME=VALUE line each, with backslash, CR and LF\n"
    "written as \\\\, \\r and \\n. encrypt and show warn about tags the program will\n"
    "skip (out of order, unknown, unclosed). skin compresses the Qt style sheet QSS\n"
    "into a skin file such as mainskin.dat. Without --password the program's\n"
    "built-in settings password is used.";

constexpr const char* kNotAuthentic = "wrong password or damaged file\n";

class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Command {
    std::string action;
    std::string source;
    std::string target;  // empty for show
    std::string password{util::kSettingsPassword};
    bool strict = false;  // a skipped tag fails encrypt and show
};

// The signals that end a run early and must not leave the temporary file.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file a signal removes, or null. The path's memory is set up
// before the pointer is published, so the handler only reads and unlinks.
std::atomic<const char*> gTemporaryPath{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

extern "C" void RemoveTemporaryAndDie(int signal) {
    const char* path = gTemporaryPath.load();
    if (path != nullptr) {
        ::unlink(path);
    }
    // SA_RESETHAND has put the default action back: the signal, delivered
    // again once the handler returns, ends the program as it would have, so
    // the caller sees which signal it was.
    ::raise(signal);
}

void InstallCleanupHandlers() {
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndDie;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : kCleanupSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : kCleanupSignals) {
        struct sigaction old {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            ::sigaction(signal, &action, nullptr);
        }
    }
}

// Holds the cleanup signals back for a scope, so that the temporary file and
// gTemporaryPath change together: a signal arriving meanwhile is handled at
// the end of the scope and finds them consistent.
class CleanupSignalsHeld {
public:
    CleanupSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kCleanupSignals) {
            sigaddset(&held, signal);
        }
        ::sigprocmask(SIG_BLOCK, &held, &before_);
    }
    ~CleanupSignalsHeld() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

private:
    sigset_t before_;
};

// What an output holds: a new plain settings file is readable by its owner
// only, since it may carry the brand's secrets.
enum class OutputKind { kPlainText, kOther };

// A temporary file in the target's folder, so that the final rename stays on
// one file system. Removed on every way out unless it was put in place. The
// file stays private while it is written and gets its final permission bits
// just before the rename: those of the file it replaces, so a private file
// stays private.
class TemporaryOutput {
public:
    TemporaryOutput(const std::string& target, OutputKind kind) : target_(target) {
        struct stat existing {};
        if (::stat(target.c_str(), &existing) == 0) {
            // The rename would put a regular file in place of a device, a
            // FIFO or a folder, or of the link that leads to one.
            if (!S_ISREG(existing.st_mode)) {
                throw ToolError("not a regular file: " + target +
                                "; only a regular file is replaced");
            }
            // Set-id bits are not carried over onto new contents.
            mode_ = existing.st_mode & 0777;
        } else if (kind == OutputKind::kPlainText) {
            mode_ = 0600;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode_ = 0666 & ~mask;
        }
        const std::string::size_type slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        std::string pattern = folder;
        if (pattern.back() != '/') {
            pattern += '/';
        }
        pattern += ".zorvane-brand-XXXXXX";
        const CleanupSignalsHeld held;
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            throw ToolError("cannot create a file in " + folder + ": " + std::strerror(errno));
        }
        ::close(fd);
        path_ = std::move(pattern);
        gTemporaryPath.store(path_.c_str());
    }
    ~TemporaryOutput() {
        const CleanupSignalsHeld held;
        if (!path_.empty()) {
            ::unlink(path_.c_str());
            gTemporaryPath.store(nullptr);
        }
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::string& path() const { return path_; }

    // Fills the new file with bytes.
    void Write(std::string_view bytes) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
            throw ToolError("cannot write " + target_ + ": " + std::strerror(errno));
        }
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd, bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written < 0) {
                const int error = errno;
                ::close(fd);
                throw ToolError("cannot write " + target_ + ": " + std::strerror(error));
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        if (::close(fd) != 0) {
            throw ToolError("cannot write " + target_ + ": " + std::strerror(errno));
        }
    }

    // Gives the new file its permission bits, flushes it to disk and renames
    // it over the target.
    void PutInPlace() {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fchmod(fd, mode_) != 0 || ::fsync(fd) != 0) {
            const int error = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            throw ToolError("cannot write " + target_ + ": " + std::strerror(error));
        }
        ::close(fd);
        const CleanupSignalsHeld held;
        if (::rename(path_.c_str(), target_.c_str()) != 0) {
            throw ToolError("cannot write " + target_ + ": " + std::strerror(errno));
        }
        gTemporaryPath.store(nullptr);
        path_.clear();
    }

private:
    std::string target_;
    std::string path_;
    mode_t mode_ = 0600;
};

// Warns about every tag of the plain text the program will skip. Returns
// whether there was none.
bool WarnAboutSkippedTags(std::string_view plain, const std::string& file) {
    const std::vector<branding::SkippedTag> skipped = branding::FindSkippedTags(plain);
    for (const branding::SkippedTag& tag : skipped) {
        std::cerr << "zorvane-brand: warning: " << file << ":" << tag.line << ": "
                  << branding::SkipText(tag) << "\n";
    }
    return skipped.empty();
}

int Show(const Command& command) {
    const std::optional<std::string> plain =
        util::DecryptSettingsText(command.source, command.password);
    if (!plain) {
        std::cerr << kNotAuthentic;
        return kExitFailure;
    }
    const bool clean = WarnAboutSkippedTags(*plain, command.source);
    std::cout << brandtool::FormatSettings(branding::ReadSettingsText(*plain)) << std::flush;
    if (!std::cout) {
        throw ToolError("cannot write to standard output");
    }
    return clean || !command.strict ? 0 : kExitFailure;
}

// The plain text encrypt is about to read, for its warnings.
std::string ReadPlainForCheck(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    }
    std::string text;
    const bool whole = util::ReadUpTo(fd, util::kMaxSettingsFileSize, text);
    ::close(fd);
    if (!whole) {
        throw ToolError("cannot read " + path + ": larger than " +
                        std::to_string(util::kMaxSettingsFileSize) + " bytes or unreadable");
    }
    return text;
}

int Run(const Command& command) {
    if (command.action == "show") {
        return Show(command);
    }
    if (command.action == "skin") {
        // Read before the temporary file exists, so a bad style sheet leaves
        // nothing behind at all.
        const std::string skin = brandtool::CompressSkin(brandtool::ReadStyleSheet(command.source));
        TemporaryOutput output(command.target, OutputKind::kOther);
        output.Write(skin);
        output.PutInPlace();
        return 0;
    }
    if (command.action == "encrypt" &&
        !WarnAboutSkippedTags(ReadPlainForCheck(command.source), command.source) &&
        command.strict) {
        std::cerr << "zorvane-brand: --strict: nothing written\n";
        return kExitFailure;
    }
    TemporaryOutput output(
        command.target, command.action == "decrypt" ? OutputKind::kPlainText : OutputKind::kOther);
    try {
        if (command.action == "encrypt") {
            util::EncryptSettingsFile(command.source, output.path(), command.password);
        } else if (!util::DecryptSettingsFile(command.source, output.path(), command.password)) {
            std::cerr << kNotAuthentic;
            return kExitFailure;
        }
    } catch (const util::SettingsFileError& error) {
        // A full disk is reported as such, under the name the user gave: the
        // temporary name means nothing to them and is gone by now.
        using Kind = util::SettingsFileError::Kind;
        if ((error.kind() == Kind::kWrite || error.kind() == Kind::kCreate) &&
            error.path() == output.path()) {
            throw ToolError("cannot write " + command.target + ": " + std::strerror(error.error()));
        }
        throw;
    }
    output.PutInPlace();
    return 0;
}

// Reads the command line into command; returns an exit code when the
// program ends here (help, version, a bad command line).
std::optional<int> ParseArguments(int argc, char** argv, Command& command) {
    CLI::App app(kDescription, "zorvane-brand");
    cli::AddVersionFlag(app);
    app.require_subcommand(1);
    app.fallthrough();
    bool passwordGiven = false;
    app.add_option_function<std::string>(
           "--password",
           [&](const std::string& password) {
               command.password = password;
               passwordGiven = true;
           },
           "the settings password instead of the built-in one")
        ->type_name("PASSWORD");
    const auto addOperand = [](CLI::App* action, const char* name, std::string& into) {
        action->add_option(name, into)->required();
    };
    CLI::App* encrypt = app.add_subcommand("encrypt", "encrypt PLAIN into DAT");
    addOperand(encrypt, "PLAIN", command.source);
    addOperand(encrypt, "DAT", command.target);
    encrypt->add_flag("--strict", command.strict, "a tag the program would skip fails the run");
    CLI::App* decrypt = app.add_subcommand("decrypt", "decrypt DAT into PLAIN");
    addOperand(decrypt, "DAT", command.source);
    addOperand(decrypt, "PLAIN", command.target);
    CLI::App* show = app.add_subcommand("show", "print the values the program reads from DAT");
    addOperand(show, "DAT", command.source);
    show->add_flag("--strict", command.strict, "a tag the program would skip fails the run");
    CLI::App* skin = app.add_subcommand("skin", "compress the style sheet QSS into OUT");
    addOperand(skin, "QSS", command.source);
    addOperand(skin, "OUT", command.target);

    if (const std::optional<int> code = cli::Parse(app, argc, argv)) {
        return code;
    }
    command.action = app.get_subcommands().front()->get_name();
    if (passwordGiven && command.action == "skin") {
        return cli::UsageError(app, "--password does not apply to skin");
    }
    if (command.password.size() > cipher::TCrypt::kMaxPasswordSize) {
        return cli::UsageError(app, "the password is longer than 128 bytes");
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    Command command;
    if (const std::optional<int> code = ParseArguments(argc, argv, command)) {
        return *code;
    }
    InstallCleanupHandlers();
    try {
        return Run(command);
    } catch (const std::exception& error) {
        std::cerr << "zorvane-brand: " << error.what() << "\n";
        return kExitFailure;
    }
}
