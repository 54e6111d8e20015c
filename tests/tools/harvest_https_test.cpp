// zorvane-harvest against zorvane-demo-engine --tls: the same rows as over
// http, failures that say what to fix, and both schemes through a proxy.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/recording_proxy.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ChildProcess;

constexpr int kDeadlineMillis = 20000;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t CountLines(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) {
        ++n;
    }
    return n;
}

// The rows with the site text, the only column that names the scheme, taken out.
std::string WithoutSite(std::string rows, const std::string& site) {
    for (auto at = rows.find(site); at != std::string::npos; at = rows.find(site, at)) {
        rows.replace(at, site.size(), "SITE");
    }
    return rows;
}

// A demo engine on a free port; over TLS it also names its CA file.
class Engine {
public:
    explicit Engine(bool tls) {
        std::vector<std::string> argv = {ZORVANE_DEMO_ENGINE_PATH, "--port", "0", "--pages", "2"};
        if (tls) {
            argv.push_back("--tls");
        }
        process_ = std::make_unique<ChildProcess>(argv);
        const std::size_t lines = tls ? 2 : 1;
        process_->ReadUntil([&] { return CountNewlines(process_->out()) >= lines; },
                            kDeadlineMillis);
        const std::string& out = process_->out();
        const std::string first = out.substr(0, out.find('\n'));
        port_ = first.substr(first.rfind(':') + 1);
        const std::string key = "ZORVANE_CA_FILE=";
        if (const auto at = out.find(key); at != std::string::npos) {
            caFile_ = out.substr(at + key.size(), out.find('\n', at) - at - key.size());
        }
    }
    ~Engine() {
        kill(process_->pid(), SIGTERM);
        process_->Wait(kDeadlineMillis);
    }

    std::string site(const char* scheme) const {
        return std::string(scheme) + "://google@127.0.0.1:" + port_;
    }
    const std::string& port() const { return port_; }
    const std::string& caFile() const { return caFile_; }

private:
    static std::size_t CountNewlines(const std::string& text) {
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }

    std::unique_ptr<ChildProcess> process_;
    std::string port_;
    std::string caFile_;
};

class HarvestHttps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(plain_.port().empty());
        ASSERT_FALSE(tls_.port().empty());
        ASSERT_TRUE(std::filesystem::is_regular_file(tls_.caFile())) << tls_.caFile();
    }

    struct Run {
        int code;
        std::string out;
        std::string err;
    };

    // No proxy unless the test names one, whatever the machine has set.
    Run harvest(const std::string& site, std::vector<std::string> env = {}) {
        for (const char* name : {"http_proxy=", "https_proxy="}) {
            if (std::none_of(env.begin(), env.end(),
                             [&](const std::string& e) { return e.starts_with(name); })) {
                env.push_back(name);
            }
        }
        env.push_back("TMPDIR=" + dir_.path().string());
        ChildProcess run({ZORVANE_HARVEST_PATH, "--site", site, "--keyword", "red car"}, env);
        const int code = run.Wait(kDeadlineMillis);
        return {code, run.out(), run.err()};
    }

    testsupport::TempDir dir_{"zorvane_harvest_https"};
    Engine plain_{false};
    Engine tls_{true};
};

TEST_F(HarvestHttps, GivesTheRowsOfHttp) {
    const Run overHttp = harvest(plain_.site("http"));
    const Run overHttps = harvest(tls_.site("https"), {"ZORVANE_CA_FILE=" + tls_.caFile()});
    EXPECT_EQ(overHttps.code, 0) << overHttps.err;
    EXPECT_EQ(CountLines(overHttps.out), 201u);
    EXPECT_TRUE(WithoutSite(overHttps.out, tls_.site("https")) ==
                WithoutSite(overHttp.out, plain_.site("http")));
    EXPECT_TRUE(Contains(overHttps.err, "Getting URL: " + tls_.site("https") +
                                            "/search?as_q=red+car&num=100&start=100...\n"))
        << overHttps.err;
}

// What the status text says when https cannot be trusted: the cause, after
// the general connection error; nothing is fetched, nothing falls back.
TEST_F(HarvestHttps, CertificateAndCaFileFailuresSayWhatToFix) {
    const std::string missing = (dir_ / "no-such-ca.pem").string();
    const struct {
        std::string env;
        std::string status;
    } cases[] = {
        {.env = "ZORVANE_CA_FILE=",
         .status =
             "Connection error, check if you are connected and url exists. TLS: certificate verify "
             "failed for 127.0.0.1: unable to get local issuer certificate\n"},
        {.env = "ZORVANE_CA_FILE=" + missing,
         .status =
             "Connection error, check if you are connected and url exists. TLS: cannot use the CA "
             "file " +
             missing + ": "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.env);
        const Run run = harvest(tls_.site("https"), {c.env});
        EXPECT_EQ(run.code, 3) << run.err;
        EXPECT_TRUE(Contains(run.err, c.status)) << run.err;
        EXPECT_EQ(CountLines(run.out), 1u);
    }
}

TEST_F(HarvestHttps, BothSchemesThroughAProxyNamedInTheStatus) {
    const Run direct = harvest(plain_.site("http"));
    testsupport::RecordingProxy proxy;
    const std::string via = "http://" + proxy.hostPort();
    const std::vector<std::string> env = {"http_proxy=" + via, "https_proxy=" + via,
                                          "ZORVANE_CA_FILE=" + tls_.caFile()};
    const Run overHttp = harvest(plain_.site("http"), env);
    const Run overHttps = harvest(tls_.site("https"), env);
    for (const Run* run : {&overHttp, &overHttps}) {
        EXPECT_EQ(run->code, 0) << run->err;
        EXPECT_TRUE(Contains(run->err, "&start=100 via proxy " + proxy.hostPort() + "...\n"))
            << run->err;
    }
    EXPECT_EQ(CountLines(direct.out), 201u);
    EXPECT_TRUE(overHttp.out == direct.out);
    EXPECT_TRUE(WithoutSite(overHttps.out, tls_.site("https")) ==
                WithoutSite(direct.out, plain_.site("http")));
    // Two pages each: the http ones forwarded whole, the https ones tunnelled.
    ASSERT_EQ(proxy.connectionCount(), 4u);
    EXPECT_EQ(proxy.received(0).rfind("GET http://127.0.0.1:" + plain_.port() +
                                          "/search?as_q=red+car&num=100&start=0 HTTP/1.1\r\n",
                                      0),
              0u)
        << proxy.received(0);
    EXPECT_EQ(proxy.received(2).rfind("CONNECT 127.0.0.1:" + tls_.port() + " HTTP/1.1\r\n", 0), 0u)
        << proxy.received(2);
}

TEST(DemoEngineTls, TheCaFileGoesWithTheEngine) {
    std::string caFile;
    {
        const Engine engine(true);
        caFile = engine.caFile();
        EXPECT_TRUE(std::filesystem::is_regular_file(caFile)) << caFile;
    }
    EXPECT_FALSE(std::filesystem::exists(caFile));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(caFile).parent_path()));
}

}  // namespace
