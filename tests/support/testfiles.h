#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kaviro::test {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end. Others may read it (0755), so that FTP servers that
// drop their privileges still reach the files inside.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return m_path; }
    // The full name of an entry of the folder.
    std::string file(const std::string &name) const { return m_path + '/' + name; }
    // Writes a file below the folder, creating the folders on its way, and
    // returns its full name.
    std::string write(const std::string &name, std::string_view bytes) const;

private:
    std::string m_path;
};

// A whole file's bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path &path);
void writeFile(const std::filesystem::path &path, std::string_view bytes);

} // namespace kaviro::test
