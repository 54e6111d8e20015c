#pragma once

// A PublisherHost that answers questions from a queue and records what the
// services asked of the window.

#include <deque>
#include <string>
#include <vector>

#include "publisher/publisher_host.h"

namespace publisher_test {

class ScriptedHost final : public publisher::PublisherHost {
public:
    struct Shown {
        MessageKind kind;
        std::string text;
        MessageButtons buttons;
        bool operator==(const Shown&) const = default;
    };
    struct Started {
        std::string program;
        std::vector<std::string> args;
    };

    explicit ScriptedHost(std::string folder = {}, std::string cacheFolder = {})
        : folder_(std::move(folder)), cacheFolder_(std::move(cacheFolder)) {}

    // The next question is answered with ok (OK or Yes); with the queue empty
    // a question counts as closed without either.
    void answer(bool ok) { answers_.push_back(ok); }

    bool showMessage(MessageKind kind, const std::string& text, MessageButtons buttons) override {
        shown.push_back({kind, text, buttons});
        if (answers_.empty()) {
            return false;
        }
        const bool ok = answers_.front();
        answers_.pop_front();
        return ok;
    }
    void processEvents() override { ++eventRounds; }
    std::string programFolder() override { return folder_; }
    std::string cacheFolder() override { return cacheFolder_; }
    void startUpdater(const std::string& program, const std::vector<std::string>& args) override {
        started.push_back({program, args});
    }
    void openInBrowser(const std::string& url) override { opened.push_back(url); }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Shown& s : shown) {
            out.push_back(s.text);
        }
        return out;
    }

    std::vector<Shown> shown;
    std::vector<Started> started;
    std::vector<std::string> opened;
    int eventRounds = 0;

private:
    std::string folder_;
    std::string cacheFolder_;
    std::deque<bool> answers_;
};

}  // namespace publisher_test
