#include "bench/support/bench_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

extern char** environ;

namespace bench {

pid_t Spawn(const std::vector<std::string>& argv, int outFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ChildRun WaitFor(pid_t pid, double startedSeconds) {
    ChildRun run;
    int status = 0;
    rusage usage{};
    if (pid <= 0 || wait4(pid, &status, 0, &usage) != pid) {
        return run;
    }
    run.wallSeconds = Now() - startedSeconds;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peakKiB = usage.ru_maxrss;
    return run;
}

ChildRun Run(const std::vector<std::string>& argv) {
    const double started = Now();
    return WaitFor(Spawn(argv), started);
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

DemoEngine::DemoEngine(const std::string& path, int pages) {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    pid_ = Spawn({path, "--port", "0", "--pages", std::to_string(pages)}, fds[1]);
    close(fds[1]);
    // The engine's first line names its address; the port follows the last colon.
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos && read(fds[0], &c, 1) == 1) {
        line.push_back(c);
    }
    close(fds[0]);
    const std::size_t colon = line.rfind(':');
    const std::size_t end = line.find('\n');
    if (pid_ > 0 && colon != std::string::npos && end != std::string::npos && end > colon) {
        port_ = line.substr(colon + 1, end - colon - 1);
    }
}

DemoEngine::~DemoEngine() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace bench
