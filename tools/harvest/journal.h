// The journal of a keyword list's output (`<output>.done`): which run the
// output belongs to and which keywords are complete in it, every line with a
// check, so that damage is told apart from a crash's torn last line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace harvest {

// What a keyword list's output belongs to: --resume takes up only the
// journal of a run with the same.
struct JournalOwner {
    std::string listHash;  // SHA-1 of the keywords as read, in hex
    std::string format;    // "csv" or "jsonl"
    std::string site;      // the site text
    std::uint64_t limit;   // the item limit; 0 for all

    bool operator==(const JournalOwner&) const = default;
};

// The owner of a run over keywords (as ReadKeywordList gives them); an item
// limit of 0 or less is all items.
JournalOwner MakeJournalOwner(const std::vector<std::string>& keywords, std::string format,
                              std::string site, double maxItems);

// How the journal owned by `journal` differs from `run`'s, in words for the
// user ("another keyword list; the site text "a", not "b""); empty when it
// does not.
std::string OwnerDifference(const JournalOwner& journal, const JournalOwner& run);

// The first line of a new journal, line end included; its check starts the
// chain of the records after it.
std::string JournalHeader(const JournalOwner& owner, std::string& check);

// The line recording keyword complete with the output's size after its rows;
// check is the previous line's and becomes this one's, so that each line
// vouches for every line before it.
std::string JournalRecord(std::uint64_t size, const std::string& keyword, std::string& check);

// A journal's text as read.
struct JournalContents {
    // 0 when every whole line reads, else the number of the first that does
    // not (1: the header); the journal is then damaged.
    std::size_t damagedLine = 0;
    std::optional<JournalOwner> owner;
    // The records in order: the output's size after each keyword's rows.
    std::vector<std::pair<std::uint64_t, std::string>> records;
    // Where the whole lines end: a crash may leave a torn line after them.
    std::size_t wholeLength = 0;
    // The check the next record chains to.
    std::string check;
};

JournalContents ReadJournal(std::string_view text);

}  // namespace harvest
