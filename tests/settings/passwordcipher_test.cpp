#include "settings/passwordcipher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

using namespace kaviro;

namespace {

// Stored form of "geheim", worked out with the openssl command-line tool
// (AES-128-ECB, key "tundra47" and eight zero bytes, no padding).
constexpr const char *geheimStored = "06000000344E563F2EA29966548DD0BF63E7F1FF";

} // namespace

TEST(PasswordCipher, AesBlockMatchesFips197KnownAnswer)
{
    const AesKey key{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                     0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
    std::istringstream plain(hexToBytes("00112233445566778899AABBCCDDEEFF"));
    std::ostringstream cipher;
    encryptBlocksEcb(plain, 0, key, cipher);
    EXPECT_EQ(bytesToHex(cipher.str()), "69C4E0D86A7B0430D8CDB78070B4C55A");

    std::istringstream back(cipher.str());
    std::ostringstream decrypted;
    decryptBlocksEcb(back, 0, key, decrypted);
    EXPECT_EQ(bytesToHex(decrypted.str()), "00112233445566778899AABBCCDDEEFF");
}

TEST(PasswordCipher, StoredFormHasLengthPrefixAndWholeBlocks)
{
    EXPECT_EQ(encodePassword("geheim"), geheimStored);

    const struct {
        std::string plain;
        std::size_t length;
        const char *prefix;
    } cases[] = {
        {"", 0, ""},
        {"geheim", 40, "06000000"},
        {std::string(16, 'p'), 40, "10000000"},
        {std::string(17, 'p'), 72, "11000000"},
        {std::string(300, 'p'), 8 + 32 * 19, "2C010000"},
    };
    for (const auto &c : cases) {
        const std::string stored = encodePassword(c.plain);
        EXPECT_EQ(stored.size(), c.length) << c.plain.size();
        EXPECT_EQ(stored.substr(0, 8), c.prefix) << c.plain.size();
        EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(decodePassword(stored), c.plain);
        EXPECT_EQ(encodePassword(c.plain), stored) << "not deterministic";
    }

    // Blocks are independent: a shared first block gives the same characters 9 to 40.
    const std::string first = encodePassword(std::string(16, 'a') + "one");
    const std::string second = encodePassword(std::string(16, 'a') + "other");
    EXPECT_EQ(first.substr(8, 32), second.substr(8, 32));
    EXPECT_NE(first.substr(40), second.substr(40));
}

TEST(PasswordCipher, DecodingIsLenient)
{
    std::string lower = geheimStored;
    for (char &c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(decodePassword(lower), "geheim");
    // The length prefix is not trusted.
    EXPECT_EQ(decodePassword(std::string("FF7F0000") + (geheimStored + 8)), "geheim");
    // An odd length ends in a byte made from the single last digit.
    EXPECT_EQ(hexToBytes("0A1"), std::string("\x0A\x01", 2));
    EXPECT_EQ(decipherText(std::string(geheimStored, 39), "tundra47").size(), 16u);

    // Windows-1252 bytes survive; a zero byte ends the password.
    const std::string umlauts = "P\xE4\xDF\x80w\xF6rt\xFF";
    EXPECT_EQ(decodePassword(encodePassword(umlauts)), umlauts);
    EXPECT_EQ(decodePassword(encodePassword(std::string("ab\0cd", 5))), "ab");
    EXPECT_EQ(decipherText(geheimStored, "tundra47"), std::string("geheim\0\0\0\0\0\0\0\0\0\0", 16));
    // Another pass phrase is another key; only the first 16 bytes count.
    EXPECT_NE(encipherText("geheim", "tundra48"), geheimStored);
    EXPECT_EQ(encipherText("x", std::string(16, 'k') + "ignored"), encipherText("x", std::string(16, 'k')));
}

TEST(PasswordCipher, DecodeErrorsInTheirOrder)
{
    const std::string notHex = "' ist kein g\xFC" "ltiger Integerwert";
    const struct {
        std::string stored;
        std::string message;
        bool cipherError;
    } cases[] = {
        {"ZZ", "'0xZZ" + notHex, false},
        {"Z", "'0xZ" + notHex, false},  // before any length check
        {std::string(geheimStored).substr(0, 38) + "G", "'0xG" + notHex, false},
        {"06000000 1" + std::string(30, '0'), "'0x 1" + notHex, false},
        {"0x12", "'0x0x" + notHex, false},
        {"A", "Stream-Read-Fehler", false},
        {"060000", "Stream-Read-Fehler", false},
        {"0600000", "Invalid buffer size for decryption", true},
        {"06000000", "Invalid buffer size for decryption", true},
        {std::string(geheimStored).substr(0, 38), "Invalid buffer size for decryption", true},
        {std::string(geheimStored) + "00", "Invalid buffer size for decryption", true},
    };
    for (const auto &c : cases) {
        try {
            decodePassword(c.stored);
            ADD_FAILURE() << c.stored << ": no error";
        } catch (const CipherError &e) {
            EXPECT_TRUE(c.cipherError) << c.stored;
            EXPECT_EQ(e.what(), c.message) << c.stored;
        } catch (const Error &e) {
            EXPECT_FALSE(c.cipherError) << c.stored;
            EXPECT_EQ(e.what(), c.message) << c.stored;
        }
    }
}

TEST(PasswordCipher, BlockFunctionsCountFromTheStreamPosition)
{
    const AesKey key = keyFromPassPhrase("tundra47");
    // A count of 0 means the whole source from position 0, wherever it stands.
    std::istringstream source("xxgeheim");
    source.seekg(2);
    std::ostringstream whole;
    encryptBlocksEcb(source, 0, key, whole);
    std::istringstream fromStart("xxgeheim");
    std::ostringstream expected;
    encryptBlocksEcb(fromStart, 8, key, expected);
    EXPECT_EQ(whole.str(), expected.str());

    // Otherwise at most what is left from the position; the last block zero-filled.
    source.clear();
    source.seekg(2);
    std::ostringstream tail;
    encryptBlocksEcb(source, 1000, key, tail);
    EXPECT_EQ(bytesToHex(tail.str()), std::string(geheimStored).substr(8));

    std::istringstream block(std::string(16, 'b'));
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_THROW(encryptBlocksEcb(block, 0, key, broken), Error);
}
