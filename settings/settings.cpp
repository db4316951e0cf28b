#include "settings/settings.h"

#include "common/cp1252.h"
#include "common/error.h"
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
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kaviro {

namespace {

constexpr std::string_view sectionApplication = "Application";
constexpr std::string_view sectionTemplate = "Template";
constexpr std::string_view sectionFtp = "FTP";
constexpr std::string_view sectionDatabase = "Database";

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

// "SFTP" in any case; anything else, or nothing, is FTP.
UploadProtocol protocolFromText(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text == "SFTP" ? UploadProtocol::Sftp : UploadProtocol::Ftp;
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
    const IniFile ini(fileName);
    if (!ini.exists())
        return;
    settings.templateFilename = ini.readString(sectionTemplate, "Filename");
    settings.templateOutput = ini.readString(sectionTemplate, "Output");
    settings.rowsPerPage = std::clamp(ini.readInteger(sectionTemplate, "RowsPerPage", 5),
                                      minRowsPerPage, maxRowsPerPage);
    settings.multiPage = ini.readBool(sectionTemplate, "MultiPage", false);
    settings.detailTemplate = ini.readString(sectionTemplate, "Detailvorlage");
}

void loadFtpSettings(const std::string &fileName, Settings &settings)
{
    const IniFile ini(fileName);
    if (!ini.exists())
        return;
    settings.useProxy = ini.readBool(sectionFtp, "UseProxy", false);
    settings.proxyServer = ini.readString(sectionFtp, "ProxyServer");
    settings.proxyPort = ini.readInteger(sectionFtp, "ProxyPort", 8080);
    settings.ftpServer = ini.readString(sectionFtp, "FTPServer");
    settings.ftpPort = ini.readInteger(sectionFtp, "FTPPort", 21);
    settings.ftpPath = ini.readString(sectionFtp, "Path");
    settings.ftpUser = ini.readString(sectionFtp, "User");
    settings.protocol = protocolFromText(ini.readString(sectionFtp, "Protocol"));
    settings.hostKey = ini.readString(sectionFtp, "HostKey");
    settings.ftpPassword = decodePassword(ini.readString(sectionFtp, "Password"));
    settings.passive = ini.readBool(sectionFtp, "Passive", true);
    const std::int32_t encryption = ini.readInteger(sectionFtp, "Encryption", 1);
    settings.encryption = encryption >= 0 && encryption <= 2 ? static_cast<FtpEncryption>(encryption)
                                                            : FtpEncryption::WhenOffered;
    settings.certificate = ini.readString(sectionFtp, "Certificate");
    settings.uploadAll = ini.readBool(sectionFtp, "UploadAll", false);
}

void loadDatabaseSettings(const std::string &fileName, Settings &settings)
{
    const IniFile ini(fileName);
    if (!ini.exists())
        return;
    settings.connectionString = ini.readString(sectionDatabase, "ConnectionString");
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
    createFolders(folderOf(fileName));
    IniFile ini(fileName);
    const bool existed = ini.exists();
    const auto check = [&](bool written) {
        if (!written)
            throw Error("nach " + utf8ToCp1252(fileName) + " kann nicht geschrieben werden");
    };

    if (!existed)
        check(ini.writeString(sectionApplication, "FirstStart", today()));
    check(ini.writeString(sectionApplication, "Version", version::fileVersion));
    check(ini.writeString(sectionApplication, "LastCompiled", version::buildTime));

    check(ini.writeString(sectionTemplate, "Filename", settings.templateFilename));
    check(ini.writeString(sectionTemplate, "Output", settings.templateOutput));
    check(ini.writeBool(sectionTemplate, "MultiPage", settings.multiPage));
    check(ini.writeInteger(sectionTemplate, "RowsPerPage", settings.rowsPerPage));
    check(ini.writeString(sectionTemplate, "Detailvorlage", settings.detailTemplate));

    check(ini.writeBool(sectionFtp, "UseProxy", settings.useProxy));
    check(ini.writeString(sectionFtp, "ProxyServer", settings.proxyServer));
    check(ini.writeInteger(sectionFtp, "ProxyPort", settings.proxyPort));
    check(ini.writeString(sectionFtp, "FTPServer", settings.ftpServer));
    check(ini.writeInteger(sectionFtp, "FTPPort", settings.ftpPort));
    check(ini.writeString(sectionFtp, "Path", settings.ftpPath));
    check(ini.writeString(sectionFtp, "User", settings.ftpUser));
    check(ini.writeString(sectionFtp, "Password", encodePassword(settings.ftpPassword)));
    check(ini.writeBool(sectionFtp, "Passive", settings.passive));
    check(ini.writeInteger(sectionFtp, "Encryption", static_cast<std::int32_t>(settings.encryption)));
    check(ini.writeString(sectionFtp, "Certificate", settings.certificate));
    check(ini.writeBool(sectionFtp, "UploadAll", settings.uploadAll));
    check(ini.writeString(sectionFtp, "Protocol", settings.protocol == UploadProtocol::Sftp ? "SFTP" : "FTP"));
    check(ini.writeString(sectionFtp, "HostKey", settings.hostKey));

    check(ini.writeString(sectionDatabase, "ConnectionString", settings.connectionString));
}

} // namespace kaviro
