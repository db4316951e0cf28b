#include "settings/passwordcipher.h"

#include "common/integertext.h"

#include <openssl/evp.h>

#include <algorithm>
#include <istream>
#include <memory>
#include <ostream>
#include <sstream>

namespace kaviro {

namespace {

constexpr std::size_t blockSize = 16;

// One AES-128 block at a time through libcrypto; the framing is ours.
class AesEcb {
public:
    AesEcb(const AesKey &key, bool encrypt)
        : m_context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free)
    {
        if (!m_context
            || EVP_CipherInit_ex(m_context.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr,
                                 encrypt ? 1 : 0) != 1
            || EVP_CIPHER_CTX_set_padding(m_context.get(), 0) != 1)
            throw CipherError("AES-128 is not available");
    }

    void run(const unsigned char *in, unsigned char *out)
    {
        int length = 0;
        if (EVP_CipherUpdate(m_context.get(), out, &length, in, int(blockSize)) != 1
            || length != int(blockSize))
            throw CipherError("AES-128 block operation failed");
    }

private:
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> m_context;
};

std::int64_t blockCount(std::istream &source, std::int64_t count)
{
    source.clear();
    if (count == 0)
        source.seekg(0);
    const std::streampos position = source.tellg();
    source.seekg(0, std::ios::end);
    const std::streampos end = source.tellg();
    source.seekg(position);
    if (position < 0 || end < 0)
        throw Error("Stream read error");
    const std::int64_t left = std::int64_t(end - position);
    return count == 0 ? left : std::min(count, left);
}

void readBytes(std::istream &source, unsigned char *buffer, std::int64_t count)
{
    source.read(reinterpret_cast<char *>(buffer), std::streamsize(count));
    if (source.gcount() != count)
        throw Error("Stream read error");
}

void writeBlock(std::ostream &destination, const unsigned char *block)
{
    destination.write(reinterpret_cast<const char *>(block), std::streamsize(blockSize));
    if (!destination)
        throw Error("Stream write error");
}

void runBlocks(std::istream &source, std::int64_t count, const AesKey &key,
               std::ostream &destination, bool encrypt)
{
    count = blockCount(source, count);
    if (count == 0)
        return;
    if (!encrypt && count % std::int64_t(blockSize) != 0)
        throw CipherError("Invalid buffer size for decryption");
    AesEcb aes(key, encrypt);
    unsigned char in[blockSize];
    unsigned char out[blockSize];
    while (count > 0) {
        const std::int64_t take = std::min<std::int64_t>(count, blockSize);
        std::fill(std::begin(in), std::end(in), 0);
        readBytes(source, in, take);
        aes.run(in, out);
        writeBlock(destination, out);
        count -= take;
    }
}

} // namespace

std::string encodePassword(std::string_view plain)
{
    return plain.empty() ? std::string() : encipherText(plain, passwordPassPhrase);
}

std::string decodePassword(std::string_view stored)
{
    if (stored.empty())
        return {};
    std::string plain = decipherText(stored, passwordPassPhrase);
    plain.resize(std::min(plain.size(), plain.find('\0')));
    return plain;
}

std::string encipherText(std::string_view plain, std::string_view passPhrase)
{
    std::istringstream source{std::string(plain)};
    std::ostringstream destination;
    const auto n = static_cast<std::uint32_t>(plain.size());
    for (int shift = 0; shift < 32; shift += 8)
        destination.put(char((n >> shift) & 0xFF));
    encryptBlocksEcb(source, 0, keyFromPassPhrase(passPhrase), destination);
    return bytesToHex(destination.str());
}

std::string decipherText(std::string_view stored, std::string_view passPhrase)
{
    const std::string bytes = hexToBytes(stored);
    std::istringstream source(bytes);
    // The length prefix is read past and not trusted for anything.
    char prefix[4];
    source.read(prefix, sizeof prefix);
    if (source.gcount() != sizeof prefix)
        throw Error("Stream-Read-Fehler");
    std::ostringstream destination;
    decryptBlocksEcb(source, std::int64_t(bytes.size() - sizeof prefix),
                     keyFromPassPhrase(passPhrase), destination);
    return destination.str();
}

AesKey keyFromPassPhrase(std::string_view passPhrase)
{
    AesKey key{};
    std::copy_n(passPhrase.begin(), std::min(passPhrase.size(), key.size()), key.begin());
    return key;
}

std::string bytesToHex(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::string hexToBytes(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() / 2 + 1);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string_view pair = text.substr(i, 2);
        int value = 0;
        for (const char c : pair) {
            const int digit = hexDigitValue(c);
            if (digit < 0)
                throw Error(notAnIntegerMessage("0x" + std::string(pair)));
            value = value * 16 + digit;
        }
        bytes += char(value);
    }
    return bytes;
}

void encryptBlocksEcb(std::istream &source, std::int64_t count, const AesKey &key,
                      std::ostream &destination)
{
    runBlocks(source, count, key, destination, true);
}

void decryptBlocksEcb(std::istream &source, std::int64_t count, const AesKey &key,
                      std::ostream &destination)
{
    runBlocks(source, count, key, destination, false);
}

} // namespace kaviro
