#include "search/site_list.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <unordered_set>

#include "search/file_replace.h"
#include "util/line_file.h"

namespace search {

namespace {

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The file's lines, none when it is missing; an unreadable file adds its
// message to errors.
std::vector<std::string> ReadIfThere(const std::string& path, std::vector<std::string>& errors) {
    if (!Exists(path)) {
        return {};
    }
    try {
        return util::ReadLineFile(path);
    } catch (const std::exception& e) {
        errors.emplace_back(e.what());
        return {};
    }
}

}  // namespace

SiteList ReadSiteList(const std::string& programFile, const std::string& userFile) {
    SiteList list;
    list.programFileMissing = !Exists(programFile);
    list.lines = ReadIfThere(programFile, list.errors);
    if (list.lines.size() > kMaxSiteLines) {
        list.lines.resize(kMaxSiteLines);
    }
    if (userFile.empty()) {
        return list;
    }
    std::unordered_set<std::string> listed(list.lines.begin(), list.lines.end());
    for (std::string& line : ReadIfThere(userFile, list.errors)) {
        if (list.lines.size() == kMaxSiteLines) {
            break;
        }
        if (!IsBlank(line) && listed.insert(line).second) {
            list.lines.push_back(std::move(line));
        }
    }
    return list;
}

TypedSiteLine CheckTypedSiteLine(std::string_view line) {
    if (line.size() > kMaxTypedSiteLineBytes) {
        return TypedSiteLine::TooLong;
    }
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return TypedSiteLine::LineBreak;
    }
    return TypedSiteLine::Usable;
}

bool RememberSiteLine(const std::string& userFile, const std::string& line) {
    if (CheckTypedSiteLine(line) != TypedSiteLine::Usable) {
        throw std::invalid_argument("Not a site line to keep in " + userFile);
    }
    if (IsBlank(line)) {
        return false;
    }
    std::vector<std::string> lines;
    if (Exists(userFile)) {
        lines = util::ReadLineFile(userFile);
    } else {
        const std::filesystem::path folder = std::filesystem::path(userFile).parent_path();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            throw std::runtime_error("Cannot create the folder " + folder.string() + ": " +
                                     error.message());
        }
    }
    if (std::find(lines.begin(), lines.end(), line) != lines.end()) {
        return false;
    }
    if (lines.size() >= kMaxSiteLines) {
        throw std::runtime_error("Cannot add a line to " + userFile + ": it holds " +
                                 std::to_string(kMaxSiteLines) + " lines already");
    }
    lines.push_back(line);
    const std::string text = util::JoinLinesCrLf(lines);
    WriteFileReplacing(userFile, [&text](const PieceWriter& write) { return write(text); });
    return true;
}

}  // namespace search
