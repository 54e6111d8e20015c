#pragma once

// What the publisher services need from the main window: its message box,
// its event loop, its folders and the updater start. The window implements it
// with msgMain; tests implement it with a script.

#include <string>
#include <vector>

namespace publisher {

class PublisherHost {
public:
    enum class MessageKind { Warning, Information, Question };
    enum class MessageButtons { Ok, OkCancel, YesNo };

    virtual ~PublisherHost() = default;

    // A modal message; true only when OK or Yes closed it.
    virtual bool showMessage(MessageKind kind, const std::string& text, MessageButtons buttons) = 0;

    // Handles pending window messages once.
    virtual void processEvents() = 0;

    // Where the update descriptor and the updater live, ending in "/".
    virtual std::string programFolder() = 0;

    // The user's cache folder of the program, ending in "/": where the
    // update descriptor goes when the program folder cannot be written, as
    // in every installed copy. It may not exist yet; empty when the user has
    // none.
    virtual std::string cacheFolder() = 0;

    // Starts the updater with these arguments and closes the main window, so
    // the updater can replace the program's files. Whether the start
    // succeeded does not matter to the caller.
    virtual void startUpdater(const std::string& program, const std::vector<std::string>& args) = 0;

    // Starts the web browser on url, or says in the window why not (no
    // browser, or url is no http or https address).
    virtual void openInBrowser(const std::string& url) = 0;
};

}  // namespace publisher
