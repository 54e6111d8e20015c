// The real result pages saved from the engines, with the hits a person sees
// on each (tests/search/data/serp/): what the profile tests read them with.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace serp {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The name our shipped profile goes by for a truth file's engine.
inline std::string ProfileName(const std::string& truthProfile) {
    if (truthProfile == "google") {
        return "google-web";
    }
    if (truthProfile == "google_basic") {
        return "google-basic";
    }
    if (truthProfile == "yahoo") {
        return "yahoo-web";
    }
    return truthProfile;
}

// Every page that has a truth file, by name, in order.
inline std::vector<std::string> PageNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder + "truth")) {
        names.push_back(entry.path().stem());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A page name as a test name.
inline std::string TestName(std::string name) {
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

}  // namespace serp
