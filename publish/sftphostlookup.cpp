#include "publish/sftphostlookup.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <netdb.h>

namespace kaviro {

struct SftpHostLookup::Result {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int error = 0;
    std::vector<Address> addresses;
};

SftpHostLookup::SftpHostLookup(const std::string &host, int port) : m_result(std::make_shared<Result>())
{
    std::thread([result = m_result, host, service = std::to_string(port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *list = nullptr;
        const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        std::vector<Address> addresses;
        for (const addrinfo *entry = list; entry != nullptr; entry = entry->ai_next) {
            Address address;
            std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
            address.length = entry->ai_addrlen;
            addresses.push_back(address);
        }
        if (list != nullptr)
            ::freeaddrinfo(list);
        const std::lock_guard<std::mutex> lock(result->mutex);
        result->error = error;
        result->addresses = std::move(addresses);
        result->finished = true;
        result->done.notify_all();
    }).detach();
}

bool SftpHostLookup::waitDone(std::chrono::milliseconds slice)
{
    std::unique_lock<std::mutex> lock(m_result->mutex);
    return m_result->done.wait_for(lock, slice, [this] { return m_result->finished; });
}

const std::vector<SftpHostLookup::Address> &SftpHostLookup::addresses() const
{
    return m_result->addresses;
}

int SftpHostLookup::resolverError() const
{
    return m_result->error;
}

} // namespace kaviro
