#include "search/profile_worker.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "search/search_texts.h"

namespace search {
namespace {

// The extractions still running, abandoned ones included.
struct RunningWorkers {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
};

// Never destroyed: an abandoned extraction may end after the program's
// static objects are gone, and still reports here.
RunningWorkers& Workers() {
    static auto* workers = new RunningWorkers;
    return *workers;
}

// Destroyed at exit before libxml2 tears its tables down (a library's own
// clean-up runs after the program's), which an extraction still running
// would use.
struct WaitForWorkersAtExit {
    ~WaitForWorkersAtExit() {
        RunningWorkers& workers = Workers();
        std::unique_lock lock(workers.mutex);
        workers.changed.wait_for(lock, kAbandonedExtractionExitWait,
                                 [&workers] { return workers.count == 0; });
    }
};

// What the thread that runs the search and the extraction's thread share.
// Either may be the last to let go of it.
struct Job {
    std::shared_ptr<const CompiledProfile> profile;
    std::string html;
    ExtractBounds bounds;
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    ProfilePage page;
};

void Extract(std::shared_ptr<Job> job) {
    ProfilePage page;
    try {
        page = job->profile->extract(job->html, job->bounds);
    } catch (const std::exception&) {
        page = ProfilePage{};
        page.unreadReason = texts::PageNotReadWhole("out of memory");
    }
    {
        const std::lock_guard lock(job->mutex);
        job->page = std::move(page);
        job->finished = true;
    }
    job->done.notify_all();
    // The page and, for an abandoned job, the compiled profile are freed
    // before the count says this thread is done with libxml2.
    job.reset();
    RunningWorkers& workers = Workers();
    {
        const std::lock_guard lock(workers.mutex);
        --workers.count;
    }
    workers.changed.notify_all();
}

ProfilePage Unread(const std::string& why) {
    ProfilePage page;
    page.unreadReason = texts::PageNotReadWhole(why);
    return page;
}

}  // namespace

std::optional<ProfilePage> ExtractWhileResponsive(
    const std::shared_ptr<const CompiledProfile>& profile, std::string utf8Html, SearchHost& host,
    ExtractBounds bounds, std::chrono::milliseconds time) {
    static WaitForWorkersAtExit waitAtExit;
    auto job = std::make_shared<Job>();
    job->profile = profile;
    job->html = std::move(utf8Html);
    job->bounds = bounds;
    job->bounds.parse.cancel = &job->cancel;
    RunningWorkers& workers = Workers();
    {
        const std::lock_guard lock(workers.mutex);
        ++workers.count;
    }
    try {
        std::thread(Extract, job).detach();
    } catch (const std::system_error&) {
        const std::lock_guard lock(workers.mutex);
        --workers.count;
        return Unread("no thread to read it on");
    }
    const auto deadline = std::chrono::steady_clock::now() + time;
    for (;;) {
        host.processEvents();
        if (host.stopRequested()) {
            job->cancel = true;
            return std::nullopt;
        }
        {
            std::unique_lock lock(job->mutex);
            if (job->done.wait_for(lock, kExtractionSlice, [&job] { return job->finished; })) {
                return std::move(job->page);
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            job->cancel = true;
            return Unread("reading it took longer than " +
                          std::to_string(std::chrono::ceil<std::chrono::seconds>(time).count()) +
                          " s");
        }
    }
}

}  // namespace search
