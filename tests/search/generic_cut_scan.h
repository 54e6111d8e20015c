#pragma once

#include "search/engines.h"
#include "search/page_buffer.h"
#include "search/search_host.h"

namespace search::testing {

// The page scan made with nothing but PageBuffer::TakeBetween on marker
// texts, every search answered through the buffer's memo: the way ScanPage
// cut hits before it walked each hit with markers of its own. ScanPage must
// give the same rows, the same answer and leave the same rest of the page.
bool ScanPageByGenericCuts(Engine engine, PageBuffer& page, SearchHost& host,
                           const EngineSettings& settings);

}  // namespace search::testing
