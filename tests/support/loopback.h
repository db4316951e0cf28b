#pragma once

#include <netinet/in.h>

namespace kaviro::test {

// 127.0.0.1 with the port given (0: any).
sockaddr_in loopback(int port);
// A port on 127.0.0.1 that nothing listens on right now, for a server to take.
int freePort();

} // namespace kaviro::test
