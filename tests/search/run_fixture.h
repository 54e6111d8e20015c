#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fake_host.h"
#include "net/http_client.h"
#include "search/engines.h"
#include "search/search_run.h"
#include "tests/support/temp_dir.h"
#include "tools/demo_engine/demo_pages.h"
#include "tools/demo_engine/loopback_server.h"

namespace search::testing {

// A fake window with a folder of its own for the debug page, the harvester's
// client wired to it, and a demo engine on a loopback port.
class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        settings_.debugPageFile = folder_ + "debug/test.html";
        std::filesystem::create_directory(folder_ + "debug");
        settings_.backlinksSearchUrl =
            engine_.baseUrl() + "/search?num=100&filter=0&lr=&as_qdr=all&q=link%3A";
        engine_.Start();
        AttachHarvesterClient(http_, host_);
    }

    void TearDown() override { engine_.Stop(); }

    std::string site(const std::string& engineName) const {
        return "http://" + engineName + "@127.0.0.1:" + std::to_string(engine_.port());
    }

    std::size_t requestCount() const { return engine_.requests().size(); }

    testsupport::TempDir dir_{"zorvane_search"};
    const std::string folder_ = dir_.pathWithSlash();
    FakeHost host_;
    EngineSettings settings_;
    net::HttpClient http_;
    demo::LoopbackServer engine_{
        [](const demo::HttpRequest& r) { return demo::DemoReply(r, demo::kDefaultPageLimit); }};
    SearchContext ctx_{host_, http_, settings_};
};

}  // namespace search::testing
