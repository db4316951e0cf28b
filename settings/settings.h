#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kaviro {

// Whether the FTP session is protected by TLS (key Encryption: 0, 1, 2).
enum class FtpEncryption : std::int32_t { None = 0, WhenOffered = 1, Required = 2 };

// How the pages reach the server (key Protocol in section FTP).
enum class UploadProtocol { Ftp, Sftp };

// Every setting of the program. The options dialog owns the one instance;
// everybody else reads it in place. Texts are Windows-1252 bytes; the
// password is held in plain text and enciphered only in the file.
struct Settings {
    std::string templateFilename;
    std::string templateOutput;
    bool multiPage = false;
    std::int32_t rowsPerPage = 5; // always within 1..100
    std::string detailTemplate;   // Template/Detailvorlage; empty: no detail pages
    bool useProxy = false;
    std::string proxyServer;
    std::int32_t proxyPort = 0;
    std::string ftpServer;
    std::int32_t ftpPort = 0;
    std::string ftpPath;
    std::string ftpUser;
    std::string ftpPassword;
    bool passive = true;
    FtpEncryption encryption = FtpEncryption::WhenOffered;
    // SHA-256 fingerprint of a server certificate the user trusts, as typed
    // (hex, colons optional, any case); empty = the system store decides.
    std::string certificate;
    // Send every page, even those the server already holds unchanged.
    bool uploadAll = false;
    UploadProtocol protocol = UploadProtocol::Ftp;
    // SHA-256 fingerprint ("SHA256:...") of an SFTP host key the user chose
    // to trust in place of known_hosts.
    std::string hostKey;
    std::string connectionString;

    bool operator==(const Settings &) const = default;
};

inline constexpr std::int32_t minRowsPerPage = 1;
inline constexpr std::int32_t maxRowsPerPage = 100;

// The running program's file (/proc/self/exe). Raises kaviro::Error when the
// system does not tell.
std::string programFilePath();
// The settings file that belongs to a program file: same folder, extension
// (from the last "." of the file name on) replaced by ".ini", or ".ini"
// appended when the name has none.
std::string settingsFileNameFor(std::string_view programPath);

// What decides where an installed program keeps its settings.
struct SettingsEnvironment {
    bool installed = false;  // built with KAVIRO_INSTALLED_SETTINGS
    std::string configHome;  // $XDG_CONFIG_HOME
    std::string home;        // $HOME, or the user's home folder
};

// The settings file of a program file. Beside it (settingsFileNameFor) when
// the program is not built as installed, when a file is there already (a
// portable copy) or when it runs from a build folder (CMakeCache.txt in its
// folder or the one above); otherwise kaviro/kaviro.ini in the user's
// configuration folder: configHome when it is an absolute path, else
// home/.config.
std::string settingsFileName(std::string_view programPath, const SettingsEnvironment &environment);
// The same for this process: its build and its environment.
std::string settingsFileName(std::string_view programPath);
// settingsFileName(programFilePath()).
std::string settingsFileName();

// Each loader does nothing when no file exists under fileName; otherwise it
// puts its keys into the record, taking the default of a missing key or an
// unconvertible number. loadSettings runs the three in this order. A file
// that exists but cannot be read raises kaviro::Error "Die
// Einstellungsdatei <fileName> kann nicht gelesen werden.".
//
// A stored password that cannot be decoded raises the error of
// decodePassword out of loadFtpSettings (and so out of loadSettings): the
// template values, the FTP values up to the user, Protocol and HostKey are
// then taken over, the password keeps its previous value and the database
// settings are not read.
void loadSettings(const std::string &fileName, Settings &settings);
void loadTemplateSettings(const std::string &fileName, Settings &settings);
void loadFtpSettings(const std::string &fileName, Settings &settings);
void loadDatabaseSettings(const std::string &fileName, Settings &settings);

// Today's date in the short date format of the environment's locale, or as
// dd.mm.yyyy when that locale is the plain C one. The desktop program passes
// its own (the system locale's) instead.
std::string currentShortDate();

// Writes every key in one replacement of the file, in the file's order:
// FirstStart (only when no file existed, with today()), Version,
// LastCompiled, then the Template, FTP and Database keys. Missing folders on
// the way to the file are created first, with mode 0700, because the file
// holds the password. When the file cannot be read or written this raises
// kaviro::Error "nach <fileName> kann nicht geschrieben werden" (the name, a
// file system path in UTF-8, turned into Windows-1252 like the rest of the
// message), and the file is the old one, whole: a save never leaves some
// keys new and others old.
void saveSettings(const std::string &fileName, const Settings &settings,
                  const std::function<std::string()> &today = currentShortDate);

// Writes only the key Certificate (or HostKey) of section FTP: the one
// value the user chose to trust during an upload, leaving every other key
// as it stands in the file. A failed write raises the error of saveSettings.
void saveTrustedCertificate(const std::string &fileName, const std::string &fingerprint);
void saveTrustedHostKey(const std::string &fileName, const std::string &fingerprint);

} // namespace kaviro
