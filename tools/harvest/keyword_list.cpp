#include "tools/harvest/keyword_list.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "search/file_replace.h"
#include "util/ascii.h"
#include "util/file_io.h"
#include "util/line_file.h"

namespace harvest {
namespace {

// A list larger than this is not a keyword list but a mistaken file.
constexpr std::size_t kMaxKeywords = 10'000'000;

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond Unicode.
        if ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw std::runtime_error(path + ": " + why);
}

// Opens a regular file for writing; a FIFO or a device is refused rather
// than written into (or waited on).
util::FileDescriptor OpenRegular(const std::string& path, int flags) {
    util::FileDescriptor fd(::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC | O_NONBLOCK, 0666));
    if (fd.get() < 0) {
        Fail(path, std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        Fail(path, "not a regular file");
    }
    return fd;
}

// The journal holds a line per keyword of a list of at most kMaxKeywords.
std::string ReadJournalText(const std::string& path) {
    constexpr std::size_t kMaxJournalBytes = 1ull << 30;
    util::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
        Fail(path, std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > kMaxJournalBytes) {
        Fail(path, "not a journal of this program");
    }
    std::string text;
    if (!util::ReadUpTo(fd.get(), static_cast<std::size_t>(info.st_size), text)) {
        Fail(path, std::strerror(errno));
    }
    return text;
}

}  // namespace

std::vector<std::string> ReadKeywordList(const std::string& path) {
    std::vector<std::string> lines = util::ReadLineFile(path);
    if (!lines.empty() && lines.front().starts_with("\xEF\xBB\xBF")) {
        lines.front().erase(0, 3);
    }
    std::vector<std::string> keywords;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view keyword = util::Trim(lines[i], " \t");
        if (keyword.empty()) {
            continue;
        }
        if (!IsValidUtf8(keyword)) {
            Fail(path, "line " + std::to_string(i + 1) + " is not UTF-8 text");
        }
        if (seen.emplace(keyword).second) {
            keywords.emplace_back(keyword);
        }
        if (keywords.size() > kMaxKeywords) {
            Fail(path, "more than " + std::to_string(kMaxKeywords) + " keywords");
        }
    }
    return keywords;
}

KeywordOutput::KeywordOutput(const std::string& path, std::string_view header,
                             const JournalOwner& owner, bool resume)
    : path_(path), journalPath_(path + ".done"), output_(-1), journal_(-1) {
    // Opened without cutting it: until the lock is ours, another run may be
    // writing it.
    output_ = OpenRegular(path_, O_CREAT);
    if (::flock(output_.get(), LOCK_EX | LOCK_NB) != 0) {
        Fail(path_, errno == EWOULDBLOCK
                        ? "another zorvane-harvest run is writing it; wait for that one to end "
                          "or choose another output"
                        : std::strerror(errno));
    }
    if (!resume || !takeUp(header, owner)) {
        startJournal(owner);
        startOutput(header);
    }
}

bool KeywordOutput::takeUp(std::string_view header, const JournalOwner& owner) {
    struct stat info {};
    if (::fstat(output_.get(), &info) != 0) {
        Fail(path_, std::strerror(errno));
    }
    const auto outputSize = static_cast<std::uint64_t>(info.st_size);
    if (::stat(journalPath_.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            Fail(journalPath_, std::strerror(errno));
        }
        // Rows without a journal are no interrupted list of ours: --resume
        // never throws them away.
        if (outputSize > 0) {
            Fail(path_, "has no journal " + journalPath_ +
                            " beside it, so there is no keyword list to take up; start "
                            "without --resume to replace it");
        }
        return false;
    }

    const std::string text = ReadJournalText(journalPath_);
    const JournalContents journal = ReadJournal(text);
    if (journal.damagedLine == 1) {
        Fail(journalPath_,
             "its first line is damaged (or it is no journal of a keyword list); start without "
             "--resume to run the list anew");
    }
    if (journal.damagedLine > 1) {
        Fail(journalPath_, "line " + std::to_string(journal.damagedLine) +
                               " is damaged; start without --resume to run the list anew");
    }
    if (const std::string difference = OwnerDifference(*journal.owner, owner);
        !difference.empty()) {
        Fail(journalPath_, "belongs to another run: " + difference +
                               ". Resume with what it was written with, or start without "
                               "--resume to replace " +
                               path_);
    }
    const std::uint64_t recordedSize = journal.records.empty() ? 0 : journal.records.back().first;
    if (outputSize < recordedSize) {
        Fail(journalPath_, "records more than " + path_ + " holds; start without --resume");
    }
    // The journal goes on from its last whole line.
    journal_ = OpenRegular(journalPath_, O_APPEND);
    if (journal.wholeLength < text.size()) {
        if (::ftruncate(journal_.get(), static_cast<off_t>(journal.wholeLength)) != 0) {
            Fail(journalPath_, std::strerror(errno));
        }
        syncOrFail(journal_.get(), journalPath_);
    }
    check_ = journal.check;
    if (journal.records.empty()) {
        // Nothing complete yet: the output starts over under the same journal.
        startOutput(header);
        return true;
    }
    // Rows of a keyword that was cut short go: it runs again.
    if (::ftruncate(output_.get(), static_cast<off_t>(recordedSize)) != 0 ||
        ::lseek(output_.get(), 0, SEEK_END) < 0) {
        Fail(path_, std::strerror(errno));
    }
    syncOrFail(output_.get(), path_);
    size_ = recordedSize;
    for (const auto& record : journal.records) {
        done_.insert(record.second);
    }
    return true;
}

void KeywordOutput::startJournal(const JournalOwner& owner) {
    // The new journal goes in whole before the output is cut: a crash in
    // between leaves a journal with nothing complete, never an old journal
    // beside a new output.
    const std::string first = JournalHeader(owner, check_);
    search::WriteFileReplacing(journalPath_,
                               [&first](const search::PieceWriter& write) { return write(first); });
    journal_ = OpenRegular(journalPath_, O_APPEND);
}

void KeywordOutput::startOutput(std::string_view header) {
    if (::ftruncate(output_.get(), 0) != 0 || ::lseek(output_.get(), 0, SEEK_SET) < 0 ||
        !util::WriteAll(output_.get(), header)) {
        Fail(path_, std::strerror(errno));
    }
    syncOrFail(output_.get(), path_);
    size_ = header.size();
    done_.clear();
}

void KeywordOutput::append(const std::string& keyword, bool complete,
                           const std::function<bool(const PieceWriter&)>& produce) {
    const bool written = produce([this](std::string_view piece) {
        if (!util::WriteAll(output_.get(), piece)) {
            return false;
        }
        size_ += piece.size();
        return true;
    });
    if (!written) {
        Fail(path_, std::strerror(errno));
    }
    syncOrFail(output_.get(), path_);
    if (complete) {
        std::string check = check_;
        const std::string line = JournalRecord(size_, keyword, check);
        if (!util::WriteAll(journal_.get(), line)) {
            Fail(journalPath_, std::strerror(errno));
        }
        syncOrFail(journal_.get(), journalPath_);
        check_ = check;
        done_.insert(keyword);
    }
}

void KeywordOutput::syncOrFail(int fd, const std::string& path) {
    if (::fsync(fd) != 0) {
        Fail(path, std::strerror(errno));
    }
}

}  // namespace harvest
