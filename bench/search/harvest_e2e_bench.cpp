// End to end: zorvane-harvest harvesting 50 pages of 100 hits from the demo
// engine, against curl fetching the same 50 URLs one after another, in the
// same run. Prints both wall times and the ratio.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/support/bench_process.h"

namespace {

constexpr int kPages = 50;
constexpr int kRepetitions = 11;

double TimeRun(const std::vector<std::string>& argv) {
    const bench::ChildRun run = bench::Run(argv);
    if (run.status != 0) {
        std::fprintf(stderr, "failed: %s\n", argv[0].c_str());
        return -1;
    }
    return run.wallSeconds;
}

}  // namespace

int main() {
    const bench::DemoEngine engine(ZORVANE_DEMO_ENGINE_PATH, kPages);
    if (!engine.running()) {
        std::fprintf(stderr, "the demo engine did not start\n");
        return 1;
    }
    const std::string& port = engine.port();

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
    FILE* f = std::fopen(csv.c_str(), "rb");
    std::size_t lines = 0;
    for (int ch; f != nullptr && (ch = std::fgetc(f)) != EOF;) {
        lines += ch == '\n';
    }
    if (f != nullptr) {
        std::fclose(f);
    }
    std::remove(csv.c_str());

    const double h = bench::Median(harvestTimes);
    const double k = bench::Median(curlTimes);
    std::printf("zorvane-harvest, %d pages, %zu rows: %.3f s (median of %d)\n", kPages,
                lines > 0 ? lines - 1 : 0, h, kRepetitions);
    std::printf("curl, the same %d URLs in turn:      %.3f s (median of %d)\n", kPages, k,
                kRepetitions);
    const double kc = bench::Median(curlCloseTimes);
    std::printf("curl, one connection per URL:       %.3f s (median of %d)\n", kc, kRepetitions);
    std::printf(
        "ratio harvest / curl: %.2f (target <= 1.0); against curl with a connection per "
        "URL: %.2f\n",
        h / k, h / kc);
    return (h > 0 && k > 0 && lines == kPages * 100 + 1) ? 0 : 1;
}
