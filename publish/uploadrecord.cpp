#include "publish/uploadrecord.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/hextext.h"
#include "publish/tcpsocket.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

namespace kaviro {

namespace {

// One line per page: destination, name and digest separated by tabs, none
// of which a server name, folder or page name holds.
constexpr char separator = '\t';

} // namespace

UploadRecord UploadRecord::load(const std::string &path)
{
    UploadRecord record;
    std::ifstream in(cp1252ToUtf8(path), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t first = line.find(separator);
        const std::size_t last = line.rfind(separator);
        if (first == std::string::npos || first == last)
            continue;
        record.m_destinations[line.substr(0, first)][line.substr(first + 1, last - first - 1)] = line.substr(last + 1);
    }
    return record;
}

bool UploadRecord::save(const std::string &path) const
{
    const std::string target = cp1252ToUtf8(path);
    const std::string temporary = target + ".neu";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const auto &[destination, pages] : m_destinations) {
            for (const auto &[name, digest] : pages)
                out << destination << separator << name << separator << digest << '\n';
        }
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

UploadRecord::Pages UploadRecord::pages(const std::string &destination) const
{
    const auto found = m_destinations.find(destination);
    return found == m_destinations.end() ? Pages() : found->second;
}

void UploadRecord::setPages(const std::string &destination, Pages pages)
{
    if (pages.empty())
        m_destinations.erase(destination);
    else
        m_destinations[destination] = std::move(pages);
}

std::string fileSha256(const std::string &path)
{
    // Opens as an upload would, with its messages.
    localFileSize(path);
    const int fd = ::open(cp1252ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error("Datei " + path + " kann nicht ge\xf6" "ffnet werden");
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    std::unique_ptr<char[]> buffer(new char[65536]);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), 65536);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            throw Error("Datei " + path + " kann nicht gelesen werden");
        }
        if (n == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.get(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return hexText(digest, length);
}

} // namespace kaviro
