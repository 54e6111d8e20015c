// Whole reads and writes on a file descriptor: the loops around read(2) and
// write(2) that short transfers and signals make necessary, written once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util {

// Writes every byte, going on after short writes and interruptions. False on
// a failure, with errno telling why.
bool WriteAll(int fd, std::string_view bytes);

// Reads until the end of the file or `limit` bytes, whichever comes first,
// into out (replacing what it held). False on a read failure, with errno
// telling why and out holding what was read before it.
bool ReadUpTo(int fd, std::size_t limit, std::string& out);

}  // namespace util
