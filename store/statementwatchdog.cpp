#include "store/statementwatchdog.h"

#include <libpq-fe.h>
#include <sys/socket.h>

namespace kaviro {

StatementWatchdog::StatementWatchdog(pg_conn *connection, std::chrono::seconds bound,
                                     std::chrono::milliseconds grace)
    : m_cancel(PQgetCancel(connection), PQfreeCancel), m_socket(PQsocket(connection)), m_bound(bound),
      m_grace(grace), m_thread([this] { watch(); })
{
}

StatementWatchdog::~StatementWatchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void StatementWatchdog::begin()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_depth++ == 0) {
            ++m_watched;
            m_fired = false;
        }
        m_deadline = std::chrono::steady_clock::now() + m_bound;
    }
    m_wake.notify_all();
}

void StatementWatchdog::end()
{
    {
        const std::lock_guard lock(m_mutex);
        if (--m_depth == 0)
            ++m_watched;
        else
            m_deadline = std::chrono::steady_clock::now() + m_bound;
    }
    m_wake.notify_all();
}

bool StatementWatchdog::fired() const
{
    const std::lock_guard lock(m_mutex);
    return m_fired;
}

void StatementWatchdog::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (m_depth == 0 || m_fired || m_closed) {
            m_wake.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < m_deadline) {
            m_wake.wait_until(lock, m_deadline);
            continue;
        }
        m_fired = true;
        const unsigned watched = m_watched;
        // PQcancel waits for the server's answer, which a stalled server
        // never sends: it runs on a thread of its own that may outlive us.
        if (m_cancel)
            std::thread([cancel = m_cancel] {
                char error[256];
                PQcancel(cancel.get(), error, sizeof error);
            }).detach();
        if (!m_wake.wait_for(lock, m_grace, [&] { return m_stop || m_watched != watched; })) {
            // Shutting down, not closing: libpq keeps its descriptor, and
            // its wait returns at once with "server closed the connection".
            ::shutdown(m_socket, SHUT_RDWR);
            m_closed = true;
        }
    }
}

} // namespace kaviro
