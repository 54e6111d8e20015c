// Child processes for the whole-program benchmarks: starting them quietly,
// timing them, and the demo engine they harvest.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

// Starts argv[0] (looked up in PATH) with standard output to outFd, or to
// /dev/null when outFd is negative, and standard error to /dev/null.
// Returns the process id, or -1 when it could not be started.
pid_t Spawn(const std::vector<std::string>& argv, int outFd = -1);

// What a finished child took: its exit status (-1 when it did not exit
// normally), wall time from spawn to exit, its CPU time and its peak resident
// memory.
struct ChildRun {
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
};

// Waits for pid and reports what it took; wall time counts from `started`.
ChildRun WaitFor(pid_t pid, double startedSeconds);

// Runs argv to its end. A start failure gives status -1.
ChildRun Run(const std::vector<std::string>& argv);

// Seconds on the monotonic clock.
double Now();

double Median(std::vector<double> values);

// zorvane-demo-engine on a free loopback port, stopped when this goes away.
class DemoEngine {
public:
    // pages: the engine's page limit; the path is the engine program.
    DemoEngine(const std::string& path, int pages);
    ~DemoEngine();
    DemoEngine(const DemoEngine&) = delete;
    DemoEngine& operator=(const DemoEngine&) = delete;

    bool running() const { return pid_ > 0 && !port_.empty(); }
    const std::string& port() const { return port_; }

private:
    pid_t pid_ = -1;
    std::string port_;
};

}  // namespace bench
