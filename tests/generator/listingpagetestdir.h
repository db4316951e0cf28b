#pragma once

// A fresh folder under the system's temporary folder, removed with its
// content when the test ends.

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include <stdlib.h>

namespace kaviro::test {

class ListingPageTestDir {
public:
    ListingPageTestDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kaviro-pages-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~ListingPageTestDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ListingPageTestDir(const ListingPageTestDir &) = delete;
    ListingPageTestDir &operator=(const ListingPageTestDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::string str() const { return m_path.string(); }

    // Writes bytes to a file below the folder, creating its folders.
    std::string write(const std::string &relative, std::string_view bytes) const
    {
        const std::filesystem::path file = m_path / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

private:
    std::filesystem::path m_path;
};

inline std::string readFileBytes(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace kaviro::test
