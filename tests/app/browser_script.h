#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
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
