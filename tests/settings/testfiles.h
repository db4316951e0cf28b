#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kaviro::test {

// A fresh folder below the system's temporary folder, removed with its
// contents at the end of the test.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kaviro-settings-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string file(const std::string &name) const { return (m_path / name).string(); }
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string readBytes(const std::string &fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string &fileName, const std::string &bytes)
{
    std::ofstream(fileName, std::ios::binary) << bytes;
}

} // namespace kaviro::test
