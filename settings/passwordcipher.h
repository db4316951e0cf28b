#pragma once

#include "common/error.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace kaviro {

// Raised for a cipher text whose length does not fit the AES blocks.
class CipherError : public Error {
public:
    using Error::Error;
};

// The stored form of the FTP password: the plain length as 4 bytes (least
// significant first), then the AES-128-ECB encryption of the password padded
// with zero bytes to whole blocks, all as upper-case hexadecimal text. The key
// is a pass phrase fixed in the program, so anyone who has the program can
// decode a stored password: this keeps it from casual eyes, nothing more.
//
// Bytes and texts are std::string, one byte per character (Windows-1252).

using AesKey = std::array<unsigned char, 16>;

inline constexpr std::string_view passwordPassPhrase = "tundra47";

// Empty gives empty; otherwise encipherText(plain, passwordPassPhrase).
std::string encodePassword(std::string_view plain);
// Empty gives empty; otherwise decipherText(stored, passwordPassPhrase) cut
// before its first zero byte. Raises the errors of decipherText.
std::string decodePassword(std::string_view stored);

std::string encipherText(std::string_view plain, std::string_view passPhrase);
// All decrypted bytes, the zero fill of the last block included. Raises, in
// this order of checks: the "kein gültiger Integerwert" error of hexToBytes;
// "Stream-Read-Fehler" for fewer than 4 bytes; CipherError "Invalid buffer
// size for decryption" when the rest is not whole blocks (or is empty, since
// a count of 0 then takes the whole 4 bytes as data).
std::string decipherText(std::string_view stored, std::string_view passPhrase);

// The pass phrase's first 16 bytes, zero-filled to 16.
AesKey keyFromPassPhrase(std::string_view passPhrase);

std::string bytesToHex(std::string_view bytes);
// Two digits per byte, either letter case; an odd length ends in a byte made
// from the single last digit. A pair that is not hexadecimal raises
// kaviro::Error "'0x<pair>' ist kein gültiger Integerwert".
std::string hexToBytes(std::string_view text);

// AES-128 over a stream, 16 bytes at a time. A count of 0 means the whole
// source from position 0; otherwise at most the bytes left from the current
// position. Encryption zero-fills a last partial block; decryption raises
// CipherError "Invalid buffer size for decryption" when the count is not a
// multiple of 16. "Stream read error" / "Stream write error" (kaviro::Error)
// when a stream delivers or takes fewer bytes than needed.
void encryptBlocksEcb(std::istream &source, std::int64_t count, const AesKey &key,
                      std::ostream &destination);
void decryptBlocksEcb(std::istream &source, std::int64_t count, const AesKey &key,
                      std::ostream &destination);

} // namespace kaviro
