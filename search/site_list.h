// The engine site lines the window offers: the program's sites.txt, beside
// it, and the user's own, in the user's configuration folder, to which the
// lines the user types are added.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// A site list is a handful of engines. A list with more lines than this is
// not a site list, and filling the site box with millions of items would
// freeze the window, so only the first ones are taken; the user's file takes
// no line beyond them either.
inline constexpr std::size_t kMaxSiteLines = 1000;

// A site line is an address with a few engine names; browsers and servers
// refuse addresses far shorter than this. A typed text beyond it is no site
// line, and keeping it would only bloat the user's list.
inline constexpr std::size_t kMaxTypedSiteLineBytes = 2048;

struct SiteList {
    std::vector<std::string> lines;
    // No program sites.txt (whatever the user's file holds).
    bool programFileMissing = false;
    // One message per file that is there but could not be read.
    std::vector<std::string> errors;
};

// The lines of programFile as they are, then those of userFile ("" for
// none) that are neither blank nor listed already, at most kMaxSiteLines in
// all. A missing file gives no lines and no error.
SiteList ReadSiteList(const std::string& programFile, const std::string& userFile);

enum class TypedSiteLine {
    Usable,
    TooLong,    // more than kMaxTypedSiteLineBytes
    LineBreak,  // a CR, LF or NUL, which would split it in the file
};

TypedSiteLine CheckTypedSiteLine(std::string_view line);

// Adds a usable line at the end of userFile, making the file and its folder
// when missing; false, with nothing written, when the file holds the line
// already or the line is blank. The file is replaced whole (a failure leaves
// it as it was) and written with CR LF line ends. Throws std::runtime_error
// naming the file when it cannot be read or written, or holds
// kMaxSiteLines lines already.
bool RememberSiteLine(const std::string& userFile, const std::string& line);

}  // namespace search
