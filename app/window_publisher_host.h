// The main window as the publisher services see it: msgMain, the event
// loop, the program and cache folders, the hand-over to the updater and the
// browser.
#pragma once

#include <string>

#include "publisher/publisher_host.h"

namespace app {

class TfrmMain;

// The update folder the program asks, ending in "/": the one built in, or
// for the offline demo the loopback address in ZORVANE_DEMO_LIVEUPDATE_URL.
// Only a loopback address is taken from the environment, so whatever it
// holds, an ordinary copy asks its own update folder and nowhere else.
std::string LiveUpdateBase();

class WindowPublisherHost final : public publisher::PublisherHost {
public:
    explicit WindowPublisherHost(TfrmMain& window) : window_(window) {}

    bool showMessage(MessageKind kind, const std::string& text, MessageButtons buttons) override;
    void processEvents() override;
    std::string programFolder() override;
    // $XDG_CACHE_HOME/zorvane/ (~/.cache/zorvane/ by default).
    std::string cacheFolder() override;
    // Starts the updater and closes the main window, which ends the
    // program, so the updater can replace its files.
    void startUpdater(const std::string& program, const std::vector<std::string>& args) override;
    // The window's own browser start, with its status texts.
    void openInBrowser(const std::string& url) override;

private:
    TfrmMain& window_;
};

}  // namespace app
