#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "app/f_main.h"
#include "app/message_dialog.h"
#include "app/save_dialog.h"
#include "app/user_settings.h"
#include "tests/branding/scripted_random.h"
#include "tests/support/temp_dir.h"

// A main window over a fresh temporary program folder, answering its
// dialogs by script, with a configuration home of its own, so that no test
// sees what another one's windows remembered or which lines it typed.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        if (const char* home = std::getenv("XDG_CONFIG_HOME")) {
            savedConfigHome_ = home;
        }
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    }
    ~WindowTest() override {
        savedConfigHome_ ? ::setenv("XDG_CONFIG_HOME", savedConfigHome_->c_str(), 1)
                         : ::unsetenv("XDG_CONFIG_HOME");
    }

    void TearDown() override { window_.reset(); }

    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }

    // Where this test's windows keep their settings.
    static std::filesystem::path settingsFile() { return app::UserSettingsPath().toStdString(); }
    // The user's own site lines.
    std::filesystem::path userSitesFile() const { return config_ / "zorvane/sites.txt"; }

    // The brand's random picks come from picks, in order (0 once they run out).
    app::TfrmMain& makeWindow(std::deque<std::size_t> picks = {}) {
        auto msg = std::make_unique<app::ScriptedMessageDialog>();
        auto save = std::make_unique<app::ScriptedSaveDialog>();
        msg_ = msg.get();
        save_ = save.get();
        window_.reset();
        window_ = std::make_unique<app::TfrmMain>(
            folder_.pathWithSlash(), std::move(msg), std::move(save),
            std::make_unique<branding_test::ScriptedRandom>(std::move(picks)));
        // The start-up update check never leaves the machine: nothing
        // listens on this port.
        window_->LiveUpdateBaseURL = "http://127.0.0.1:1/";
        return *window_;
    }

    // The test main's configuration home, set before any test.
    std::optional<std::string> savedConfigHome_;
    testsupport::TempDir folder_{"zorvane_app"};
    testsupport::TempDir config_{"zorvane_app_settings"};
    std::unique_ptr<app::TfrmMain> window_;
    app::ScriptedMessageDialog* msg_ = nullptr;
    app::ScriptedSaveDialog* save_ = nullptr;
};
