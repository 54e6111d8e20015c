// How a signal the harvester cannot wait for ends it: without leaving the
// temporary file of an output it was writing.
#pragma once

namespace harvest {

// Removes the temporary files of the outputs under way, then ends the
// program with `signal`'s default action, as if it had never been caught.
// For a signal handler: it calls only what such a handler may.
[[noreturn]] void EndBySignal(int signal);

}  // namespace harvest
