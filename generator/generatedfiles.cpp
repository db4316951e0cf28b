#include "generator/generatedfiles.h"

#include "common/cp1252.h"
#include "common/error.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kaviro {

namespace {

enum class Written { Ok, NotCreated, NotStored };

Written writeFile(const std::string &path, std::string_view bytes)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Written::NotCreated;
    bool stored = true;
    while (stored && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        stored = n > 0;
        if (stored)
            bytes.remove_prefix(std::size_t(n));
    }
    return ::close(fd) == 0 && stored ? Written::Ok : Written::NotStored;
}

// Creates the folders on the way to name, below folder.
void makeFolders(const std::string &folder, const std::string &name)
{
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
        ::mkdir((folder + '/' + name.substr(0, slash)).c_str(), 0777);
}

} // namespace

GeneratedFiles::~GeneratedFiles()
{
    discard();
}

void GeneratedFiles::start(std::string folder, std::string_view templateName)
{
    discard();
    m_folder = std::move(folder);
    m_record = "." + std::string(templateName) + ".kaviro-files";
}

std::string GeneratedFiles::temporaryPath(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return path.substr(0, slash + 1) + '.' + path.substr(slash + 1) + ".kaviro-tmp";
}

std::string GeneratedFiles::recordPath() const
{
    return m_folder + '/' + m_record;
}

void GeneratedFiles::add(const std::string &name, std::string_view bytes)
{
    makeFolders(m_folder, name);
    const std::string temporary = temporaryPath(path(name));
    m_names.push_back(name);
    switch (writeFile(temporary, bytes)) {
    case Written::Ok: return;
    case Written::NotCreated: throw Error("Datei " + utf8ToCp1252(path(name)) + " kann nicht erstellt werden");
    case Written::NotStored: throw Error("Stream-Write-Fehler");
    }
}

std::set<std::string> GeneratedFiles::readRecord() const
{
    std::set<std::string> names;
    std::ifstream in(recordPath());
    for (std::string line; std::getline(in, line);) {
        // Only names below the folder: a damaged record must not reach out.
        if (!line.empty() && line.front() != '/' && line.find("..") == std::string::npos)
            names.insert(line);
    }
    return names;
}

void GeneratedFiles::commit()
{
    for (const std::string &name : m_names) {
        if (std::rename(temporaryPath(path(name)).c_str(), path(name).c_str()) != 0)
            throw Error("Datei " + utf8ToCp1252(path(name)) + " kann nicht erstellt werden");
    }
    std::set<std::string> previous = readRecord();
    std::string record;
    for (const std::string &name : m_names) {
        previous.erase(name);
        record += name + '\n';
    }
    for (const std::string &stale : previous)
        ::unlink(path(stale).c_str());
    m_names.clear();
    // A generation without such files leaves the folder as it always has.
    if (record.empty()) {
        ::unlink(recordPath().c_str());
        return;
    }
    const std::string temporary = temporaryPath(recordPath());
    if (writeFile(temporary, record) != Written::Ok || std::rename(temporary.c_str(), recordPath().c_str()) != 0)
        throw Error("Stream-Write-Fehler");
}

void GeneratedFiles::discard()
{
    for (const std::string &name : m_names)
        ::unlink(temporaryPath(path(name)).c_str());
    m_names.clear();
}

} // namespace kaviro
