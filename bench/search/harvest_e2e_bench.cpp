// End to end: zorvane-harvest harvesting 50 pages of 100 hits from the demo
// engine, against curl fetching the same 50 URLs one after another, in the
// same run. Prints both wall times and the ratio.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kPages = 50;
constexpr int kRepetitions = 11;

// Starts a program with standard output to outFd (or /dev/null) and
// standard error to /dev/null.
pid_t Spawn(const std::vector<std::string>& argv, int outFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double TimeRun(const std::vector<std::string>& argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(argv, -1);
    if (pid < 0 || WaitFor(pid) != 0) {
        std::fprintf(stderr, "failed: %s\n", argv[0].c_str());
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return 1;
    }
    const pid_t engine = Spawn(
        {ZORVANE_DEMO_ENGINE_PATH, "--port", "0", "--pages", std::to_string(kPages)}, pipeFds[1]);
    close(pipeFds[1]);
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos && read(pipeFds[0], &c, 1) == 1) {
        line.push_back(c);
    }
    const std::size_t colon = line.rfind(':');
    if (engine < 0 || colon == std::string::npos) {
        std::fprintf(stderr, "the demo engine did not start\n");
        return 1;
    }
    const std::string port = line.substr(colon + 1, line.find('\n') - colon - 1);

    const std::string csv = "/tmp/zorvane_bench_" + std::to_string(getpid()) + ".csv";
    const std::vector<std::string> harvest = {ZORVANE_HARVEST_PATH,
                                              "--site",
                                              "http://google@127.0.0.1:" + port,
                                              "--keyword",
                                              "benchmark",
                                              "--csv",
                                              csv};
    std::vector<std::string> curl = {"curl", "-s", "--fail"};
    for (int i = 0; i < kPages; ++i) {
        curl.insert(curl.end(),
                    {"-o", "/dev/null",
                     "http://127.0.0.1:" + port +
                         "/search?as_q=benchmark&num=100&start=" + std::to_string(i * 100)});
    }

    // For context: curl made to open a new connection per URL, as the
    // harvester does (it disconnects after every page).
    std::vector<std::string> curlClose = curl;
    curlClose.insert(curlClose.begin() + 1, {"-H", "Connection: close"});

    std::vector<double> harvestTimes;
    std::vector<double> curlTimes;
    std::vector<double> curlCloseTimes;
    for (int r = 0; r < kRepetitions; ++r) {
        harvestTimes.push_back(TimeRun(harvest));
        curlTimes.push_back(TimeRun(curl));
        curlCloseTimes.push_back(TimeRun(curlClose));
    }
    kill(engine, SIGTERM);
    WaitFor(engine);

    FILE* f = std::fopen(csv.c_str(), "rb");
    std::size_t lines = 0;
    for (int ch; f != nullptr && (ch = std::fgetc(f)) != EOF;) {
        lines += ch == '\n';
    }
    if (f != nullptr) {
        std::fclose(f);
    }
    std::remove(csv.c_str());

    const double h = Median(harvestTimes);
    const double k = Median(curlTimes);
    std::printf("zorvane-harvest, %d pages, %zu rows: %.3f s (median of %d)\n", kPages,
                lines > 0 ? lines - 1 : 0, h, kRepetitions);
    std::printf("curl, the same %d URLs in turn:      %.3f s (median of %d)\n", kPages, k,
                kRepetitions);
    const double kc = Median(curlCloseTimes);
    std::printf("curl, one connection per URL:       %.3f s (median of %d)\n", kc, kRepetitions);
    std::printf(
        "ratio harvest / curl: %.2f (target <= 1.3); against curl with a connection per "
        "URL: %.2f\n",
        h / k, h / kc);
    return (h > 0 && k > 0 && lines == kPages * 100 + 1) ? 0 : 1;
}
