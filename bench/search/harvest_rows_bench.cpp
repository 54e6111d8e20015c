// zorvane-harvest over a growing number of rows: 1 000, 10 000, 100 000 and
// 1 000 000 rows (100 hits a page) from the demo engine, against curl
// fetching the same pages over one kept connection in the same run. For
// each size: the harvest's wall time, curl's, their ratio, and the harvest's
// peak resident memory against the size of the CSV it wrote (memory that
// grows with the rows shows as a steady bytes-per-row figure).
//
// usage: bench_search_rows [--reps N] [ROWS]...   (default: the four sizes,
// 3 repetitions; the million-row run takes some 15 s a repetition)

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/bench_process.h"

namespace {

constexpr int kHitsPerPage = 100;

struct Figures {
    double harvestSeconds = 0;
    double curlSeconds = 0;
    long peakKiB = 0;
    long long csvBytes = 0;
    bool ok = true;
};

Figures Measure(const bench::DemoEngine& engine, long rows, int repetitions) {
    const long pages = (rows + kHitsPerPage - 1) / kHitsPerPage;
    const std::string stem = "/tmp/zorvane_rows_bench_" + std::to_string(getpid());
    const std::string csv = stem + ".csv";
    const std::string curlConfig = stem + ".curl";
    {
        // A config file: a million rows are ten thousand URLs, too many for
        // a command line.
        std::ofstream config(curlConfig);
        for (long i = 0; i < pages; ++i) {
            config << "url = \"http://127.0.0.1:" << engine.port()
                   << "/search?as_q=benchmark&num=100&start=" << i * kHitsPerPage
                   << "\"\noutput = \"/dev/null\"\n";
        }
    }
    const std::vector<std::string> harvest = {
        ZORVANE_HARVEST_PATH, "--site",    "http://google@127.0.0.1:" + engine.port(),
        "--keyword",          "benchmark", "--max",
        std::to_string(rows), "--csv",     csv};
    const std::vector<std::string> curl = {"curl", "-s", "--fail", "--config", curlConfig};

    Figures figures;
    std::vector<double> harvestTimes;
    std::vector<double> curlTimes;
    for (int r = 0; r < repetitions; ++r) {
        const bench::ChildRun h = bench::Run(harvest);
        const bench::ChildRun c = bench::Run(curl);
        figures.ok = figures.ok && h.status == 0 && c.status == 0;
        harvestTimes.push_back(h.wallSeconds);
        curlTimes.push_back(c.wallSeconds);
        figures.peakKiB = std::max(figures.peakKiB, h.peakKiB);
    }
    struct stat info {};
    if (stat(csv.c_str(), &info) == 0) {
        figures.csvBytes = info.st_size;
    }
    std::remove(csv.c_str());
    std::remove(curlConfig.c_str());
    figures.harvestSeconds = bench::Median(harvestTimes);
    figures.curlSeconds = bench::Median(curlTimes);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = 3;
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reps" && i + 1 < argc) {
            repetitions = std::max(1, std::atoi(argv[++i]));
        } else {
            sizes.push_back(std::atol(argv[i]));
        }
    }
    if (sizes.empty()) {
        sizes = {1000, 10000, 100000, 1000000};
    }
    long most = 0;
    for (long rows : sizes) {
        most = std::max(most, rows);
    }
    const bench::DemoEngine engine(ZORVANE_DEMO_ENGINE_PATH,
                                   static_cast<int>((most + kHitsPerPage - 1) / kHitsPerPage));
    if (!engine.running()) {
        std::fprintf(stderr, "the demo engine did not start\n");
        return 1;
    }
    std::printf("%9s  %10s  %10s  %6s  %12s  %10s  %9s\n", "rows", "harvest s", "curl s", "ratio",
                "peak memory", "CSV", "bytes/row");
    bool ok = true;
    for (long rows : sizes) {
        const Figures f = Measure(engine, rows, repetitions);
        ok = ok && f.ok;
        const double mib = 1024.0 * 1024.0;
        std::printf("%9ld  %10.3f  %10.3f  %6.2f  %8.1f MiB  %6.1f MiB  %9.0f%s\n", rows,
                    f.harvestSeconds, f.curlSeconds, f.harvestSeconds / f.curlSeconds,
                    f.peakKiB / 1024.0, double(f.csvBytes) / mib,
                    double(f.peakKiB) * 1024.0 / double(rows), f.ok ? "" : "  (a run failed)");
    }
    return ok ? 0 : 1;
}
