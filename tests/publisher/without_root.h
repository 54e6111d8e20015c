#pragma once

// Runs a piece of a test where the rights on folders count. Root writes into
// any folder, so as root the piece runs in a child that gave root up by
// entering a user namespace of its own, where the test's files belong to
// nobody it knows and only their rights for others apply.

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <optional>

namespace publisher_test {

// body's result (0 to 125), computed here or in the child; -1 when the
// child threw or did not end normally; nullopt when root has no user
// namespace to give root up in.
inline std::optional<int> RunWithoutRoot(const std::function<int()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    constexpr int kNoNamespace = 126;
    constexpr int kThrew = 127;
    const pid_t child = ::fork();
    if (child == 0) {
        int result = kNoNamespace;
        if (::unshare(CLONE_NEWUSER) == 0) {
            try {
                result = body();
            } catch (const std::exception&) {
                result = kThrew;
            }
        }
        ::_exit(result);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    if (WEXITSTATUS(status) == kNoNamespace) {
        return std::nullopt;
    }
    return WEXITSTATUS(status) == kThrew ? -1 : WEXITSTATUS(status);
}

}  // namespace publisher_test
