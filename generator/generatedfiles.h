#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

// The files a generation adds beside its pages (images, detail pages), all
// or nothing: each goes to a hidden temporary name beside its place and only
// commit() renames them all into place. The record file
// ".<template>.kaviro-files" in the output folder lists what the last
// commit wrote; a commit removes the files of that list it did not write
// again, and never any other file.
//
// Names are relative to the output folder, "/" between folders, UTF-8.
class GeneratedFiles {
public:
    GeneratedFiles() = default;
    ~GeneratedFiles();
    GeneratedFiles(const GeneratedFiles &) = delete;
    GeneratedFiles &operator=(const GeneratedFiles &) = delete;

    void start(std::string folder, std::string_view templateName);
    // Error "Datei <name> kann nicht erstellt werden" or "Stream-Write-Fehler".
    void add(const std::string &name, std::string_view bytes);
    void commit();
    void discard();

    const std::vector<std::string> &names() const { return m_names; }

private:
    std::string path(const std::string &name) const { return m_folder + '/' + name; }
    static std::string temporaryPath(const std::string &path);
    std::string recordPath() const;
    std::set<std::string> readRecord() const;

    std::string m_folder;
    std::string m_record;
    std::vector<std::string> m_names; // added since start, in order
};

} // namespace kaviro
