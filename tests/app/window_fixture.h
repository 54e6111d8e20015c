#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/f_main.h"
#include "app/message_dialog.h"
#include "app/save_dialog.h"
#include "app/user_settings.h"
#include "tests/branding/scripted_random.h"
#include "tests/support/temp_dir.h"

// A main window over a fresh temporary program folder, answering its
// dialogs by script, with a configuration folder of its own, so that no test
// sees what another one's windows remembered.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(config_.path().string()));
    }

    void TearDown() override { window_.reset(); }

    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }

    // Where this test's windows keep their settings.
    static std::filesystem::path settingsFile() { return app::UserSettingsPath().toStdString(); }

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

    testsupport::TempDir folder_{"zorvane_app"};
    testsupport::TempDir config_{"zorvane_app_settings"};
    std::unique_ptr<app::TfrmMain> window_;
    app::ScriptedMessageDialog* msg_ = nullptr;
    app::ScriptedSaveDialog* save_ = nullptr;
};
