#include "tests/support/stallingproxy.h"
#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace kaviro::test {

namespace {

int connectTo(const std::string &host, std::uint16_t port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

// Copies what is there; false when the connection has ended.
bool forward(int from, int to)
{
    char buffer[16384];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    for (ssize_t sent = 0; sent < n;) {
        const ssize_t w = ::write(to, buffer + sent, std::size_t(n - sent));
        if (w <= 0)
            return false;
        sent += w;
    }
    return true;
}

} // namespace

StallingProxy::StallingProxy(const std::string &targetHost, std::uint16_t targetPort)
    : m_targetHost(targetHost), m_targetPort(targetPort)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0 || ::pipe(m_wakePipe) != 0)
        throw std::runtime_error("proxy: cannot listen");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

StallingProxy::~StallingProxy()
{
    m_stop = true;
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], "x", 1);
    m_thread.join();
    for (const Pair &pair : m_pairs) {
        ::close(pair.client);
        ::close(pair.server);
    }
    ::close(m_listener);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
}

void StallingProxy::stall()
{
    {
        const std::lock_guard lock(m_mutex);
        for (Pair &pair : m_pairs)
            pair.stalled = true;
    }
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], "x", 1);
}

void StallingProxy::accept()
{
    const int client = ::accept(m_listener, nullptr, nullptr);
    if (client < 0)
        return;
    const int server = connectTo(m_targetHost, m_targetPort);
    if (server < 0) {
        ::close(client);
        return;
    }
    const std::lock_guard lock(m_mutex);
    m_pairs.push_back({client, server});
}

void StallingProxy::run()
{
    while (!m_stop) {
        std::vector<pollfd> fds{{m_wakePipe[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        std::vector<std::size_t> owners; // the pair of each further entry
        {
            const std::lock_guard lock(m_mutex);
            for (std::size_t i = 0; i < m_pairs.size(); ++i) {
                if (m_pairs[i].stalled)
                    continue;
                fds.push_back({m_pairs[i].client, POLLIN, 0});
                fds.push_back({m_pairs[i].server, POLLIN, 0});
                owners.push_back(i);
                owners.push_back(i);
            }
        }
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents) {
            char drain[16];
            [[maybe_unused]] const ssize_t n = ::read(m_wakePipe[0], drain, sizeof drain);
        }
        if (fds[1].revents & POLLIN)
            accept();
        const std::lock_guard lock(m_mutex);
        std::vector<bool> ended(m_pairs.size(), false);
        for (std::size_t k = 2; k < fds.size(); ++k) {
            Pair &pair = m_pairs[owners[k - 2]];
            if (!fds[k].revents || pair.stalled || ended[owners[k - 2]])
                continue;
            const bool fromClient = fds[k].fd == pair.client;
            if (!forward(fds[k].fd, fromClient ? pair.server : pair.client))
                ended[owners[k - 2]] = true;
        }
        for (std::size_t i = m_pairs.size(); i-- > 0;) {
            if (!ended[i])
                continue;
            ::close(m_pairs[i].client);
            ::close(m_pairs[i].server);
            m_pairs.erase(m_pairs.begin() + std::ptrdiff_t(i));
        }
    }
}

} // namespace kaviro::test
