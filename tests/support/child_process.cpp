#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "tests/support/wait_until.h"

extern char** environ;

namespace testsupport {

namespace {

// How long one look at the pipes may block; WaitUntil keeps the deadline.
constexpr int kReadSliceMillis = 50;

// Sets the file size limit that a program started meanwhile inherits, with
// SIGXFSZ ignored so that a write past it fails instead of killing the
// program; the test gets both back when this ends.
class InheritedFileSizeLimit {
public:
    explicit InheritedFileSizeLimit(rlim_t limit) : active_(limit != RLIM_INFINITY) {
        if (!active_) {
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = std::min(limit, old_.rlim_max);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~InheritedFileSizeLimit() {
        if (active_) {
            ::setrlimit(RLIMIT_FSIZE, &old_);
            ::signal(SIGXFSZ, oldHandler_);
        }
    }
    InheritedFileSizeLimit(const InheritedFileSizeLimit&) = delete;
    InheritedFileSizeLimit& operator=(const InheritedFileSizeLimit&) = delete;

private:
    bool active_;
    rlimit old_{};
    sighandler_t oldHandler_ = SIG_DFL;
};

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extraEnv, rlim_t fileSizeLimit) {
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
    int rc = 0;
    {
        const InheritedFileSizeLimit limit(fileSizeLimit);
        rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data());
    }
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

bool ChildProcess::Running() const {
    if (reaped_) {
        return false;
    }
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

void ChildProcess::ReadSome(int timeoutMillis) {
    pollfd fds[2];
    int n = 0;
    if (outFd_ >= 0) {
        fds[n++] = {outFd_, POLLIN, 0};
    }
    if (errFd_ >= 0) {
        fds[n++] = {errFd_, POLLIN, 0};
    }
    if (n == 0 || poll(fds, n, timeoutMillis) <= 0) {
        return;
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
}

std::string ChildProcess::AwaitListeningPort(int timeoutMillis) {
    if (!ReadUntil([this] { return out_.find('\n') != std::string::npos; }, timeoutMillis)) {
        return "";
    }
    const std::string line = out_.substr(0, out_.find('\n'));
    return line.substr(line.rfind(':') + 1);
}

bool ChildProcess::ReadUntil(const std::function<bool()>& until, int timeoutMillis) {
    WaitUntil([&] { return until() || (outFd_ < 0 && errFd_ < 0); },
              std::chrono::milliseconds(timeoutMillis), [this] { ReadSome(kReadSliceMillis); });
    return until();
}

int ChildProcess::Wait(int timeoutMillis) {
    ReadUntil([this] { return outFd_ < 0 && errFd_ < 0; }, timeoutMillis);
    int status = 0;
    timedOut_ = !WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) != 0; },
                           std::chrono::milliseconds(timeoutMillis));
    if (timedOut_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    reaped_ = true;
    endSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return !timedOut_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
