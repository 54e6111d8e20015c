#include "util/start_program.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace util {

namespace {

// Owns the file actions of one spawn so they are destroyed on every way out.
class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

bool StartProgram(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty()) {
        return false;
    }
    std::vector<std::string> argvStrings;
    argvStrings.reserve(args.size() + 1);
    argvStrings.push_back(program);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argvStrings.size() + 1);
    for (auto& arg : argvStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    // Sockets and files of ours must not stay open in a browser that may run
    // for days after we have ended.
    SpawnActions actions;
    posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);

    pid_t pid = 0;
    const bool searchPath = program.find('/') == std::string::npos;
    const int rc =
        searchPath
            ? posix_spawnp(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ)
            : posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
    if (rc != 0) {
        return false;
    }
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace util
