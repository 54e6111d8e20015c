// The user's configuration folder from the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "util/config_folder.h"

namespace {

// Sets the base directory variables for one case and puts back what the
// test program was started with.
class ConfigVariables {
public:
    ConfigVariables() : config_(Saved("XDG_CONFIG_HOME")), home_(Saved("HOME")) {}
    ~ConfigVariables() {
        Set("XDG_CONFIG_HOME", config_ ? config_->c_str() : nullptr);
        Set("HOME", home_ ? home_->c_str() : nullptr);
    }
    ConfigVariables(const ConfigVariables&) = delete;
    ConfigVariables& operator=(const ConfigVariables&) = delete;

    static void Set(const char* name, const char* value) {
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }

private:
    static std::optional<std::string> Saved(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }

    std::optional<std::string> config_;
    std::optional<std::string> home_;
};

TEST(ConfigFolder, FollowsTheBaseDirectoryRules) {
    const ConfigVariables restore;
    const struct {
        const char* config;
        const char* home;
        const char* base;
    } cases[] = {
        {.config = "/cfg", .home = "/home/u", .base = "/cfg/"},
        {.config = "/cfg/", .home = "/home/u", .base = "/cfg/"},
        {.config = nullptr, .home = "/home/u", .base = "/home/u/.config/"},
        {.config = "", .home = "/home/u/", .base = "/home/u/.config/"},
        // A relative setting is ignored, by both variables.
        {.config = "cfg", .home = "/home/u", .base = "/home/u/.config/"},
        {.config = "cfg", .home = "home/u", .base = ""},
        {.config = nullptr, .home = "/", .base = "/.config/"},
        {.config = nullptr, .home = nullptr, .base = ""},
        {.config = "", .home = "", .base = ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.config ? c.config : "(unset)") + " " +
                     (c.home ? c.home : "(unset)"));
        ConfigVariables::Set("XDG_CONFIG_HOME", c.config);
        ConfigVariables::Set("HOME", c.home);
        EXPECT_EQ(util::ConfigHome(), c.base);
        // Every per-user file of the program lives in the one folder.
        EXPECT_EQ(util::UserConfigFolder(), *c.base ? std::string(c.base) + "zorvane/" : "");
    }
}

TEST(ConfigFolder, DataFolderFollowsTheSameRules) {
    const ConfigVariables restore;
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> savedData =
        data ? std::optional<std::string>(data) : std::nullopt;
    const struct {
        const char* data;
        const char* home;
        const char* folder;
    } cases[] = {
        {.data = "/d", .home = "/home/u", .folder = "/d/zorvane/"},
        {.data = nullptr, .home = "/home/u", .folder = "/home/u/.local/share/zorvane/"},
        {.data = "d", .home = "/home/u/", .folder = "/home/u/.local/share/zorvane/"},
        {.data = "d", .home = "home/u", .folder = ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.data ? c.data : "(unset)") + " " + c.home);
        ConfigVariables::Set("XDG_DATA_HOME", c.data);
        ConfigVariables::Set("HOME", c.home);
        EXPECT_EQ(util::UserDataFolder(), c.folder);
    }
    ConfigVariables::Set("XDG_DATA_HOME", savedData ? savedData->c_str() : nullptr);
}

}  // namespace
