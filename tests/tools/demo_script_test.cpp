// scripts/demo stopped every way a user stops it: its demo search engine and
// demo publisher never outlive it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

bool Listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The process id of the window the script started, or -1.
pid_t WindowOf(pid_t script) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid;
        std::string comm;
        std::string state;
        pid_t parent = 0;
        if (stat >> pid >> comm >> state >> parent && parent == script && comm == "(zorvane)") {
            return std::stoi(pid);
        }
    }
    return -1;
}

class DemoScript : public ::testing::Test {
protected:
    // Starts the demo on the built application folder and waits until both
    // servers are up; their ports go to enginePort_ and publisherPort_.
    void Start() {
        script_ = std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{"/bin/bash", ZORVANE_SOURCE_DIR "/scripts/demo"},
            std::vector<std::string>{"ZORVANE_DEMO_DIST=" + dist_.string(),
                                     "ZORVANE_DEMO_DIR=" + (temp_ / "demo").string(),
                                     "QT_QPA_PLATFORM=offscreen", "http_proxy=", "https_proxy="});
        const std::regex started(
            "search engine http://127\\.0\\.0\\.1:([0-9]+), "
            "publisher http://127\\.0\\.0\\.1:([0-9]+)");
        std::smatch ports;
        ASSERT_TRUE(script_->ReadUntil(
            [&] { return std::regex_search(script_->err(), ports, started); }, 60000))
            << script_->err();
        enginePort_ = std::stoi(ports[1]);
        publisherPort_ = std::stoi(ports[2]);
        ASSERT_TRUE(
            testsupport::WaitUntil([&] { return WindowOf(script_->pid()) > 0; }, seconds(30)));
    }

    // Both servers are gone once the script has ended.
    void ExpectServersStopped() {
        script_->Wait(30000);
        EXPECT_FALSE(script_->timedOut());
        EXPECT_TRUE(testsupport::WaitUntil(
            [&] { return !Listening(enginePort_) && !Listening(publisherPort_); }, seconds(10)))
            << script_->err();
    }

    testsupport::TempDir temp_{"zorvane-demo-script"};
    fs::path dist_ = ZORVANE_DIST_DIR;
    std::unique_ptr<testsupport::ChildProcess> script_;
    int enginePort_ = 0;
    int publisherPort_ = 0;
};

TEST_F(DemoScript, ServersStopWhenTheWindowCloses) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Listening(enginePort_) && Listening(publisherPort_));
    ASSERT_EQ(::kill(WindowOf(script_->pid()), SIGTERM), 0);
    ExpectServersStopped();
}

TEST_F(DemoScript, ServersStopOnEverySignalToTheScript) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ASSERT_NO_FATAL_FAILURE(Start());
        const pid_t window = WindowOf(script_->pid());
        ASSERT_EQ(::kill(script_->pid(), signal), 0);
        ExpectServersStopped();
        EXPECT_TRUE(testsupport::WaitUntil([&] { return ::kill(window, 0) != 0; }, seconds(10)))
            << "the window outlived the script after signal " << signal;
    }
}

TEST_F(DemoScript, TheEngineStopsWhenThePublisherCannotStart) {
    // An application folder without the publisher: the demo fails halfway.
    dist_ = temp_ / "dist";
    fs::copy(ZORVANE_DIST_DIR, dist_, fs::copy_options::recursive);
    fs::remove(dist_ / "zorvane-demo-publisher");
    testsupport::ChildProcess script(
        {"/bin/bash", ZORVANE_SOURCE_DIR "/scripts/demo"},
        {"ZORVANE_DEMO_DIST=" + dist_.string(), "ZORVANE_DEMO_DIR=" + (temp_ / "demo").string(),
         "QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(script.Wait(60000), 1);
    EXPECT_NE(script.err().find("zorvane-demo-publisher did not start"), std::string::npos)
        << script.err();
    std::ifstream engineOut(temp_ / "demo/logs/zorvane-demo-engine.out");
    std::string line;
    std::getline(engineOut, line);
    std::smatch port;
    ASSERT_TRUE(std::regex_search(line, port, std::regex("127\\.0\\.0\\.1:([0-9]+)"))) << line;
    EXPECT_TRUE(
        testsupport::WaitUntil([&] { return !Listening(std::stoi(port[1])); }, seconds(10)));
}

}  // namespace
