#include "tools/harvest/fatal_signal.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "search/file_replace.h"

namespace harvest {

void EndBySignal(int signal) {
    search::RemoveTemporaryFilesNow();
    struct sigaction fatal {};
    fatal.sa_handler = SIG_DFL;
    sigaction(signal, &fatal, nullptr);
    // The handler that calls this blocks its own signal until it returns.
    sigset_t self;
    sigemptyset(&self);
    sigaddset(&self, signal);
    pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
    raise(signal);
    // A signal whose default is not to end the program ends it all the same.
    _exit(128 + signal);
}

}  // namespace harvest
