// Extraction away from the thread that runs the search, so that the window
// (or the harvester's signal check) keeps turning while a page is parsed and
// its expressions evaluated, and a stop needs no waiting for either.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "search/profiles/profile_extract.h"
#include "search/search_host.h"

namespace search {

// Wall time for one page's parse and extraction together. A real page takes
// milliseconds; the XPath step budget ends most runaway expressions long
// before, this ends whatever it does not count.
inline constexpr std::chrono::milliseconds kPageTimeBudget{20000};
// How often the host handles its events while a page is extracted: as often
// as during a download's waits.
inline constexpr std::chrono::milliseconds kExtractionSlice{50};
// At the program's exit, how long an abandoned extraction is waited for,
// so that it does not run on while the libraries are being torn down.
inline constexpr std::chrono::milliseconds kAbandonedExtractionExitWait{2000};

// Extracts the page on a thread of its own, handling the host's events every
// kExtractionSlice. Nothing once a stop is requested: the extraction is told
// to give up and left to end on its own (it holds the profile and the page
// itself), and its result is dropped. A page that outruns `time` fails with
// unreadReason set.
std::optional<ProfilePage> ExtractWhileResponsive(
    const std::shared_ptr<const CompiledProfile>& profile, std::string utf8Html, SearchHost& host,
    ExtractBounds bounds = {}, std::chrono::milliseconds time = kPageTimeBudget);

}  // namespace search
