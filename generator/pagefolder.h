#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

// The output folder during one generation, which is all or nothing: each
// page goes into a hidden temporary file (".<page>.kaviro-tmp", a name no
// page can have), and only a whole generation is renamed onto the page
// names. A run that fails leaves the pages of the previous one as they
// were; a killed run leaves only temporary files, which the next run
// removes.
//
// Besides the pages a generation may add further files (images, detail
// pages), also in sub-folders such as "bilder/"; they go the same way.
//
// The record file ".kaviro-pages" in the folder lists, for each template,
// the files its last generation wrote. After a generation the files that the
// previous one of the same template wrote and this one did not are removed;
// no other file in the folder is touched.
//
// File names are UTF-8 as the file system takes them; the names in messages
// are the files' full names in Windows-1252, as the generator gives them.
class PageFolder {
public:
    PageFolder() = default;
    ~PageFolder();
    PageFolder(const PageFolder &) = delete;
    PageFolder &operator=(const PageFolder &) = delete;

    // Starts a generation into folder for the template named templateKey.
    // Waits while another program generates into the folder, and removes
    // the temporary files of a killed run. A folder that cannot be opened
    // is reported by the first page.
    void start(const std::string &folder, std::string templateKey);

    bool pageOpen() const { return m_pageFd >= 0; }
    // Starts the page of that full name. Error "Datei <pageName> kann
    // nicht erstellt werden" when it cannot be.
    void openPage(const std::string &pageName);
    // Error "Stream-Write-Fehler" when the bytes cannot be stored.
    void write(std::string_view bytes);
    // Stores the rest of the page; keep false lets it go (an error ended
    // the page, so the generation is dropped anyway).
    void closePage(bool keep);

    // Stores a whole file of the generation; name is relative to the folder,
    // "/" between its sub-folders, which are created when missing. Errors as
    // for a page.
    void addFile(const std::string &name, std::string_view bytes);

    // Puts every file of the generation in place, then removes the stale
    // ones and keeps the record.
    void commit();
    // Removes the generation's temporary files; the folder is as before.
    void discard();

    // The files the last generation of the template wrote into folder, as
    // the record lists them, relative to it; nothing when the record knows
    // no generation of the template.
    static std::optional<std::vector<std::string>> recordedFiles(const std::string &folder,
                                                                 const std::string &templateKey);

private:
    struct Page {
        std::string fileName; // in the folder
        std::string fullName; // for messages
    };
    using Record = std::map<std::string, std::vector<std::string>>;

    // Removes the temporary files of a killed run in the sub-folder (empty:
    // the folder itself) and notes the folders found in it.
    void scanFolder(const std::string &subFolder);
    void makeSubFolders(const std::string &name);
    static Record readRecord(int dirFd);
    bool writeRecord(const Record &record) const;
    void removeStalePages(const Record &previous, const std::vector<std::string> &written) const;
    void flush();
    bool store(std::string_view bytes);

    int m_dirFd = -1; // the folder, locked while a generation runs
    std::string m_folder;
    std::string m_templateKey;
    std::vector<Page> m_pages;
    std::set<std::string> m_folders; // entries of the folder that are folders
    std::set<std::string> m_scannedSubFolders;
    int m_pageFd = -1;
    bool m_writeFailed = false;
    std::string m_buffer;
};

} // namespace kaviro
