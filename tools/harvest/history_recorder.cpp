#include "tools/harvest/history_recorder.h"

#include <cstdio>
#include <exception>
#include <memory>

namespace harvest {
namespace {

void Report(const std::exception& e) {
    std::fprintf(stderr, "zorvane-harvest: %s; harvesting on without history\n", e.what());
}

std::unique_ptr<history::HistoryStore> Open(const std::optional<std::string>& path) {
    if (!path) {
        return nullptr;
    }
    if (path->empty()) {
        std::fprintf(stderr,
                     "zorvane-harvest: no history: neither XDG_DATA_HOME nor HOME names a "
                     "folder (--history FILE names one)\n");
        return nullptr;
    }
    try {
        return std::make_unique<history::HistoryStore>(*path);
    } catch (const std::exception& e) {
        Report(e);
        return nullptr;
    }
}

}  // namespace

HistoryRecorder::HistoryRecorder(const std::optional<std::string>& path,
                                 history::RunSetting setting)
    : setting_(std::move(setting)), recorder_(Open(path), Report) {}

}  // namespace harvest
