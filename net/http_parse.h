#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/cookie_store.h"

// The small parsers of the response side, apart from the socket so that tests
// and fuzz targets can call them on any bytes.
namespace net {

// The second space-separated word of a status line as a decimal integer; -1
// when it is not one.
int ParseStatusCode(const std::string& statusLine);

// A Content-Length value; -1 when it is not a decimal integer that fits.
std::int64_t ParseContentLength(const std::string& value);

// A chunk-size line: hexadecimal digits, then nothing, or a space, tab or ";"
// before text that is ignored (an extension). False when the line does not
// begin with a hexadecimal number ("", "-1", "zz", "1g") or the number does not
// fit in 63 bits; no honest chunk comes near that.
bool ParseChunkSize(const std::string& line, std::uint64_t& size);

// The body length announced by every Content-Length header of a response, each
// possibly a comma list: -1 when there is none or its value is not a decimal
// integer; false when the values differ, since then no one knows where the body
// ends.
bool AnnouncedLength(const HeaderList& headers, std::int64_t& length);

// Adds one response header line (without its line end): "Name: value", or a
// continuation of the previous header when it begins with a space or tab, the
// parts trimmed and joined with one space. A line without ":" is ignored.
void AddHeaderLine(HeaderList& headers, const std::string& line);

// The first header of that name (any case), or nullptr.
const std::string* FindHeader(const HeaderList& headers, const std::string& name);

// A request header line ("Name: value") longer than kFoldLength is broken after
// a space, tab or comma outside double quotes; continuation lines begin with one
// space. The parts are joined with CRLF; no final CRLF. Time grows linearly with
// the line; pace, when set, is called after every folded line so that a caller
// can keep its window serviced through a line of megabytes.
std::string FoldHeaderLine(const std::string& line, const std::function<void()>& pace = {});

// Lower-cased with the surrounding blanks removed, for comparing header values.
std::string NormalisedToken(const std::string& value);

}  // namespace net
