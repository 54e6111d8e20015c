// The installed application folder and the Debian package: what `cmake
// --install` lays out, that the copy runs from a folder it cannot write, and
// what the package carries where.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kAppId = "example.zorvane.Zorvane";
// Generous: the suite may run under sanitizers on a busy machine.
constexpr int kProgramMillis = 120000;

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

Outcome RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
    testsupport::ChildProcess child(argv, env);
    const int code = child.Wait(kProgramMillis);
    return {code, child.out(), child.err()};
}

// The program's full path from PATH, as the child runner needs it; empty
// when the machine does not have it.
std::string FindProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        const fs::path candidate = fs::path(dirs.substr(0, colon)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
        dirs.remove_prefix(colon == std::string_view::npos ? dirs.size() : colon + 1);
    }
    return {};
}

void Install(const fs::path& prefix) {
    const Outcome install =
        RunProgram({ZORVANE_CMAKE, "--install", ZORVANE_BUILD_DIR, "--prefix", prefix.string()});
    ASSERT_EQ(install.code, 0) << install.out << install.err;
}

std::string DesktopEntryName() {
    return std::string(kAppId) + ".desktop";
}

// The lines of a text file that start with key=.
std::vector<std::string> Values(const std::string& text, std::string_view key) {
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string_view line(text.data() + start, end - start);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == '=') {
            values.emplace_back(line.substr(key.size() + 1));
        }
        start = end + 1;
    }
    return values;
}

bool IsExecutableFile(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) != 0;
}

TEST(InstalledFolder, HoldsTheProgramsSideFilesAndDesktopIntegration) {
    testsupport::TempDir temp("zorvane-install");
    const fs::path prefix = temp / "opt";
    Install(prefix);

    for (const char* program : {"zorvane", "zorvane-harvest", "zorvane-history", "zorvane-brand",
                                "zorvane-demo-engine", "zorvane-demo-publisher"}) {
        EXPECT_TRUE(IsExecutableFile(prefix / program)) << program;
    }
    EXPECT_EQ(testsupport::ReadFileBytes(prefix / "sites.txt"),
              testsupport::ReadFileBytes(fs::path(ZORVANE_SOURCE_DIR) / "app/resources/sites.txt"));
    // The profiles come from the build's application folder when it has them.
    const fs::path built = fs::path(ZORVANE_DIST_DIR) / "engines.json";
    const fs::path source = fs::path(ZORVANE_SOURCE_DIR) / "search/profiles/engines.json";
    if (fs::exists(built) || fs::exists(source)) {
        EXPECT_EQ(testsupport::ReadFileBytes(prefix / "engines.json"),
                  testsupport::ReadFileBytes(fs::exists(built) ? built : source));
    }

    const std::string icon = std::string(kAppId) + ".svg";
    EXPECT_EQ(
        testsupport::ReadFileBytes(prefix / "share/icons/hicolor/scalable/apps" / icon),
        testsupport::ReadFileBytes(fs::path(ZORVANE_SOURCE_DIR) / "app/resources/zorvane.svg"))
        << "the menu shows the window's own mark";
    const std::string entry =
        testsupport::ReadFileBytes(prefix / "share/applications" / DesktopEntryName());
    EXPECT_EQ(Values(entry, "Exec"),
              std::vector<std::string>{"\"" + (prefix / "zorvane").string() + "\""});
    EXPECT_EQ(Values(entry, "Icon"), std::vector<std::string>{std::string(kAppId)});
    const std::string metainfo = testsupport::ReadFileBytes(
        prefix / "share/metainfo" / (std::string(kAppId) + ".metainfo.xml"));
    EXPECT_NE(metainfo.find("<id>" + std::string(kAppId) + "</id>"), std::string::npos);
    EXPECT_NE(metainfo.find(">" + DesktopEntryName() + "</launchable>"), std::string::npos);
    EXPECT_NE(metainfo.find("version=\"" ZORVANE_VERSION "\""), std::string::npos);
}

TEST(InstalledFolder, DesktopFilesPassTheFreedesktopValidatorsWhereverThePrefixIs) {
    const std::string desktopValidate = FindProgram("desktop-file-validate");
    const std::string appstream = FindProgram("appstreamcli");
    // scripts/setup installs both; a missing one is a setup fault, never a pass.
    ASSERT_FALSE(desktopValidate.empty())
        << "desktop-file-validate (desktop-file-utils) is missing";
    ASSERT_FALSE(appstream.empty()) << "appstreamcli (appstream) is missing";
    testsupport::TempDir temp("zorvane-install");
    // Characters the entry's Exec must quote and escape.
    const fs::path prefix = temp / "my apps $HOME \"q\" 100%";
    Install(prefix);
    const fs::path entry = prefix / "share/applications" / DesktopEntryName();
    const Outcome entryCheck = RunProgram({desktopValidate, entry.string()});
    EXPECT_EQ(entryCheck.code, 0) << entryCheck.out << entryCheck.err;
    EXPECT_EQ(Values(testsupport::ReadFileBytes(entry), "Exec"),
              std::vector<std::string>{"\"" + temp.path().string() +
                                       "/my apps \\\\$HOME \\\\\"q\\\\\" 100%%/zorvane\""});
    const Outcome metainfoCheck = RunProgram(
        {appstream, "validate", "--no-net",
         (prefix / "share/metainfo" / (std::string(kAppId) + ".metainfo.xml")).string()});
    EXPECT_EQ(metainfoCheck.code, 0) << metainfoCheck.out << metainfoCheck.err;
}

// The package starts the programs through links in /usr/bin: a program
// started by a link still reads the side files beside its real self.
TEST(InstalledFolder, ProgramStartedThroughALinkReadsTheSideFilesBesideItself) {
    testsupport::TempDir temp("zorvane-link");
    const fs::path prefix = temp / "opt";
    Install(prefix);
    fs::copy_file(fs::path(ZORVANE_SOURCE_DIR) / "search/profiles/engines.json",
                  prefix / "engines.json", fs::copy_options::overwrite_existing);
    fs::create_directories(temp / "bin");
    fs::create_directories(temp / "config");
    fs::create_symlink(prefix / "zorvane-harvest", temp / "bin/zorvane-harvest");

    const Outcome list = RunProgram({(temp / "bin/zorvane-harvest").string(), "--list-engines"},
                                    {"XDG_CONFIG_HOME=" + (temp / "config").string()});
    ASSERT_EQ(list.code, 0) << list.err;
    // Every profile line ends in the file it came from.
    const std::string besideTheProgram = (fs::canonical(prefix) / "engines.json").string();
    EXPECT_NE(list.out.find("\t" + besideTheProgram + "\n"), std::string::npos) << list.out;
}

// Takes away every write permission under the folder, the folder included.
void MakeReadOnly(const fs::path& folder) {
    const auto noWrite = [](const fs::path& path) {
        fs::permissions(path,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    };
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_symlink()) {
            noWrite(entry.path());
        }
    }
    noWrite(folder);
}

// Reads the URL a demo server prints when it is listening.
std::string ListeningUrl(testsupport::ChildProcess& server) {
    constexpr std::string_view kMark = "listening on ";
    const auto line = [&] {
        const std::size_t at = server.out().find(kMark);
        return at != std::string::npos && server.out().find('\n', at) != std::string::npos;
    };
    if (!server.ReadUntil(line, kProgramMillis)) {
        return {};
    }
    const std::size_t start = server.out().find(kMark) + kMark.size();
    return server.out().substr(start, server.out().find('\n', start) - start);
}

std::size_t Count(const std::string& text, std::string_view what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

TEST(InstalledFolder, CopyRunsFromAFolderItCannotWrite) {
    testsupport::TempDir temp("zorvane-readonly");
    const fs::path prefix = temp / "zorvane";
    const fs::path home = temp / "home";
    Install(prefix);
    fs::create_directory(home);

    // Root writes into any folder, so the copy then runs as nobody.
    std::vector<std::string> runAs;
    if (::geteuid() == 0) {
        const std::string setpriv = FindProgram("setpriv");
        const passwd* nobody = ::getpwnam("nobody");
        ASSERT_FALSE(setpriv.empty()) << "setpriv (util-linux) is missing";
        ASSERT_NE(nobody, nullptr) << "the system has no user nobody";
        runAs = {setpriv, "--reuid=" + std::to_string(nobody->pw_uid),
                 "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups", "--"};
        fs::permissions(temp.path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        ASSERT_EQ(::chown(home.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    const auto as = [&runAs](std::vector<std::string> argv) {
        argv.insert(argv.begin(), runAs.begin(), runAs.end());
        return argv;
    };

    testsupport::ChildProcess publisher(
        {(prefix / "zorvane-demo-publisher").string(), "--port", "0"});
    const std::string publisherUrl = ListeningUrl(publisher);
    ASSERT_FALSE(publisherUrl.empty()) << publisher.err();
    testsupport::ChildProcess engine({(prefix / "zorvane-demo-engine").string(), "--port", "0"});
    const std::string engineUrl = ListeningUrl(engine);
    ASSERT_FALSE(engineUrl.empty()) << engine.err();

    // A branded copy whose news come from the demo publisher: the check two
    // seconds after start shows from outside that the window is up.
    const fs::path brand = temp / "brand.txt";
    const auto element = [](const std::string& tag, const std::string& value) {
        return "<%%" + tag + "%%>" + value + "<%%/" + tag + "%%>\r\n";
    };
    testsupport::WriteFileBytes(brand, element("ApplicationName", "Read-only copy") +
                                           element("BranderCode", "RO") +
                                           element("BranderType", "Master") +
                                           element("MasterNewsBaseURL", publisherUrl + "/news/") +
                                           element("MasterPublID", "demo"));
    const Outcome branded = RunProgram({(prefix / "zorvane-brand").string(), "encrypt",
                                        brand.string(), (prefix / "dbsettings.dat").string()});
    ASSERT_EQ(branded.code, 0) << branded.err;

    MakeReadOnly(prefix);
    const std::string test = FindProgram("test");
    ASSERT_EQ(RunProgram(as({test, "-x", (prefix / "zorvane").string()})).code, 0)
        << "the copy must reach its folder; is " << temp.path() << " open to it?";
    ASSERT_EQ(RunProgram(as({test, "-w", prefix.string()})).code, 1)
        << "the folder must not be writable for the copy";

    const Outcome help = RunProgram(as({(prefix / "zorvane-harvest").string(), "--help"}));
    EXPECT_EQ(help.code, 0) << help.err;
    EXPECT_NE(help.out.find("Usage: zorvane-harvest [OPTIONS]"), std::string::npos) << help.out;

    const std::string site =
        "http://google@" + engineUrl.substr(std::string_view("http://").size());
    const Outcome harvest = RunProgram(as({(prefix / "zorvane-harvest").string(), "--site", site,
                                           "--keyword", "used cars", "--max", "150"}));
    EXPECT_EQ(harvest.code, 0) << harvest.err;
    EXPECT_EQ(Count(harvest.out, "\r\n"), 151u) << "a header and 150 rows";

    // Started through a link, as /usr/bin/zorvane starts it: the brand's
    // settings, and with them the news request, come from beside the
    // program itself, not from beside the link.
    const fs::path link = temp / "bin/zorvane";
    fs::create_directory(link.parent_path());
    fs::create_symlink(prefix / "zorvane", link);
    testsupport::ChildProcess window(as({link.string()}),
                                     {"QT_QPA_PLATFORM=offscreen", "HOME=" + home.string(),
                                      "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                      "XDG_CACHE_HOME=" + (home / ".cache").string(),
                                      "ZORVANE_DEMO_LIVEUPDATE_URL=" + publisherUrl + "/live/"});
    const bool askedForNews = publisher.ReadUntil(
        [&] { return publisher.err().find("getlastnews.php") != std::string::npos; },
        kProgramMillis);
    ASSERT_TRUE(askedForNews) << window.err();
    // After the news, the update descriptor cannot be written beside the
    // program; the window reports that and keeps running.
    ASSERT_TRUE(window.Running()) << window.err();
    ASSERT_EQ(::kill(window.pid(), SIGTERM), 0);
    EXPECT_EQ(window.Wait(kProgramMillis), -1);
    EXPECT_EQ(window.endSignal(), SIGTERM) << "ended by the test, not by a crash\n" << window.err();
    EXPECT_FALSE(fs::exists(prefix / "mainappupdate.inf"));
}

std::vector<std::string> PackageNames(const std::string& depends) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < depends.size()) {
        std::size_t end = depends.find(',', start);
        end = end == std::string::npos ? depends.size() : end;
        std::string item = depends.substr(start, end - start);
        item.erase(0, item.find_first_not_of(' '));
        names.push_back(item.substr(0, item.find_first_of(" (\n")));
        start = end + 1;
    }
    return names;
}

// Packs the build with CPack into temp; deb is the package's path.
void BuildPackage(const testsupport::TempDir& temp, fs::path& deb) {
    for (const char* tool : {"dpkg", "dpkg-deb", "dpkg-shlibdeps", "file", "gzip"}) {
        ASSERT_FALSE(FindProgram(tool).empty()) << tool << " is missing (dpkg-dev, file, gzip)";
    }
    const Outcome pack = RunProgram({ZORVANE_CPACK, "-G", "DEB", "--config",
                                     std::string(ZORVANE_BUILD_DIR) + "/CPackConfig.cmake", "-B",
                                     temp.path().string()});
    ASSERT_EQ(pack.code, 0) << pack.out << pack.err;

    const Outcome arch = RunProgram({FindProgram("dpkg"), "--print-architecture"});
    deb =
        temp / ("zorvane_" ZORVANE_VERSION "_" + arch.out.substr(0, arch.out.find('\n')) + ".deb");
    ASSERT_TRUE(fs::is_regular_file(deb)) << pack.out;
}

// The programs a user starts by name, linked into /usr/bin.
constexpr const char* kLinkedPrograms[] = {"zorvane", "zorvane-harvest", "zorvane-history",
                                           "zorvane-brand"};

TEST(DebianPackage, CarriesTheFolderInOptAndTheMenuEntryInUsrShareWithTheLibrariesItNeeds) {
    testsupport::TempDir temp("zorvane-package");
    fs::path deb;
    ASSERT_NO_FATAL_FAILURE(BuildPackage(temp, deb));
    const std::string dpkgDeb = FindProgram("dpkg-deb");

    const Outcome depends = RunProgram({dpkgDeb, "-f", deb.string(), "Depends"});
    const std::vector<std::string> names = PackageNames(depends.out);
    for (const char* library : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6svg6",
                                "libqt6charts6", "qt6-qpa-plugins", "libssl3", "libc6"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), library), names.end())
            << library << " in " << depends.out;
    }

    const fs::path root = temp / "root";
    const Outcome unpack = RunProgram({dpkgDeb, "-x", deb.string(), root.string()});
    ASSERT_EQ(unpack.code, 0) << unpack.err;
    for (const char* program : {"zorvane", "zorvane-harvest", "zorvane-history", "zorvane-brand",
                                "zorvane-demo-engine", "zorvane-demo-publisher"}) {
        EXPECT_TRUE(IsExecutableFile(root / "opt/zorvane" / program)) << program;
    }
    EXPECT_TRUE(fs::is_regular_file(root / "opt/zorvane/sites.txt"));
    for (const fs::path& share : {root / "usr/share", root / "opt/zorvane/share"}) {
        const std::string entry =
            testsupport::ReadFileBytes(share / "applications" / DesktopEntryName());
        EXPECT_EQ(Values(entry, "Exec"), std::vector<std::string>{"\"/opt/zorvane/zorvane\""})
            << share;
        EXPECT_TRUE(fs::is_regular_file(share / "icons/hicolor/scalable/apps" /
                                        (std::string(kAppId) + ".svg")))
            << share;
        EXPECT_TRUE(
            fs::is_regular_file(share / "metainfo" / (std::string(kAppId) + ".metainfo.xml")))
            << share;
    }
}

// Whether bytes are a gzip member as `gzip -n` writes it: no file name and
// no time in the header, so the same text always packs to the same bytes.
bool IsGzipWithoutNameOrTime(const std::string& bytes) {
    constexpr unsigned char kFileNameFlag = 0x08;
    return bytes.size() > 10 && bytes.compare(0, 3, "\x1f\x8b\x08") == 0 &&
           (static_cast<unsigned char>(bytes[3]) & kFileNameFlag) == 0 &&
           bytes.compare(4, 4, std::string(4, '\0')) == 0;
}

TEST(DebianPackage, LinksTheProgramsIntoUsrBinWithManualPagesCopyrightAndChangeLog) {
    const std::string gzip = FindProgram("gzip");
    const std::string man = FindProgram("man");
    const std::string groff = FindProgram("groff");
    ASSERT_FALSE(man.empty()) << "man (man-db) is missing";
    ASSERT_FALSE(groff.empty()) << "groff (groff-base) is missing";
    testsupport::TempDir temp("zorvane-package");
    fs::path deb;
    ASSERT_NO_FATAL_FAILURE(BuildPackage(temp, deb));
    const fs::path root = temp / "root";
    const Outcome unpack = RunProgram({FindProgram("dpkg-deb"), "-x", deb.string(), root.string()});
    ASSERT_EQ(unpack.code, 0) << unpack.err;

    // Only the programs a user runs; the demo servers stay in the folder.
    std::vector<std::string> linked;
    for (const auto& entry : fs::directory_iterator(root / "usr/bin")) {
        linked.push_back(entry.path().filename().string());
    }
    std::sort(linked.begin(), linked.end());
    EXPECT_EQ(linked, (std::vector<std::string>{"zorvane", "zorvane-brand", "zorvane-harvest",
                                                "zorvane-history"}));
    for (const char* program : kLinkedPrograms) {
        const fs::path link = root / "usr/bin" / program;
        ASSERT_TRUE(fs::is_symlink(link)) << program;
        const fs::path target = fs::read_symlink(link);
        EXPECT_EQ(target, fs::path("/opt/zorvane") / program);
        EXPECT_TRUE(IsExecutableFile(root / target.relative_path())) << program;
    }

    const fs::path doc = root / "usr/share/doc/zorvane";
    const std::string copyright = testsupport::ReadFileBytes(doc / "copyright");
    EXPECT_EQ(
        copyright.rfind(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0),
        0u)
        << copyright;
    // The licence the plain copy's About box names.
    EXPECT_NE(copyright.find("\nLicense: LicenseRef-proprietary\n"), std::string::npos);
    ASSERT_TRUE(IsGzipWithoutNameOrTime(testsupport::ReadFileBytes(doc / "changelog.gz")));
    const Outcome changelog = RunProgram({gzip, "-dc", (doc / "changelog.gz").string()});
    ASSERT_EQ(changelog.code, 0) << changelog.err;
    EXPECT_EQ(changelog.out.substr(0, changelog.out.find('\n')),
              "zorvane (" ZORVANE_VERSION ") unstable; urgency=medium")
        << "the newest entry is the packaged version";

    for (const char* program : kLinkedPrograms) {
        SCOPED_TRACE(program);
        const fs::path page = root / "usr/share/man/man1" / (std::string(program) + ".1.gz");
        ASSERT_TRUE(IsGzipWithoutNameOrTime(testsupport::ReadFileBytes(page)));
        const Outcome text = RunProgram({gzip, "-dc", page.string()});
        ASSERT_EQ(text.code, 0) << text.err;
        EXPECT_NE(text.out.find("\"Zorvane " ZORVANE_VERSION "\""), std::string::npos)
            << "the page's header names the packaged version";
        for (const char* section : {".SH NAME\n", ".SH SYNOPSIS\n", ".SH OPTIONS\n",
                                    ".SH EXIT STATUS\n", ".SH FILES\n", ".SH SEE ALSO\n"}) {
            EXPECT_NE(text.out.find(section), std::string::npos) << section;
        }
        // As lintian reads a page, and then with every warning groff has
        // (lintian's own check leaves out all but undefined macros).
        const Outcome shown =
            RunProgram({man, "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page.string()},
                       {"LC_ALL=C.UTF-8", "MANROFFSEQ=", "MANWIDTH=80"});
        EXPECT_EQ(shown.code, 0) << shown.err;
        EXPECT_EQ(shown.err, "");
        const fs::path source = temp / (std::string(program) + ".1");
        testsupport::WriteFileBytes(source, text.out);
        const Outcome strict = RunProgram({groff, "-man", "-Tutf8", "-ww", "-z", source.string()});
        EXPECT_EQ(strict.code, 0) << strict.err;
        EXPECT_EQ(strict.err, "");
    }
}

// The lines of lintian's report that start with prefix ("E: ", "O: ").
std::vector<std::string> ReportLines(const std::string& report, std::string_view prefix) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < report.size()) {
        std::size_t end = report.find('\n', start);
        end = end == std::string::npos ? report.size() : end;
        if (report.compare(start, prefix.size(), prefix) == 0) {
            lines.push_back(report.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

TEST(DebianPackage, PassesLintianWithoutErrorsOrWarningsOverridingOnlyTheFolderInOpt) {
    const std::string lintian = FindProgram("lintian");
    // scripts/setup installs it; a missing one is a setup fault, never a pass.
    ASSERT_FALSE(lintian.empty()) << "lintian is missing";
    testsupport::TempDir temp("zorvane-package");
    fs::path deb;
    ASSERT_NO_FATAL_FAILURE(BuildPackage(temp, deb));
    const Outcome check = RunProgram(
        {lintian, "--tag-display-limit", "0", "--display-info", "--show-overrides", deb.string()});
    EXPECT_EQ(ReportLines(check.out, "E: "), std::vector<std::string>{}) << check.out << check.err;
    EXPECT_EQ(ReportLines(check.out, "W: "), std::vector<std::string>{}) << check.out;
    // The programs are linked with every symbol bound at start (full RELRO).
    EXPECT_EQ(check.out.find("hardening-no-bindnow"), std::string::npos) << check.out;
    // The package's one override, /opt, must have been read and be all that
    // is overridden: a report without it is a lintian that did not run.
    const std::vector<std::string> overridden = ReportLines(check.out, "O: ");
    EXPECT_FALSE(overridden.empty()) << check.out << check.err;
    for (const std::string& line : overridden) {
        EXPECT_EQ(line.rfind("O: zorvane: dir-or-file-in-opt [opt/zorvane/", 0), 0u) << line;
    }
}

// The words of a unit's ExecStart= line with what systemd puts in for them:
// %E, %S and %i, ${NAME} as one word, $NAME split at blanks. Only what the
// shipped unit uses, so that the test can run the line without a user
// manager (a container has none).
std::vector<std::string> ExpandExecStart(
    const std::string& unit, const fs::path& config, const fs::path& state,
    const std::string& instance, const std::vector<std::pair<std::string, std::string>>& env) {
    const std::vector<std::string> lines = Values(unit, "ExecStart");
    if (lines.size() != 1) {
        return {};
    }
    const auto variable = [&](const std::string& name) {
        for (const auto& [key, value] : env) {
            if (key == name) {
                return value;
            }
        }
        return std::string();
    };
    std::vector<std::string> words;
    std::string line = lines[0];
    for (const auto& [specifier, value] :
         {std::pair{std::string("%E"), config.string()},
          std::pair{std::string("%S"), state.string()}, std::pair{std::string("%i"), instance}}) {
        for (std::size_t at = line.find(specifier); at != std::string::npos;
             at = line.find(specifier, at + value.size())) {
            line.replace(at, specifier.size(), value);
        }
    }
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        const std::string word = line.substr(start, end - start);
        if (word.starts_with("${") && word.ends_with("}")) {
            words.push_back(variable(word.substr(2, word.size() - 3)));
        } else if (word.starts_with("$")) {
            const std::string value = variable(word.substr(1));
            std::size_t from = 0;
            while (from < value.size()) {
                const std::size_t to = std::min(value.find(' ', from), value.size());
                if (to > from) {
                    words.push_back(value.substr(from, to - from));
                }
                from = to + 1;
            }
        } else if (!word.empty()) {
            words.push_back(word);
        }
        start = end + 1;
    }
    return words;
}

// The daily harvest a user enables with systemctl --user: systemd accepts
// both units, and the service's command line harvests the list into the
// history.
TEST(DebianPackage, CarriesADailyHarvestUnitThatHarvestsAKeywordListIntoTheHistory) {
    const std::string analyze = FindProgram("systemd-analyze");
    ASSERT_FALSE(analyze.empty()) << "systemd-analyze (systemd) is missing";
    testsupport::TempDir temp("zorvane-package");
    fs::path deb;
    ASSERT_NO_FATAL_FAILURE(BuildPackage(temp, deb));
    const fs::path root = temp / "root";
    const Outcome unpack = RunProgram({FindProgram("dpkg-deb"), "-x", deb.string(), root.string()});
    ASSERT_EQ(unpack.code, 0) << unpack.err;
    const fs::path units = root / "usr/lib/systemd/user";
    const fs::path harvest = root / "opt/zorvane/zorvane-harvest";

    // Checked as the user manager reads them, the program's path moved to
    // where the package was unpacked (systemd checks that it is there).
    const fs::path checked = temp / "units";
    const fs::path runtime = temp / "runtime";
    fs::create_directories(checked);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    std::string service;
    for (const char* kind : {"service", "timer"}) {
        std::string text =
            testsupport::ReadFileBytes(units / (std::string("zorvane-harvest@.") + kind));
        ASSERT_FALSE(text.empty()) << kind;
        for (std::size_t at = text.find("/usr/bin/zorvane-harvest"); at != std::string::npos;
             at = text.find("/usr/bin/zorvane-harvest", at + 1)) {
            text.replace(at, std::string_view("/usr/bin/zorvane-harvest").size(), harvest.string());
        }
        if (std::string_view(kind) == "service") {
            service = text;
        }
        testsupport::WriteFileBytes(checked / (std::string("zorvane-harvest@demo.") + kind), text);
    }
    const Outcome verify =
        RunProgram({analyze, "verify", "--user", "--man=no",
                    (checked / "zorvane-harvest@demo.service").string(),
                    (checked / "zorvane-harvest@demo.timer").string()},
                   {"XDG_RUNTIME_DIR=" + runtime.string(), "PATH=/usr/bin:/bin"});
    EXPECT_EQ(verify.code, 0) << verify.err;
    EXPECT_EQ(verify.err, "");

    testsupport::ChildProcess engine(
        {(root / "opt/zorvane/zorvane-demo-engine").string(), "--port", "0"});
    const std::string engineUrl = ListeningUrl(engine);
    ASSERT_FALSE(engineUrl.empty()) << engine.err();
    const fs::path config = temp / "config";
    const fs::path state = temp / "state";
    fs::create_directories(config / "zorvane/schedule");
    fs::create_directories(state / "zorvane");  // StateDirectory= makes it
    testsupport::WriteFileBytes(config / "zorvane/schedule/demo.txt", "used cars\nnew cars\n");
    const std::string site =
        "http://google@" + engineUrl.substr(std::string_view("http://").size());
    const std::vector<std::string> command =
        ExpandExecStart(service, config, state, "demo", {{"SITE", site}, {"ARGS", "--max 20"}});
    ASSERT_FALSE(command.empty()) << service;
    const fs::path data = temp / "data";
    const Outcome run =
        RunProgram(command, {"HOME=" + temp.path().string(), "XDG_DATA_HOME=" + data.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Count(testsupport::ReadFileBytes(state / "zorvane/demo.jsonl"), "\n"), 40u);

    const Outcome runs =
        RunProgram({(root / "opt/zorvane/zorvane-history").string(), "--history",
                    (data / "zorvane/history.sqlite3").string(), "runs", "--format", "csv"});
    ASSERT_EQ(runs.code, 0) << runs.err;
    EXPECT_EQ(Count(runs.out, "used cars"), 1u) << runs.out;
    EXPECT_EQ(Count(runs.out, "new cars"), 1u) << runs.out;
}

}  // namespace
