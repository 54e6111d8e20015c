#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/harvest/journal.h"
#include "util/file_descriptor.h"

namespace harvest {

// The keywords of a --keywords file: one a line (CR LF, LF or CR), blanks
// around them trimmed, empty lines and a leading UTF-8 byte order mark
// skipped, each keyword once in the order of its first line. Throws
// std::runtime_error naming the file when it cannot be read or holds a
// keyword that is not valid UTF-8 (the engines would get garbage).
std::vector<std::string> ReadKeywordList(const std::string& path);

// The output of a keyword list run into a file, so that the run can be taken
// up again after an interruption: the rows of each keyword are appended once
// it is complete, and only then is it recorded, with the output's size after
// its rows, in a journal beside the output (`<output>.done`, journal.h) that
// also names the run it belongs to. A keyword that was interrupted, or whose
// every page failed, is not recorded: --resume cuts the output back to the
// last recorded size and runs it again. The output stays locked (flock)
// while the object lives, so that a second run on it fails at once.
class KeywordOutput {
public:
    // Pieces of the output's text; false when they could not be written.
    using PieceWriter = std::function<bool(std::string_view)>;

    // Starts a new output (replacing an old one and its journal) whose text
    // begins with header, or, with resume, takes up the one there is; with
    // no journal and no text in the output yet, resume starts anew. Throws
    // std::runtime_error naming the file on any failure: when another run
    // holds the output, and with resume when the journal is damaged, belongs
    // to another owner, records more than the output holds or is missing
    // beside an output with text in it.
    KeywordOutput(const std::string& path, std::string_view header, const JournalOwner& owner,
                  bool resume);

    // The keywords recorded as complete.
    const std::set<std::string>& done() const { return done_; }

    // Appends what produce writes, and records the keyword as complete when
    // `complete`. Throws std::runtime_error on a failed write.
    void append(const std::string& keyword, bool complete,
                const std::function<bool(const PieceWriter&)>& produce);

private:
    // With resume: takes up the journal there is; false when there is none.
    bool takeUp(std::string_view header, const JournalOwner& owner);
    void startJournal(const JournalOwner& owner);
    void startOutput(std::string_view header);
    void syncOrFail(int fd, const std::string& path);

    std::string path_;
    std::string journalPath_;
    util::FileDescriptor output_;
    util::FileDescriptor journal_;
    std::uint64_t size_ = 0;
    std::string check_;
    std::set<std::string> done_;
};

}  // namespace harvest
