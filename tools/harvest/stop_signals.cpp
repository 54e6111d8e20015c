#include "tools/harvest/stop_signals.h"

#include <atomic>
#include <csignal>

#include "tools/harvest/fatal_signal.h"

namespace harvest {
namespace {

// Set by the handler, taken up at the next point where the window would
// handle its messages (idle slices of a download, progress events, every
// row, the wait before a retry).
std::atomic<bool> gInterrupted{false};
std::atomic<bool> gTerminated{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

// Which of SIGINT, SIGTERM and SIGHUP came already, a bit each.
std::atomic<int> gSignalsSeen{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
    const int bit = signal == SIGINT ? 1 : signal == SIGTERM ? 2 : 4;
    if ((gSignalsSeen.fetch_or(bit) & bit) != 0) {
        // A second one of the same ends the program at once, should a stop
        // not get through; whatever it was doing, its output's temporary
        // file goes with it.
        EndBySignal(signal);
    }
    (signal == SIGINT ? gInterrupted : gTerminated) = true;
}

}  // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    // None of them cuts into the clean-up of another.
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : kStopSignals) {
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

StopSignals TakeStopSignals() {
    return {.interrupted = gInterrupted.exchange(false), .terminated = gTerminated.exchange(false)};
}

}  // namespace harvest
