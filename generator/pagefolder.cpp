#include "generator/pagefolder.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/fileio.h"
#include "common/filename.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kaviro {

namespace {

constexpr std::string_view tempSuffix = ".kaviro-tmp";
constexpr const char *recordName = ".kaviro-pages";
constexpr std::size_t bufferSize = 64 * 1024;
constexpr const char *writeError = "Stream-Write-Fehler";

// Beside the file, in its own sub-folder.
std::string tempName(std::string_view fileName)
{
    const std::size_t slash = fileName.rfind('/') + 1; // 0 without one
    std::string name(fileName.substr(0, slash));
    name += '.';
    name += fileName.substr(slash);
    name += tempSuffix;
    return name;
}

bool isTempName(std::string_view name)
{
    return name.size() > 1 + tempSuffix.size() && name.front() == '.' && name.ends_with(tempSuffix);
}

// What the record may name: a file in this folder or below, never a path
// elsewhere, whatever the record file holds.
bool isOwnFileName(std::string_view name)
{
    for (std::size_t from = 0;;) {
        const std::size_t slash = name.find('/', from);
        const std::string_view part = name.substr(from, slash - from);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (slash == std::string_view::npos)
            return true;
        from = slash + 1;
    }
}

bool isRegularFile(int dirFd, const std::string &name)
{
    struct stat st;
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

[[noreturn]] void failCreate(const std::string &pageName)
{
    throw Error("Datei " + pageName + " kann nicht erstellt werden");
}

} // namespace

PageFolder::~PageFolder()
{
    discard();
}

void PageFolder::start(const std::string &folder, std::string templateKey)
{
    discard();
    m_folder = folder;
    m_templateKey = std::move(templateKey);
    m_dirFd = openFile(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (m_dirFd < 0)
        return;
    // Another program's generation into the same folder would lose its
    // temporary files to ours.
    while (::flock(m_dirFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    scanFolder({});
}

void PageFolder::scanFolder(const std::string &subFolder)
{
    const int fd = subFolder.empty() ? ::dup(m_dirFd) : openFileAt(m_dirFd, subFolder.c_str(), O_RDONLY | O_DIRECTORY);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    ::rewinddir(dir);
    const std::string prefix = subFolder.empty() ? std::string() : subFolder + '/';
    while (const dirent *entry = ::readdir(dir)) {
        const bool temp = isTempName(entry->d_name);
        const std::string name = prefix + entry->d_name;
        struct stat st;
        if ((temp || entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN) &&
            ::fstatat(m_dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(st.st_mode) && subFolder.empty())
                m_folders.insert(name);
            else if (temp && S_ISREG(st.st_mode))
                ::unlinkat(m_dirFd, name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

void PageFolder::openPage(const std::string &pageName)
{
    if (m_dirFd < 0)
        failCreate(pageName);
    Page page{cp1252ToUtf8(fileNamePart(pageName)), pageName};
    // A folder under the page's name could not be replaced at the end.
    if (m_folders.contains(page.fileName))
        failCreate(pageName);
    m_pageFd = openFileAt(m_dirFd, tempName(page.fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (m_pageFd < 0)
        failCreate(pageName);
    m_pages.push_back(std::move(page));
    m_writeFailed = false;
    m_buffer.clear();
    m_buffer.reserve(bufferSize);
}

bool PageFolder::store(std::string_view bytes)
{
    if (!m_writeFailed && !writeAll(m_pageFd, bytes))
        m_writeFailed = true;
    return !m_writeFailed;
}

void PageFolder::flush()
{
    const bool stored = store(m_buffer);
    m_buffer.clear();
    if (!stored)
        throw Error(writeError);
}

void PageFolder::write(std::string_view bytes)
{
    if (m_writeFailed)
        throw Error(writeError);
    if (m_buffer.size() + bytes.size() > bufferSize) {
        flush();
        if (bytes.size() >= bufferSize) {
            if (!store(bytes))
                throw Error(writeError);
            return;
        }
    }
    m_buffer.append(bytes);
}

void PageFolder::closePage(bool keep)
{
    const bool stored = !keep || store(m_buffer);
    m_buffer.clear();
    const bool closed = ::close(m_pageFd) == 0 || errno == EINTR;
    m_pageFd = -1;
    if (keep && !(stored && closed))
        throw Error(writeError);
}

void PageFolder::makeSubFolders(const std::string &name)
{
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        const std::string folder = name.substr(0, slash);
        if (m_scannedSubFolders.contains(folder))
            continue;
        ::mkdirat(m_dirFd, folder.c_str(), 0777);
        scanFolder(folder);
        m_scannedSubFolders.insert(folder);
    }
}

void PageFolder::addFile(const std::string &name, std::string_view bytes)
{
    const std::string fullName = utf8ToCp1252(m_folder + '/' + name);
    if (m_dirFd < 0 || !isOwnFileName(name) || m_folders.contains(name))
        failCreate(fullName);
    makeSubFolders(name);
    const int fd = openFileAt(m_dirFd, tempName(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        failCreate(fullName);
    m_pages.push_back({name, fullName});
    bool stored = writeAll(fd, bytes);
    stored = (::close(fd) == 0 || errno == EINTR) && stored;
    if (!stored)
        throw Error(writeError);
}

void PageFolder::commit()
{
    try {
        std::vector<std::string> written;
        Record record = readRecord(m_dirFd);
        const Record previous = record;
        for (const Page &page : m_pages)
            written.push_back(page.fileName);
        // Before any page is replaced, the record names every page this
        // template may have left here, so that a kill during the renames
        // still leaves the stale ones known.
        std::vector<std::string> &names = record[m_templateKey];
        const std::set<std::string> known(names.begin(), names.end());
        for (const std::string &name : written) {
            if (!known.contains(name))
                names.push_back(name);
        }
        if (!writeRecord(record))
            throw Error(writeError);

        // No fsync before the renames: a killed program cannot cut a page
        // either way, the pages can always be made again from the database,
        // and syncing 20,000 pages would cost more than writing them.
        for (; !m_pages.empty(); m_pages.pop_back()) {
            const Page &page = m_pages.back();
            if (::renameat(m_dirFd, tempName(page.fileName).c_str(), m_dirFd, page.fileName.c_str()) != 0)
                failCreate(page.fullName);
        }
        removeStalePages(previous, written);
        names = written;
        // Failing here keeps the record written above, which names more
        // pages than are left: harmless.
        writeRecord(record);
    } catch (...) {
        discard();
        throw;
    }
    discard();
}

void PageFolder::discard()
{
    if (m_pageFd >= 0)
        ::close(m_pageFd);
    m_pageFd = -1;
    for (const Page &page : m_pages)
        ::unlinkat(m_dirFd, tempName(page.fileName).c_str(), 0);
    m_pages.clear();
    m_folders.clear();
    m_scannedSubFolders.clear();
    if (m_dirFd >= 0)
        ::close(m_dirFd);
    m_dirFd = -1;
}

void PageFolder::removeStalePages(const Record &previous, const std::vector<std::string> &written) const
{
    const auto ours = previous.find(m_templateKey);
    if (ours == previous.end())
        return;
    // A page another template wrote under the same name is not stale.
    std::set<std::string> keep(written.begin(), written.end());
    for (const auto &[key, names] : previous) {
        if (key != m_templateKey)
            keep.insert(names.begin(), names.end());
    }
    for (const std::string &name : ours->second) {
        if (!keep.contains(name) && isOwnFileName(name) && isRegularFile(m_dirFd, name))
            ::unlinkat(m_dirFd, name.c_str(), 0);
    }
}

// One block per template: its name in brackets, then one file name a line.
// The generator's names never start with "[", so they never read as a
// template's line.
PageFolder::Record PageFolder::readRecord(int dirFd)
{
    Record record;
    const int fd = openFileAt(dirFd, recordName, O_RDONLY);
    if (fd < 0)
        return record;
    std::string text;
    readAll(fd, text);
    ::close(fd);
    std::vector<std::string> *names = nullptr;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        const std::string_view line = std::string_view(text).substr(from, end - from);
        from = end + 1;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
            names = &record[std::string(line.substr(1, line.size() - 2))];
        else if (names && !line.empty())
            names->emplace_back(line);
    }
    return record;
}

std::optional<std::vector<std::string>> PageFolder::recordedFiles(const std::string &folder,
                                                                  const std::string &templateKey)
{
    const int dirFd = openFile(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd < 0)
        return std::nullopt;
    Record record = readRecord(dirFd);
    ::close(dirFd);
    const auto ours = record.find(templateKey);
    if (ours == record.end())
        return std::nullopt;
    std::vector<std::string> names = std::move(ours->second);
    std::erase_if(names, [](const std::string &name) { return !isOwnFileName(name); });
    return names;
}

bool PageFolder::writeRecord(const Record &record) const
{
    std::string text;
    for (const auto &[key, names] : record) {
        text += '[' + key + "]\n";
        for (const std::string &name : names)
            text += name + '\n';
    }
    const std::string temp = tempName(recordName + 1);
    const int fd = openFileAt(m_dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, text);
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::renameat(m_dirFd, temp.c_str(), m_dirFd, recordName) == 0;
    if (!ok)
        ::unlinkat(m_dirFd, temp.c_str(), 0);
    return ok;
}

} // namespace kaviro
