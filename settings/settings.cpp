#include "settings/settings.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/integertext.h"
#include "common/version.h"
#include "settings/inifile.h"
#include "settings/passwordcipher.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <iomanip>
#include <locale>
#include <span>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace kaviro {

namespace {

constexpr std::string_view sectionApplication = "Application";

// One key of the file: how its stored text goes into the record (a missing
// key arrives as the empty text) and what the record writes back.
struct SettingKey {
    std::string_view section;
    std::string_view key;
    std::function<void(std::string_view stored, Settings &)> load;
    std::function<std::string(const Settings &)> save;
};

SettingKey textKey(std::string_view section, std::string_view key, std::string Settings::*field)
{
    return {section, key, [field](std::string_view stored, Settings &s) { s.*field = stored; },
            [field](const Settings &s) { return s.*field; }};
}

SettingKey flagKey(std::string_view section, std::string_view key, bool Settings::*field)
{
    return {section, key,
            [field](std::string_view stored, Settings &s) { s.*field = parseInteger(stored).value_or(0) != 0; },
            [field](const Settings &s) { return std::string(s.*field ? "1" : "0"); }};
}

SettingKey numberKey(std::string_view section, std::string_view key, std::int32_t Settings::*field,
                     std::int32_t whenMissing)
{
    return {section, key,
            [field, whenMissing](std::string_view stored, Settings &s) {
                s.*field = parseInteger(stored).value_or(whenMissing);
            },
            [field](const Settings &s) { return std::to_string(s.*field); }};
}

// Each section's keys in the order a new file lists them; loading takes them
// in the same order, so an undecodable password (last of its section) stops
// the load after the FTP values before it.
const SettingKey templateKeys[] = {
    textKey("Template", "Filename", &Settings::templateFilename),
    textKey("Template", "Output", &Settings::templateOutput),
    flagKey("Template", "MultiPage", &Settings::multiPage),
    {"Template", "RowsPerPage",
     [](std::string_view stored, Settings &s) {
         s.rowsPerPage = std::clamp(parseInteger(stored).value_or(5), minRowsPerPage, maxRowsPerPage);
     },
     [](const Settings &s) { return std::to_string(s.rowsPerPage); }},
};

const SettingKey ftpKeys[] = {
    flagKey("FTP", "UseProxy", &Settings::useProxy),
    textKey("FTP", "ProxyServer", &Settings::proxyServer),
    numberKey("FTP", "ProxyPort", &Settings::proxyPort, 8080),
    textKey("FTP", "FTPServer", &Settings::ftpServer),
    numberKey("FTP", "FTPPort", &Settings::ftpPort, 21),
    textKey("FTP", "Path", &Settings::ftpPath),
    textKey("FTP", "User", &Settings::ftpUser),
    {"FTP", "Password", [](std::string_view stored, Settings &s) { s.ftpPassword = decodePassword(stored); },
     [](const Settings &s) { return encodePassword(s.ftpPassword); }},
};

const SettingKey databaseKeys[] = {
    textKey("Database", "ConnectionString", &Settings::connectionString),
};

const std::span<const SettingKey> sections[] = {templateKeys, ftpKeys, databaseKeys};

// Nothing when no file exists; a file that exists but cannot be read is an
// error, not an empty file.
void loadKeys(const std::string &fileName, std::span<const SettingKey> keys, Settings &settings)
{
    const IniFile file(fileName);
    if (!file.exists())
        return;
    IniText ini;
    if (file.read(ini) != FileRead::Ok)
        throw Error("Die Einstellungsdatei " + utf8ToCp1252(fileName) + " kann nicht gelesen werden.");
    for (const SettingKey &key : keys)
        key.load(ini.readString(key.section, key.key), settings);
}

} // namespace

std::string programFilePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        throw Error("Der Pfad der Programmdatei ist nicht zu ermitteln.");
    std::string path(buffer, std::size_t(length));
    // A program file replaced while it runs (a rebuild) still has its name.
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted))
        path.resize(path.size() - deleted.size());
    return path;
}

std::string settingsFileNameFor(std::string_view programPath)
{
    const std::size_t slash = programPath.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = programPath.rfind('.');
    const std::size_t end = dot != std::string_view::npos && dot >= nameStart ? dot : programPath.size();
    return std::string(programPath.substr(0, end)) + ".ini";
}

std::string settingsFileName()
{
    return settingsFileNameFor(programFilePath());
}

void loadSettings(const std::string &fileName, Settings &settings)
{
    loadTemplateSettings(fileName, settings);
    loadFtpSettings(fileName, settings);
    loadDatabaseSettings(fileName, settings);
}

void loadTemplateSettings(const std::string &fileName, Settings &settings)
{
    loadKeys(fileName, templateKeys, settings);
}

void loadFtpSettings(const std::string &fileName, Settings &settings)
{
    loadKeys(fileName, ftpKeys, settings);
}

void loadDatabaseSettings(const std::string &fileName, Settings &settings)
{
    loadKeys(fileName, databaseKeys, settings);
}

std::string currentShortDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::ostringstream out;
    const char *format = "%d.%m.%Y";
    try {
        const std::locale user("");
        if (user.name() != "C" && user.name() != "POSIX") {
            out.imbue(user);
            format = "%x";
        }
    } catch (const std::runtime_error &) {
        // An unknown locale in the environment: keep the plain form.
    }
    out << std::put_time(&local, format);
    return out.str();
}

void saveSettings(const std::string &fileName, const Settings &settings,
                  const std::function<std::string()> &today)
{
    IniFile file(fileName);
    const bool existed = file.exists();
    IniText ini;
    // A file that exists but cannot be read must not be replaced by the
    // record's keys alone.
    bool written = file.read(ini) != FileRead::Failed;
    if (written) {
        if (!existed)
            ini.writeString(sectionApplication, "FirstStart", today());
        ini.writeString(sectionApplication, "Version", version::fileVersion);
        ini.writeString(sectionApplication, "LastCompiled", version::buildTime);
        for (const auto keys : sections) {
            for (const SettingKey &key : keys)
                ini.writeString(key.section, key.key, key.save(settings));
        }
        written = file.replace(ini);
    }
    if (!written)
        throw Error("nach " + utf8ToCp1252(fileName) + " kann nicht geschrieben werden");
}

} // namespace kaviro
