#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct pg_conn;
struct pg_cancel;

namespace kaviro {

// Keeps a PostgreSQL statement from waiting longer than its bound, whatever
// the server or the network does: libpq itself would wait for ever. When a
// watched statement runs past the bound, a cancel request goes to the
// server; when the statement still has not returned after the grace time,
// the connection's socket is shut down, which ends libpq's wait with an
// error. Both happen on the watchdog's own threads; the statement's thread
// only marks where watching starts and ends.
class StatementWatchdog {
public:
    StatementWatchdog(pg_conn *connection, std::chrono::seconds bound, std::chrono::milliseconds grace);
    ~StatementWatchdog();
    StatementWatchdog(const StatementWatchdog &) = delete;
    StatementWatchdog &operator=(const StatementWatchdog &) = delete;

    // Nested: each begin and inner end gives the work a fresh bound; the
    // outermost end stops watching.
    void begin();
    void end();
    // The bound ran out since the outermost begin.
    bool fired() const;
    std::chrono::seconds bound() const { return m_bound; }

private:
    void watch();

    std::shared_ptr<pg_cancel> m_cancel;
    int m_socket;
    std::chrono::seconds m_bound;
    std::chrono::milliseconds m_grace;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_depth = 0;
    unsigned m_watched = 0; // counts outermost begins and ends
    std::chrono::steady_clock::time_point m_deadline;
    bool m_fired = false;
    bool m_closed = false; // the socket is shut down
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace kaviro
