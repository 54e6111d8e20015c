#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace util {

// Text files are lines: CR LF, lone LF and lone CR each end a line, and a NUL
// byte ends the text. An empty text has no lines; a final line without a line
// end still counts.
std::vector<std::string> SplitLines(std::string_view text);

// The lines joined with CR LF after every line, the last one included.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// Reads a whole file as lines. Throws std::runtime_error naming the path when
// the file cannot be opened or read, or is not a regular file (a FIFO or a
// device is refused at once rather than waited on or read without end).
std::vector<std::string> ReadLineFile(const std::string& path);

// Writes the lines with CR LF after every line, replacing the file. Throws
// std::runtime_error naming the path on failure.
void WriteLineFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace util
