#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace kaviro {

// A host name resolved on a thread of its own that the caller polls for the
// result. The thread shares only its result with the caller, so a caller
// that gives up (cancel, time-out) returns at once and the lookup ends
// whenever the resolver does.
class SftpHostLookup {
public:
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };

    SftpHostLookup(const std::string &host, int port);

    // Waits up to slice for the result; true once it is there.
    bool waitDone(std::chrono::milliseconds slice);
    // Both only after waitDone returned true; no address when it failed.
    const std::vector<Address> &addresses() const;
    int resolverError() const;

private:
    struct Result;
    std::shared_ptr<Result> m_result;
};

} // namespace kaviro
