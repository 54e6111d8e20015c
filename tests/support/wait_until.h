#pragma once

#include <chrono>
#include <functional>

namespace testsupport {

// Looks at done until it holds or the timeout has passed, with a short sleep
// between looks, so that a test waiting on another thread or process fails
// in time instead of hanging the suite. Whether done held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// The same, running poll before every sleep: the work that makes done come
// true when it must happen on the waiting thread, such as handling the Qt
// events of a window under test.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& poll);

}  // namespace testsupport
