#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/wait_until.h"
#include "util/line_file.h"

// The recording script stands in for the user's browser for one test.
class BrowserScript {
public:
    explicit BrowserScript(const std::filesystem::path& folder)
        : script_(folder / "browser"), record_(folder / "opened") {
        std::ofstream(script_) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record_.string()
                               << ".tmp'\nmv '" << record_.string() << ".tmp' '" << record_.string()
                               << "'\n";
        std::filesystem::permissions(script_, std::filesystem::perms::owner_all);
        const char* value = std::getenv("BROWSER");
        saved_ = value ? std::optional<std::string>(value) : std::nullopt;
        ::setenv("BROWSER", script_.c_str(), 1);
    }
    ~BrowserScript() {
        if (saved_) {
            ::setenv("BROWSER", saved_->c_str(), 1);
        } else {
            ::unsetenv("BROWSER");
        }
    }
    BrowserScript(const BrowserScript&) = delete;
    BrowserScript& operator=(const BrowserScript&) = delete;

    // The arguments of the next start, one a line; empty when none came.
    std::vector<std::string> nextStart() {
        std::vector<std::string> arguments;
        if (testsupport::WaitUntil([&] { return std::filesystem::exists(record_); },
                                   std::chrono::seconds(10))) {
            arguments = util::ReadLineFile(record_.string());
            std::filesystem::remove(record_);
        }
        return arguments;
    }

private:
    std::filesystem::path script_;
    std::filesystem::path record_;
    std::optional<std::string> saved_;
};

// No browser registered for one test: $BROWSER unset and every XDG folder
// an empty one of the test's own.
class NoBrowserRegistered {
public:
    explicit NoBrowserRegistered(const std::filesystem::path& folder) {
        for (const char* name :
             {"BROWSER", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        std::filesystem::create_directories(folder);
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            ::setenv(name, folder.c_str(), 1);
        }
    }
    ~NoBrowserRegistered() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    NoBrowserRegistered(const NoBrowserRegistered&) = delete;
    NoBrowserRegistered& operator=(const NoBrowserRegistered&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
