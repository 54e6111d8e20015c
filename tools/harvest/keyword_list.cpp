#include "tools/harvest/keyword_list.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

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

KeywordOutput::KeywordOutput(const std::string& path, std::string_view header, bool resume)
    : path_(path), journalPath_(path + ".done"), output_(-1), journal_(-1) {
    struct stat info {};
    const bool takeUp =
        resume && ::stat(path.c_str(), &info) == 0 && ::stat(journalPath_.c_str(), &info) == 0;
    if (takeUp) {
        readJournal();
    }
    if (!takeUp || done_.empty()) {
        // Nothing complete yet: a new output, and a new journal after it.
        util::FileDescriptor output = OpenRegular(path_, O_CREAT | O_TRUNC);
        if (!util::WriteAll(output.get(), header)) {
            Fail(path_, std::strerror(errno));
        }
        syncOrFail(output.get(), path_);
        util::FileDescriptor journal = OpenRegular(journalPath_, O_CREAT | O_TRUNC | O_APPEND);
        syncOrFail(journal.get(), journalPath_);
        output_ = std::move(output);
        journal_ = std::move(journal);
        size_ = recordedSize_ = header.size();
        done_.clear();
        return;
    }
    util::FileDescriptor output = OpenRegular(path_, 0);
    if (::fstat(output.get(), &info) != 0 ||
        static_cast<std::uint64_t>(info.st_size) < recordedSize_) {
        Fail(journalPath_, "records more than " + path_ + " holds; start without --resume");
    }
    // Rows of a keyword that was cut short go: it runs again.
    if (::ftruncate(output.get(), static_cast<off_t>(recordedSize_)) != 0 ||
        ::lseek(output.get(), 0, SEEK_END) < 0) {
        Fail(path_, std::strerror(errno));
    }
    syncOrFail(output.get(), path_);
    output_ = std::move(output);
    journal_ = OpenRegular(journalPath_, O_APPEND);
    size_ = recordedSize_;
}

void KeywordOutput::readJournal() {
    // A journal cut short by a crash may end in a torn line: only lines with
    // their line end count, and from the first that does not read, nothing.
    std::string text = ReadJournalText(journalPath_);
    text.erase(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
    std::string rewritten;
    for (const std::string& line : util::SplitLines(text)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) {
            break;
        }
        std::uint64_t size = 0;
        bool digits = true;
        for (char c : std::string_view(line).substr(0, tab)) {
            if (c < '0' || c > '9' || size > (UINT64_MAX - 9) / 10) {
                digits = false;
                break;
            }
            size = size * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (!digits || size < recordedSize_) {
            break;
        }
        recordedSize_ = size;
        done_.insert(line.substr(tab + 1));
        rewritten += line;
        rewritten += '\n';
    }
    // The journal goes on from its last whole line.
    util::FileDescriptor journal = OpenRegular(journalPath_, O_TRUNC);
    if (!util::WriteAll(journal.get(), rewritten)) {
        Fail(journalPath_, std::strerror(errno));
    }
    syncOrFail(journal.get(), journalPath_);
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
        const std::string line = std::to_string(size_) + "\t" + keyword + "\n";
        if (!util::WriteAll(journal_.get(), line)) {
            Fail(journalPath_, std::strerror(errno));
        }
        syncOrFail(journal_.get(), journalPath_);
        recordedSize_ = size_;
        done_.insert(keyword);
    }
}

void KeywordOutput::syncOrFail(int fd, const std::string& path) {
    if (::fsync(fd) != 0) {
        Fail(path, std::strerror(errno));
    }
}

}  // namespace harvest
