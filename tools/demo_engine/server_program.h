// What the demo server programs share: reading a port argument and serving
// until they are told to stop.
#pragma once

#include <cstdint>

#include "tools/demo_engine/loopback_server.h"

namespace demo {

// A port number 0 to 65535 in decimal, nothing else; false otherwise.
bool ParsePort(const char* text, std::uint16_t& port);

// Serves handler on 127.0.0.1:port (0: a free port) until SIGINT or SIGTERM.
// The first line on standard output, "<name> listening on <base URL>",
// tells scripts and tests where to find the server. With tls it serves https
// with a certificate for 127.0.0.1 and localhost from a CA made at start; the
// second line, "ZORVANE_CA_FILE=<file>", names that CA's certificate for the
// clients, and the file goes when the server stops. Returns the exit status:
// 0 after a signal, 1 (with the reason on standard error) when the server
// cannot start.
int ServeUntilSignalled(const char* name, Handler handler, std::uint16_t port, bool tls = false);

}  // namespace demo
