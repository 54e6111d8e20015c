// zorvane-brand: the brander's tool for the settings file dbsettings.dat.
//
//   zorvane-brand [--password PASSWORD] encrypt PLAIN DAT
//   zorvane-brand [--password PASSWORD] decrypt DAT PLAIN
//
// The output is written to a temporary file beside it and renamed into place
// only when the whole operation succeeded, so an interrupted run, a full
// disk or a damaged settings file never leaves a half-written output behind.
// decrypt writes PLAIN only when the file is authentic.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/aes_lib.h"
#include "util/settings_file.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: zorvane-brand [--password PASSWORD] encrypt PLAIN DAT\n"
    "       zorvane-brand [--password PASSWORD] decrypt DAT PLAIN\n"
    "Encrypts a plain settings file into dbsettings.dat form, or decrypts one.\n"
    "decrypt writes PLAIN only when DAT is authentic. Without --password the\n"
    "program's built-in settings password is used.\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Command {
    std::string action;
    std::string source;
    std::string target;
    std::string password{util::kSettingsPassword};
};

Command ParseArguments(int argc, char** argv) {
    Command command;
    std::vector<std::string> positional;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && arg == "--password") {
            if (i + 1 >= argc) {
                throw UsageError("--password needs a value");
            }
            command.password = argv[++i];
        } else if (!options_ended && arg.rfind("--password=", 0) == 0) {
            command.password = arg.substr(std::strlen("--password="));
        } else if (!options_ended && arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3 || (positional[0] != "encrypt" && positional[0] != "decrypt")) {
        throw UsageError("expected encrypt PLAIN DAT or decrypt DAT PLAIN");
    }
    if (command.password.size() > cipher::TCrypt::kMaxPasswordSize) {
        throw UsageError("the password is longer than 128 bytes");
    }
    command.action = positional[0];
    command.source = positional[1];
    command.target = positional[2];
    return command;
}

// A temporary file in the target's folder, so that the final rename stays on
// one file system. Removed on every way out unless it was put in place.
class TemporaryOutput {
public:
    explicit TemporaryOutput(const std::string& target) {
        const std::string::size_type slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        std::vector<char> pattern(folder.begin(), folder.end());
        if (pattern.back() != '/') {
            pattern.push_back('/');
        }
        const std::string name = ".zorvane-brand-XXXXXX";
        pattern.insert(pattern.end(), name.begin(), name.end());
        pattern.push_back('\0');
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            throw ToolError("cannot create a file in " + folder + ": " + std::strerror(errno));
        }
        path_ = pattern.data();
        // mkstemp makes the file private; give it the mode an ordinary new
        // file would get.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
    }
    ~TemporaryOutput() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::string& path() const { return path_; }

    // Flushes the new file to disk and renames it over the target.
    void PutInPlace(const std::string& target) {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0) {
            const int error = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            throw ToolError("cannot write " + target + ": " + std::strerror(error));
        }
        ::close(fd);
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            throw ToolError("cannot write " + target + ": " + std::strerror(errno));
        }
        path_.clear();
    }

private:
    std::string path_;
};

int Run(const Command& command) {
    TemporaryOutput output(command.target);
    if (command.action == "encrypt") {
        util::EncryptSettingsFile(command.source, output.path(), command.password);
    } else if (!util::DecryptSettingsFile(command.source, output.path(), command.password)) {
        std::cerr << "wrong password or damaged file\n";
        return kExitFailure;
    }
    output.PutInPlace(command.target);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
    }
    Command command;
    try {
        command = ParseArguments(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "zorvane-brand: " << error.what() << "\n" << kUsage;
        return kExitUsage;
    }
    try {
        return Run(command);
    } catch (const std::exception& error) {
        std::cerr << "zorvane-brand: " << error.what() << "\n";
        return kExitFailure;
    }
}
