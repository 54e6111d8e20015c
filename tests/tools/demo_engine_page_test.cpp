// zorvane-demo-engine --page: every GET answered with the saved page's exact
// bytes and the charset asked for, over a kept connection and over TLS, and
// arguments that cannot make such a server refused.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/http_error.h"
#include "net/stream.h"
#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ChildProcess;

constexpr int kDeadlineMillis = 20000;

// Bytes a text reader would trip over: a Latin-1 letter, a NUL, a blank
// line that looks like the end of a header, and no newline at the end.
const std::string kPage = std::string("<html><head><title>Caf\xe9</title></head>\r\n\r\n<body>") +
                          std::string(1, '\0') + "<a href=\"/r?u=1\">one</a></body></html>";

// The demo engine serving one page, ended with SIGTERM like a user's Ctrl-C.
class PageEngine {
public:
    explicit PageEngine(std::vector<std::string> options) {
        std::vector<std::string> argv = {ZORVANE_DEMO_ENGINE_PATH, "--port", "0"};
        argv.insert(argv.end(), options.begin(), options.end());
        process_ = std::make_unique<ChildProcess>(argv);
        const bool tls = std::find(argv.begin(), argv.end(), "--tls") != argv.end();
        const std::size_t lines = tls ? 2 : 1;
        process_->ReadUntil(
            [&] {
                return static_cast<std::size_t>(std::count(process_->out().begin(),
                                                           process_->out().end(), '\n')) >= lines;
            },
            kDeadlineMillis);
        const std::string& out = process_->out();
        const std::string first = out.substr(0, out.find('\n'));
        if (const auto at = first.find("://"); at != std::string::npos) {
            baseUrl_ = first.substr(first.rfind(' ', at) + 1);
        }
        const std::string key = "ZORVANE_CA_FILE=";
        if (const auto at = out.find(key); at != std::string::npos) {
            caFile_ = out.substr(at + key.size(), out.find('\n', at) - at - key.size());
        }
    }
    ~PageEngine() {
        kill(process_->pid(), SIGTERM);
        process_->Wait(kDeadlineMillis);
    }

    const std::string& baseUrl() const { return baseUrl_; }
    const std::string& caFile() const { return caFile_; }

private:
    std::unique_ptr<ChildProcess> process_;
    std::string baseUrl_;
    std::string caFile_;
};

class DemoEnginePage : public ::testing::Test {
protected:
    void SetUp() override {
        client_.proxies = net::ProxySettings();
        testsupport::WriteFileBytes(pageFile_, kPage);
    }

    std::string Get(const std::string& url) {
        net::MemoryStream body;
        client_.GetToStream(url, body);
        return body.data();
    }

    testsupport::TempDir dir_{"zorvane_demo_engine_page"};
    const std::string pageFile_ = (dir_ / "saved.html").string();
    net::HttpClient client_;
};

// Any target gets the page, and the connection stays for the next request.
TEST_F(DemoEnginePage, EveryGetGetsThePageBytesWithTheCharset) {
    const PageEngine engine({"--page", pageFile_, "--charset", "ISO-8859-1"});
    ASSERT_FALSE(engine.baseUrl().empty());
    for (const char* target : {"/search?q=red+car&first=1", "/search?q=red+car&first=11", "/"}) {
        EXPECT_EQ(Get(engine.baseUrl() + target), kPage) << target;
        EXPECT_EQ(client_.responseCode(), 200);
        EXPECT_EQ(client_.responseHeader("Content-Type"), "text/html; charset=ISO-8859-1");
        EXPECT_EQ(client_.responseHeader("Content-Length"), std::to_string(kPage.size()));
        EXPECT_EQ(client_.responseHeader("Connection"), "keep-alive");
        EXPECT_TRUE(client_.connected()) << target;
    }
}

TEST_F(DemoEnginePage, WithoutACharsetThePageIsPlainTextHtml) {
    const PageEngine engine({"--page", pageFile_});
    EXPECT_EQ(Get(engine.baseUrl() + "/search?q=x"), kPage);
    EXPECT_EQ(client_.responseHeader("Content-Type"), "text/html");
}

// GET and the url-encoded form a next-page form posts; nothing else.
TEST_F(DemoEnginePage, OnlyGetIsServed) {
    const PageEngine engine({"--page", pageFile_});
    net::MemoryStream page;
    client_.PostToStream(engine.baseUrl() + "/html/", "q=x&s=30", page);
    EXPECT_EQ(page.data(), kPage);
    try {
        client_.PostForm(engine.baseUrl() + "/search", net::FormDataBody());
        FAIL() << "a POST was answered";
    } catch (const net::HttpProtocolError& e) {
        EXPECT_EQ(e.code(), 405);
    }
}

// The only https test of this program: the client reads its CA file once.
TEST_F(DemoEnginePage, ServesThePageOverTls) {
    const PageEngine engine({"--page", pageFile_, "--charset", "utf-8", "--tls"});
    ASSERT_TRUE(engine.baseUrl().starts_with("https://127.0.0.1:")) << engine.baseUrl();
    ASSERT_FALSE(engine.caFile().empty());
    ::setenv("ZORVANE_CA_FILE", engine.caFile().c_str(), 1);
    EXPECT_EQ(Get(engine.baseUrl() + "/search?q=a"), kPage);
    EXPECT_EQ(client_.responseHeader("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(Get(engine.baseUrl() + "/search?q=b"), kPage);
}

TEST_F(DemoEnginePage, RefusesWhatCannotBeServed) {
    const std::string tooLarge = (dir_ / "large.html").string();
    // Sparse: its size is all that counts.
    testsupport::WriteFileBytes(tooLarge, "");
    std::filesystem::resize_file(tooLarge, 64 * 1024 * 1024 + 1);
    const struct {
        const char* what;
        std::vector<std::string> options;
        const char* says;
    } cases[] = {
        {.what = "missing file",
         .options = {"--page", (dir_ / "absent.html").string()},
         .says = "not a readable file"},
        {.what = "folder", .options = {"--page", dir_.path().string()}, .says = "not a readable"},
        {.what = "too large", .options = {"--page", tooLarge}, .says = "larger than 64 MiB"},
        {.what = "charset without a page", .options = {"--charset", "utf-8"}, .says = "usage"},
        {.what = "charset carrying a header",
         .options = {"--page", pageFile_, "--charset", "utf-8\r\nSet-Cookie: a=b"},
         .says = "usage"},
        {.what = "charset carrying a parameter",
         .options = {"--page", pageFile_, "--charset", "utf-8; x=y"},
         .says = "usage"},
        {.what = "empty charset",
         .options = {"--page", pageFile_, "--charset", ""},
         .says = "usage"},
        {.what = "page without its file", .options = {"--page"}, .says = "usage"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {ZORVANE_DEMO_ENGINE_PATH, "--port", "0"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        ChildProcess run(argv);
        EXPECT_EQ(run.Wait(kDeadlineMillis), 2) << c.what;
        EXPECT_NE(run.err().find(c.says), std::string::npos) << c.what << ": " << run.err();
        EXPECT_EQ(run.out(), "") << c.what;
    }
}

}  // namespace
