#include "settings/settings.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/integertext.h"
#include "common/version.h"
#include "settings/inifile.h"
#include "settings/passwordcipher.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <locale>
#include <pwd.h>
#include <span>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// "SFTP" in any case; anything else, or nothing, is FTP.
UploadProtocol protocolFromText(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text == "SFTP" ? UploadProtocol::Sftp : UploadProtocol::Ftp;
}

// Each section's keys in the order a new file lists them; loading takes them
// in the same order.
const SettingKey templateKeys[] = {
    textKey("Template", "Filename", &Settings::templateFilename),
    textKey("Template", "Output", &Settings::templateOutput),
    flagKey("Template", "MultiPage", &Settings::multiPage),
    {"Template", "RowsPerPage",
     [](std::string_view stored, Settings &s) {
         s.rowsPerPage = std::clamp(parseInteger(stored).value_or(5), minRowsPerPage, maxRowsPerPage);
     },
     [](const Settings &s) { return std::to_string(s.rowsPerPage); }},
    textKey("Template", "Detailvorlage", &Settings::detailTemplate),
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
    {"FTP", "Passive", [](std::string_view stored, Settings &s) { s.passive = parseInteger(stored).value_or(1) != 0; },
     [](const Settings &s) { return std::string(s.passive ? "1" : "0"); }},
    {"FTP", "Encryption",
     [](std::string_view stored, Settings &s) {
         const std::int32_t level = parseInteger(stored).value_or(1);
         s.encryption = level >= 0 && level <= 2 ? static_cast<FtpEncryption>(level) : FtpEncryption::WhenOffered;
     },
     [](const Settings &s) { return std::to_string(static_cast<std::int32_t>(s.encryption)); }},
    textKey("FTP", "Certificate", &Settings::certificate),
    flagKey("FTP", "UploadAll", &Settings::uploadAll),
    {"FTP", "Protocol", [](std::string_view stored, Settings &s) { s.protocol = protocolFromText(std::string(stored)); },
     [](const Settings &s) { return std::string(s.protocol == UploadProtocol::Sftp ? "SFTP" : "FTP"); }},
    textKey("FTP", "HostKey", &Settings::hostKey),
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
    // A value that cannot be taken (an undecodable password) keeps the
    // record's; the keys after it still load, then its error is raised.
    std::exception_ptr failure;
    for (const SettingKey &key : keys) {
        try {
            key.load(ini.readString(key.section, key.key), settings);
        } catch (const Error &) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

#ifdef KAVIRO_INSTALLED_SETTINGS
constexpr bool installedSettings = true;
#else
constexpr bool installedSettings = false;
#endif

bool isRegularFile(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string_view folderOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view(".") : path.substr(0, slash);
}

// The programs are built into build/bin, beside the build folder's cache.
bool isInBuildFolder(std::string_view programPath)
{
    const std::string folder(folderOf(programPath));
    return isRegularFile(folder + "/CMakeCache.txt") || isRegularFile(folder + "/../CMakeCache.txt");
}

std::string environmentValue(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string homeFolder()
{
    std::string home = environmentValue("HOME");
    if (!home.empty())
        return home;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        home = found->pw_dir;
    return home;
}

// mkdir -p with mode 0700 for each folder it creates; existing ones keep
// their mode. A failure shows up as the failed write that follows.
void createFolders(std::string_view folder)
{
    if (folder.empty() || folder == "/" || folder == ".")
        return;
    const std::string path(folder);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return;
    createFolders(folderOf(folder));
    if (::mkdir(path.c_str(), 0700) == 0)
        ::chmod(path.c_str(), 0700); // mkdir's mode passes through the umask
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

std::string settingsFileName(std::string_view programPath, const SettingsEnvironment &environment)
{
    std::string beside = settingsFileNameFor(programPath);
    if (!environment.installed || isRegularFile(beside) || isInBuildFolder(programPath))
        return beside;
    // The XDG base directory rules ignore a relative XDG_CONFIG_HOME.
    std::string configHome = environment.configHome;
    if (!configHome.starts_with('/')) {
        if (environment.home.empty())
            return beside;
        configHome = environment.home + "/.config";
    }
    return configHome + "/kaviro/kaviro.ini";
}

std::string settingsFileName(std::string_view programPath)
{
    return settingsFileName(programPath, {installedSettings, environmentValue("XDG_CONFIG_HOME"), homeFolder()});
}

std::string settingsFileName()
{
    return settingsFileName(programFilePath());
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

namespace {

void checkWritten(bool written, const std::string &fileName)
{
    if (!written)
        throw Error("nach " + utf8ToCp1252(fileName) + " kann nicht geschrieben werden");
}

void saveFtpValue(const std::string &fileName, std::string_view key, const std::string &value)
{
    createFolders(folderOf(fileName));
    checkWritten(IniFile(fileName).writeString("FTP", key, value), fileName);
}

} // namespace

void saveTrustedCertificate(const std::string &fileName, const std::string &fingerprint)
{
    saveFtpValue(fileName, "Certificate", fingerprint);
}

void saveTrustedHostKey(const std::string &fileName, const std::string &fingerprint)
{
    saveFtpValue(fileName, "HostKey", fingerprint);
}

void saveSettings(const std::string &fileName, const Settings &settings,
                  const std::function<std::string()> &today)
{
    createFolders(folderOf(fileName));
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
    checkWritten(written, fileName);
}

} // namespace kaviro
