#pragma once

#include <map>
#include <string>

namespace kaviro {

// What earlier successful uploads stored, kept in a small file beside the
// pages: for each destination (server, account, folder) the names of the
// pages it holds with the SHA-256 of their bytes. It tells which pages are
// unchanged and which old pages are ours to delete.
class UploadRecord {
public:
    // Page name -> SHA-256 in hex.
    using Pages = std::map<std::string, std::string>;

    static constexpr const char *fileName = ".kaviro-upload";

    // A missing or unreadable file is an empty record.
    static UploadRecord load(const std::string &path);
    // Replaces the file atomically; false when it cannot be written.
    bool save(const std::string &path) const;

    Pages pages(const std::string &destination) const;
    void setPages(const std::string &destination, Pages pages);

private:
    std::map<std::string, Pages> m_destinations;
};

// SHA-256 of a local file in lower-case hex. Raises kaviro::Error with the
// same text as an upload when the file cannot be opened or read.
std::string fileSha256(const std::string &path);

} // namespace kaviro
