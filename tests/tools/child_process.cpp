#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace tools_test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extraEnv) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) {
        envStrings.emplace_back(*e);  // later duplicates lose to the extra ones
    }
    std::vector<char*> env;
    for (std::string& e : envStrings) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    if (rc != 0) {
        close(outFd_);
        close(errFd_);
        throw std::runtime_error("cannot start " + argv[0]);
    }
}

ChildProcess::~ChildProcess() {
    if (!reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) {
        close(outFd_);
    }
    if (errFd_ >= 0) {
        close(errFd_);
    }
}

bool ChildProcess::ReadSome(int timeoutMillis) {
    pollfd fds[2];
    int n = 0;
    if (outFd_ >= 0) {
        fds[n++] = {outFd_, POLLIN, 0};
    }
    if (errFd_ >= 0) {
        fds[n++] = {errFd_, POLLIN, 0};
    }
    if (n == 0 || poll(fds, n, timeoutMillis) <= 0) {
        return n != 0;
    }
    for (int i = 0; i < n; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        char buf[65536];
        const ssize_t got = read(fds[i].fd, buf, sizeof buf);
        int& fd = fds[i].fd == outFd_ ? outFd_ : errFd_;
        std::string& sink = fds[i].fd == outFd_ ? out_ : err_;
        if (got <= 0) {
            close(fd);
            fd = -1;
        } else {
            sink.append(buf, static_cast<std::size_t>(got));
        }
    }
    return true;
}

bool ChildProcess::ReadUntil(const std::function<bool()>& until, int timeoutMillis) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMillis);
    while (!until()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) {
            return until();
        }
    }
    return true;
}

int ChildProcess::Wait(int timeoutMillis) {
    ReadUntil([this] { return outFd_ < 0 && errFd_ < 0; }, timeoutMillis);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMillis);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            reaped_ = true;
            return -1;
        }
        usleep(5000);
    }
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tools_test
