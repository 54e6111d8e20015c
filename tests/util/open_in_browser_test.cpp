#include "util/open_in_browser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"
#include "util/line_file.h"
#include "util/program_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kXdgVariables[] = {
    "HOME",          "BROWSER",       "XDG_CONFIG_HOME",    "XDG_CONFIG_DIRS",
    "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"};

// Points every XDG folder into a fresh temporary tree, so the user's real
// browser is never found and never started.
class OpenInBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kXdgVariables) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        const std::pair<const char*, const char*> folders[] = {
            {"HOME", "home"},          {"XDG_CONFIG_HOME", "config"}, {"XDG_CONFIG_DIRS", "etc"},
            {"XDG_DATA_HOME", "data"}, {"XDG_DATA_DIRS", "share"},
        };
        for (const auto& [name, folder] : folders) {
            fs::create_directories(root_ / folder / "applications");
            ::setenv(name, (root_ / folder).c_str(), 1);
        }
        // The recording browser lives in a folder with a blank in its name.
        script_ = (root_ / "my browser" / "record.sh").string();
        write(
            script_,
            "#!/bin/sh\n"
            "out='" +
                (root_ / "args").string() +
                "'\n"
                "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$out.tmp\"\n"
                "mv \"$out.tmp\" \"$out\"\n");
        fs::permissions(script_, fs::perms::owner_all);
    }

    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name, value->c_str(), 1);
            } else {
                ::unsetenv(name);
            }
        }
    }

    void write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    void registerDesktop(const char* folder, const char* id, const std::string& body) {
        write(root_ / folder / "applications" / id, "[Desktop Entry]\nType=Application\n" + body);
    }

    // The arguments the recording browser saw; nullopt when it did not run in time.
    std::optional<std::vector<std::string>> recordedArgs() {
        const fs::path args = root_ / "args";
        if (!testsupport::WaitUntil([&] { return fs::exists(args); }, std::chrono::seconds(10))) {
            return std::nullopt;
        }
        return util::ReadLineFile(args.string());
    }

    testsupport::TempDir root_{"zorvane_browser"};
    std::string script_;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(OpenInBrowserTest, StartsTheDefaultHandlerWithTheUrlAsOneArgument) {
    write(root_ / "config" / "mimeapps.list",
          "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
          "[Default Applications]\nx-scheme-handler/https=other.desktop\n"
          "x-scheme-handler/http=missing.desktop;recorder.desktop;\n");
    registerDesktop("share", "recorder.desktop",
                    "Name=Recorder\nExec=\"" + script_ + "\" --new-window %u\n");
    registerDesktop("share", "other.desktop", "Exec=/bin/false %u\n");

    const std::string url = "http://example.com/a b?q=\"x\"&y=$(touch pwned);z'`";
    EXPECT_EQ(util::FindBrowserProgram(), script_);
    EXPECT_TRUE(util::OpenInBrowser(url));
    EXPECT_EQ(recordedArgs(), (std::vector<std::string>{"1", url}));
}

TEST_F(OpenInBrowserTest, EmptyUrlStartsTheBrowserWithoutArguments) {
    // $BROWSER is split at blanks, so it names the script through a link.
    fs::create_symlink(script_, root_ / "browser");
    ::setenv("BROWSER", ((root_ / "browser").string() + " --flag:firefox").c_str(), 1);
    EXPECT_TRUE(util::OpenInBrowser(""));
    EXPECT_EQ(recordedArgs(), (std::vector<std::string>{"0"}));
}

TEST_F(OpenInBrowserTest, FindsTheRegisteredProgram) {
    const struct {
        const char* name;
        const char* browser;  // $BROWSER, or nullptr to leave it unset
        std::vector<std::pair<std::string, std::string>> files;  // below the root
        const char* program;
    } cases[] = {
        {.name = "nothing registered", .browser = nullptr, .files = {}, .program = ""},
        {.name = "empty BROWSER is unset", .browser = "", .files = {}, .program = ""},
        {.name = "BROWSER first command, first word",
         .browser = "firefox --private:chromium",
         .files = {},
         .program = "firefox"},
        {.name = "BROWSER wins over XDG",
         .browser = "lynx",
         .files = {{"config/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=a.desktop\n"},
                   {"share/applications/a.desktop", "[Desktop Entry]\nExec=/opt/a %u\n"}},
         .program = "lynx"},
        {.name = "default names a missing entry",
         .browser = nullptr,
         .files = {{"config/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=gone.desktop\n"}},
         .program = ""},
        {.name = "hidden entry does not count",
         .browser = nullptr,
         .files = {{"config/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=h.desktop\n"},
                   {"data/applications/h.desktop",
                    "[Desktop Entry]\nHidden=true\nExec=/opt/h %u\n"}},
         .program = ""},
        {.name = "user data entry shadows the system one",
         .browser = nullptr,
         .files = {{"etc/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=b.desktop\n"},
                   {"data/applications/b.desktop", "[Desktop Entry]\nExec=/home/b %U\n"},
                   {"share/applications/b.desktop", "[Desktop Entry]\nExec=/usr/b %U\n"}},
         .program = "/home/b"},
        {.name = "user config wins over data folder list",
         .browser = nullptr,
         .files = {{"config/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=c.desktop\n"},
                   {"share/applications/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=d.desktop\n"},
                   {"share/applications/c.desktop", "[Desktop Entry]\nExec=/c\n"},
                   {"share/applications/d.desktop", "[Desktop Entry]\nExec=/d\n"}},
         .program = "/c"},
        {.name = "added association, then mimeinfo.cache",
         .browser = nullptr,
         .files = {{"share/applications/mimeinfo.cache",
                    "[MIME Cache]\nx-scheme-handler/http=e.desktop;\n"},
                   {"share/applications/e.desktop", "[Desktop Entry]\nExec=e-browser %u\n"}},
         .program = "e-browser"},
        {.name = "Exec key of another group is ignored",
         .browser = nullptr,
         .files = {{"config/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=f.desktop\n"},
                   {"share/applications/f.desktop",
                    "[Desktop Action new]\nExec=/wrong\n[Desktop Entry]\nExec = /right %u\n"}},
         .program = "/right"},
        {.name = "quoted program with escapes",
         .browser = nullptr,
         .files = {{"config/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=g.desktop\n"},
                   {"share/applications/g.desktop",
                    "[Desktop Entry]\nExec=\"/opt/my \\\\\"web\\\\\" app/run\" --x %u\n"}},
         .program = "/opt/my \"web\" app/run"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [path, text] : c.files) {
            write(root_ / path, text);
        }
        if (c.browser != nullptr) {
            ::setenv("BROWSER", c.browser, 1);
        }
        EXPECT_EQ(util::FindBrowserProgram(), c.program);
        ::unsetenv("BROWSER");
        for (const auto& [path, text] : c.files) {
            fs::remove(root_ / path);
        }
    }
}

TEST_F(OpenInBrowserTest, FalseOnlyWhenNoHandlerIsRegistered) {
    EXPECT_FALSE(util::OpenInBrowser("http://example.com/"));
    // A registered program that cannot be started still counts as a browser.
    ::setenv("BROWSER", (root_ / "no such browser").c_str(), 1);
    EXPECT_TRUE(util::OpenInBrowser("http://example.com/"));
}

TEST(ProgramFolder, IsTheFolderOfTheRunningTest) {
    const std::string folder = util::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(fs::canonical("/proc/self/exe").parent_path().string() + "/", folder);
}

}  // namespace
