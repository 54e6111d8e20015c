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
// dialogs by script, with a configuration and a data home of its own, so
// that no test sees what another one's windows remembered, which lines it
// typed or which searches it kept.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        if (const char* home = std::getenv("XDG_CONFIG_HOME")) {
            savedConfigHome_ = home;
        }
        if (const char* home = std::getenv("XDG_DATA_HOME")) {
            savedDataHome_ = home;
        }
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
    }
    ~WindowTest() override {
        savedConfigHome_ ? ::setenv("XDG_CONFIG_HOME", savedConfigHome_->c_str(), 1)
                         : ::unsetenv("XDG_CONFIG_HOME");
        savedDataHome_ ? ::setenv("XDG_DATA_HOME", savedDataHome_->c_str(), 1)
                       : ::unsetenv("XDG_DATA_HOME");
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

    // The test main's configuration and data homes, set before any test.
    std::optional<std::string> savedConfigHome_;
    std::optional<std::string> savedDataHome_;
    testsupport::TempDir folder_{"zorvane_app"};
    testsupport::TempDir config_{"zorvane_app_settings"};
    // Where this test's searches are kept: the rank history.
    testsupport::TempDir data_{"zorvane_app_data"};
    std::unique_ptr<app::TfrmMain> window_;
    app::ScriptedMessageDialog* msg_ = nullptr;
    app::ScriptedSaveDialog* save_ = nullptr;
};
