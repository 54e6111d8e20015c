#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace tools_test {

// A program started with pipes on its standard output and error.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv,
                 const std::vector<std::string>& extraEnv = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

    // Reads output until `until` holds for what arrived (checked after every
    // piece) or the deadline passes; false on the deadline or when both pipes
    // closed first.
    bool ReadUntil(const std::function<bool()>& until, int timeoutMillis);

    // Reads to the end and reaps the child; its exit code, or -1 when it did
    // not end within the deadline (it is then killed) or ended by a signal.
    int Wait(int timeoutMillis);

private:
    bool ReadSome(int timeoutMillis);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool reaped_ = false;
    std::string out_;
    std::string err_;
};

}  // namespace tools_test
