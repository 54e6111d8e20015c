// Ctrl-C, SIGTERM and SIGHUP: the ways to stop a harvest from outside.
#pragma once

namespace harvest {

// What came since the last look.
struct StopSignals {
    bool interrupted = false;  // Ctrl-C: the user's own Stop
    bool terminated = false;   // SIGTERM or SIGHUP
};

// Catches the three signals so that the run stops at its next look
// (TakeStopSignals) and the rows so far are still written. A second one of
// the same signal ends the program at once (EndBySignal). SIGPIPE is
// ignored: a reader that went away shows as a failed write.
void InstallStopSignals();

// The signals that came since the last call, forgotten once taken.
StopSignals TakeStopSignals();

}  // namespace harvest
