#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kaviro::test {

// A TCP proxy on 127.0.0.1 in front of a server, for database clients that
// must not hang: stall() freezes every connection open at that moment (the
// bytes stay unread, as with a server or network gone quiet), while new
// connections still pass.
class StallingProxy {
public:
    StallingProxy(const std::string &targetHost, std::uint16_t targetPort);
    ~StallingProxy();
    StallingProxy(const StallingProxy &) = delete;
    StallingProxy &operator=(const StallingProxy &) = delete;

    std::uint16_t port() const { return m_port; }
    void stall();

private:
    struct Pair {
        int client;
        int server;
        bool stalled = false;
    };

    void run();
    void accept();

    std::string m_targetHost;
    std::uint16_t m_targetPort;
    int m_listener = -1;
    int m_wakePipe[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::mutex m_mutex;
    std::vector<Pair> m_pairs;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace kaviro::test
