// Engine-profile extraction speed against lxml, the parser Python scrapers
// use: the shipped profiles cut real result pages (the Bing page grown to 100
// hits, about 240 KB, is the one the 5 ms goal is about), and in the same run
// bench/peers/lxml_extract.py parses the same bytes with lxml.html and runs
// the same profile's expressions. Both sides time their own loop (best of the
// repetitions, so that the peer's interpreter start counts for neither), and
// the peer's rows must be ours: a peer that finds other hits times other work.
// The built-in Google pass on a 100-hit page of its own markup is timed too,
// as the floor a hand-written scan sets.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "search/engines.h"
#include "search/profiles/profile_extract.h"
#include "search/profiles/profile_file.h"
#include "tests/search/serp_pages.h"
#include "tests/support/null_search_host.h"
#include "tools/demo_engine/demo_pages.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kRepetitions = 11;
constexpr int kIterations = 20;

// The page with its hit blocks repeated until it holds `hits` of them.
std::string GrowBingPage(const std::string& page, std::size_t hits) {
    const std::string open = "<li class=\"b_algo\"";
    std::vector<std::string> blocks;
    std::size_t end = 0;
    for (std::size_t at = page.find(open); at != std::string::npos; at = page.find(open, end)) {
        end = page.find("</li>", at) + 5;
        blocks.push_back(page.substr(at, end - at));
    }
    std::string extra;
    for (std::size_t i = blocks.size(); i < hits; ++i) {
        extra += blocks[i % blocks.size()];
    }
    std::string grown = page;
    grown.insert(end, extra);
    return grown;
}

template <typename F>
double BestSeconds(int repetitions, int iterations, F&& f) {
    double best = 1e9;
    for (int r = 0; r < repetitions; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < iterations; ++i) {
            f();
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                      iterations);
    }
    return best;
}

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// Runs the peer with its standard output into `output` and its errors on
// ours, so that a failing peer shows why.
void RunPeer(const std::vector<std::string>& args, const fs::path& output) {
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error("cannot write " + output.string());
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fd);
    int status = 0;
    if (rc != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        throw std::runtime_error("the lxml peer failed: " + args[0] + " " + args[1]);
    }
}

struct Case {
    std::string profile;
    std::string label;
    std::string page;
};

struct Timing {
    std::size_t hits = 0;
    double ours = 0;
    double lxml = 0;
    // The parse alone, into the document the expressions run on.
    double oursParse = 0;
    double lxmlParse = 0;
};

// Both sides' rows must agree field for field; the first difference ends the run.
void CheckSameRows(const Case& c, const search::ProfilePage& ours, const json& peer) {
    const auto differ = [&c](const std::string& what, const std::string& ourValue,
                             const std::string& peerValue) {
        throw std::runtime_error(c.label + ": lxml found other rows than ours: " + what +
                                 "\n  ours: " + ourValue + "\n  lxml: " + peerValue);
    };
    if (!ours.unreadReason.empty()) {
        throw std::runtime_error(c.label + ": " + ours.unreadReason);
    }
    const json& rows = peer.at("hits");
    if (rows.size() != ours.hits.size()) {
        differ("hit count", std::to_string(ours.hits.size()), std::to_string(rows.size()));
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const search::ProfileHit& hit = ours.hits[i];
        const std::string at = "hit " + std::to_string(i + 1) + " ";
        for (const auto& [field, value] :
             {std::pair{"url", &hit.url}, std::pair{"title", &hit.title},
              std::pair{"snippet", &hit.snippet}, std::pair{"displayUrl", &hit.displayUrl}}) {
            if (rows[i].at(field).get<std::string>() != *value) {
                differ(at + field, *value, rows[i].at(field).get<std::string>());
            }
        }
    }
    if (peer.at("next").get<std::string>() != ours.nextHref) {
        differ("next link", ours.nextHref, peer.at("next").get<std::string>());
    }
    if (peer.at("blocked").get<std::string>() != ours.blockedReason) {
        differ("block mark", ours.blockedReason, peer.at("blocked").get<std::string>());
    }
}

Timing Measure(const Case& c, const std::string& page, const fs::path& folder,
               const fs::path& profilesFile) {
    search::ProfileDefinition definition;
    for (const auto& d : search::ParseProfiles(search::BuiltInProfilesText(), "engines.json")) {
        if (d.name == c.profile) {
            definition = d;
        }
    }
    const search::CompiledProfile profile(definition);
    Timing timing;
    search::ProfilePage result;
    timing.ours = BestSeconds(kRepetitions, kIterations, [&] { result = profile.extract(page); });
    timing.hits = result.hits.size();
    timing.oursParse =
        BestSeconds(kRepetitions, kIterations, [&] { (void)search::ParseHtml5(page); });

    const fs::path pageFile = folder / "page.html";
    const fs::path output = folder / "peer.json";
    WriteFile(pageFile, page);
    RunPeer({ZORVANE_PEER_PYTHON, ZORVANE_LXML_PEER, profilesFile.string(), c.profile,
             pageFile.string(), std::to_string(kIterations), std::to_string(kRepetitions)},
            output);
    const json peer = json::parse(serp::ReadFile(output.string()));
    CheckSameRows(c, result, peer);
    timing.lxml = peer.at("seconds").get<double>();
    timing.lxmlParse = peer.at("parseSeconds").get<double>();
    return timing;
}

double GooglePassSeconds(std::size_t& rows, std::size_t& bytes) {
    demo::DemoQuery query;
    query.engine = demo::DemoEngine::Google;
    query.keyword = query.keywordParam = "benchmark";
    query.pageIndex = 1;
    query.pageLimit = 3;
    const std::string googlePage = demo::RenderDemoPage(query);
    bytes = googlePage.size();
    const search::EngineSettings settings;
    return BestSeconds(kRepetitions, kIterations, [&] {
        testsupport::NullSearchHost host("http://google@127.0.0.1:8080");
        search::PageBuffer buffer(googlePage);
        search::ScanPage(search::Engine::Google, buffer, host, settings);
        rows = host.rows;
    });
}

int Run() {
    const std::string pages = ZORVANE_SERP_DATA "pages/";
    // The grown Bing page is the goal's page; the others are real pages as
    // saved, of engines whose expressions work harder (Google's and
    // Yandex's hits are found among every div of a large page, 360 Search
    // takes its snippet text node by text node).
    const std::vector<Case> cases = {
        {"bing", "bing, Bing page grown to 100 hits", "bing-2022-dan-robitzski"},
        {"google-web", "google-web, google-2022-evan-colborne", "google-2022-evan-colborne"},
        {"yandex", "yandex, yandex-2022-kim-igor", "yandex-2022-kim-igor"},
        {"so360", "so360, so360-2022-cecilia-dog", "so360-2022-cecilia-dog"},
    };

    char folderTemplate[] = "/tmp/zorvane-profile-bench-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    const fs::path folder = folderTemplate;
    // The peer reads the very profiles compiled into ours.
    const fs::path profilesFile = folder / "engines.json";
    WriteFile(profilesFile, search::BuiltInProfilesText());

    // Each side's time for a page, and in brackets the parse's part of it.
    std::printf("%-40s %5s %5s %15s %15s %10s\n", "profile, page", "hits", "KB", "ours ms (parse)",
                "lxml ms (parse)", "ours/lxml");
    double bingSeconds = 0;
    double worstRatio = 0;
    try {
        for (const Case& c : cases) {
            std::string page = serp::ReadFile(pages + c.page + ".html");
            if (c.profile == "bing") {
                page = GrowBingPage(page, 100);
            }
            const Timing t = Measure(c, page, folder, profilesFile);
            if (c.profile == "bing") {
                bingSeconds = t.ours;
            }
            worstRatio = std::max(worstRatio, t.ours / t.lxml);
            std::printf("%-40s %5zu %5zu %7.2f (%5.2f) %7.2f (%5.2f) %10.2f\n", c.label.c_str(),
                        t.hits, page.size() / 1024, t.ours * 1e3, t.oursParse * 1e3, t.lxml * 1e3,
                        t.lxmlParse * 1e3, t.ours / t.lxml);
            std::fflush(stdout);
        }
    } catch (...) {
        fs::remove_all(folder);
        throw;
    }
    fs::remove_all(folder);

    std::size_t passRows = 0;
    std::size_t passBytes = 0;
    const double passSeconds = GooglePassSeconds(passRows, passBytes);
    std::printf(
        "built-in pass (google): %zu hits from %zu KB in %.3f ms; bing profile / pass: %.0f\n",
        passRows, passBytes / 1024, passSeconds * 1e3, bingSeconds / passSeconds);
    std::printf(
        "goal: the 100-hit Bing page within 5 ms: %s; no slower than lxml (worst %.2f): %s\n",
        bingSeconds <= 0.005 ? "met" : "missed", worstRatio, worstRatio <= 1.0 ? "met" : "missed");
    return 0;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_search_profile: %s\n", e.what());
        return 1;
    }
}
