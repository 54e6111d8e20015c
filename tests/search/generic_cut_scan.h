#pragma once

#include <string_view>

#include "search/engines.h"
#include "search/page_buffer.h"
#include "search/search_host.h"

namespace search::testing {

// The page scan made with nothing but PageBuffer::TakeBetween on marker
// texts, every search answered through the buffer's memo: the way ScanPage
// cut hits before it walked each hit with markers of its own. ScanPage must
// give the same rows, the same answer and leave the same rest of the page.
// The markers of every engine, whole, broken and in other cases, that random
// pages are built from to hold the scan against the generic cuts.
inline constexpr std::string_view kMarkerPieces[] = {"<li class=g",
                                                     "<LI CLASS=G",
                                                     " b",
                                                     ">",
                                                     "href=\"",
                                                     "HREF=\"",
                                                     "\"",
                                                     "http://",
                                                     "HTTP://",
                                                     "http://images.google",
                                                     "/",
                                                     "</a>",
                                                     "</A>",
                                                     "<b>",
                                                     "&amp;",
                                                     "x",
                                                     " ",
                                                     "<div class=\"res",
                                                     "<DIV CLASS=\"RES",
                                                     "<a class=\"yschttl\" href",
                                                     "**",
                                                     "%3a",
                                                     "<li><h3",
                                                     "<li><h3>",
                                                     "<LI><H3>",
                                                     "<a href=\"",
                                                     "<a class='res'",
                                                     "<A CLASS='RES'",
                                                     "<span class=s>",
                                                     "<span class=ngrn>",
                                                     "</span>",
                                                     "</SPAN>",
                                                     "Next</a>",
                                                     "<li",
                                                     "class=",
                                                     "<",
                                                     "\r\n",
                                                     "&lt;",
                                                     "<<b>b>"};

bool ScanPageByGenericCuts(Engine engine, PageBuffer& page, SearchHost& host,
                           const EngineSettings& settings);

}  // namespace search::testing
