#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A program started with pipes on its standard output and error, for the
// black-box tests of the command-line tools. Killed and reaped on
// destruction if the test did not wait for it.
class ChildProcess {
public:
    // extraEnv: NAME=value entries that win over the test's own environment.
    // fileSizeLimit: every write the program makes past this size of a file
    // fails with EFBIG, the way a full disk fails it, on any file system.
    // Throws std::runtime_error when the program cannot be started.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::vector<std::string>& extraEnv = {},
                 rlim_t fileSizeLimit = RLIM_INFINITY);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

    // Whether the program has not ended yet; it stays waitable either way.
    bool Running() const;

    // Reads output until `until` holds for what arrived (checked after every
    // piece) or the deadline passes; false on the deadline or when both pipes
    // closed first.
    bool ReadUntil(const std::function<bool()>& until, int timeoutMillis);

    // Reads to the end and reaps the child; its exit code, or -1 when it did
    // not end within the deadline (it is then killed) or ended by a signal.
    int Wait(int timeoutMillis);
    // After Wait: whether the deadline passed first, and the signal that
    // ended the program (0 when it exited).
    bool timedOut() const { return timedOut_; }
    int endSignal() const { return endSignal_; }

    // For a server program that prints its address first ("... listening on
    // http://127.0.0.1:PORT"): reads that line and gives PORT, or "" when no
    // line came within the deadline.
    std::string AwaitListeningPort(int timeoutMillis);

private:
    void ReadSome(int timeoutMillis);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool reaped_ = false;
    bool timedOut_ = false;
    int endSignal_ = 0;
    std::string out_;
    std::string err_;
};

}  // namespace testsupport
