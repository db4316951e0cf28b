#include "settings/settings.h"

#include "common/error.h"
#include "common/version.h"
#include "settings/inifile.h"

#include "tests/support/failure.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <random>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kaviro;
using kaviro::test::readFile;
using kaviro::test::TempDir;
using kaviro::test::writeFile;

namespace {

std::string fixedDate() { return "10.12.2026"; }

std::string cannotWrite(const std::string &fileName)
{
    return "nach " + fileName + " kann nicht geschrieben werden";
}

Settings sample()
{
    Settings s;
    s.templateFilename = "/home/vermieter/listen.templ";
    s.templateOutput = "/tmp/seiten";
    s.multiPage = true;
    s.rowsPerPage = 7;
    s.useProxy = true;
    s.proxyServer = "proxy.example";
    s.proxyPort = 3128;
    s.ftpServer = "ftp.example";
    s.ftpPort = -1;
    s.ftpPath = "/www/wohnungen";
    s.ftpUser = "m\xFCller";
    s.ftpPassword = "Gr\xFC\xDF" "e \x80 und mehr als sechzehn Zeichen";
    s.passive = false;
    s.encryption = FtpEncryption::Required;
    s.certificate = "ab:CD:01";
    s.uploadAll = true;
    s.protocol = UploadProtocol::Sftp;
    s.hostKey = "SHA256:nThbg6kXUpJWGl7E1IGOCspRomTxdCARLviKw6E5SY8";
    s.connectionString = "Provider=SQLite;Data Source=/home/vermieter/listings.db";
    return s;
}

} // namespace

TEST(Settings, SettingsFileNameBesideTheProgram)
{
    const struct {
        const char *program, *expected;
    } cases[] = {
        {"/opt/kaviro/x.exe", "/opt/kaviro/x.ini"},
        {"/opt/kaviro/x", "/opt/kaviro/x.ini"},
        {"/opt/kaviro/a.b.exe", "/opt/kaviro/a.b.ini"},
        {"/opt/kaviro.d/x", "/opt/kaviro.d/x.ini"},
        {"x", "x.ini"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(settingsFileNameFor(c.program), c.expected);
    EXPECT_EQ(settingsFileName(), std::string(KAVIRO_BINARY_DIR) + "/bin/kaviro_settings_tests.ini");
}

TEST(Settings, InstalledProgramKeepsItsSettingsInTheUsersConfigFolder)
{
    TempDir dir;
    const std::string installed = dir.file("usr/bin/kaviro");
    dir.write("portable/kaviro.ini", "");
    const std::string portable = dir.file("portable/kaviro");
    dir.write("build/CMakeCache.txt", "");
    const std::string built = dir.write("build/bin/kaviro", "");
    const struct {
        const char *what;
        std::string program;
        SettingsEnvironment environment;
        std::string expected;
    } cases[] = {
        {"not built as installed", installed, {false, "/cfg", "/home/anna"}, dir.file("usr/bin/kaviro.ini")},
        {"XDG_CONFIG_HOME", installed, {true, "/cfg", "/home/anna"}, "/cfg/kaviro/kaviro.ini"},
        {"HOME alone", installed, {true, "", "/home/anna"}, "/home/anna/.config/kaviro/kaviro.ini"},
        {"relative XDG_CONFIG_HOME", installed, {true, "cfg", "/home/anna"}, "/home/anna/.config/kaviro/kaviro.ini"},
        {"no home at all", installed, {true, "", ""}, dir.file("usr/bin/kaviro.ini")},
        {"file beside already", portable, {true, "/cfg", "/home/anna"}, dir.file("portable/kaviro.ini")},
        {"build folder", built, {true, "/cfg", "/home/anna"}, dir.file("build/bin/kaviro.ini")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(settingsFileName(c.program, c.environment), c.expected) << c.what;
}

TEST(Settings, FirstSaveCreatesThePrivateFolders)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("config"));
    ::chmod(dir.file("config").c_str(), 0755);
    const std::string name = dir.file("config/kaviro/deeper/kaviro.ini");
    saveSettings(name, sample(), fixedDate);

    const auto mode = [](const std::string &path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode(dir.file("config")), 0755u) << "an existing folder keeps its mode";
    EXPECT_EQ(mode(dir.file("config/kaviro")), 0700u);
    EXPECT_EQ(mode(dir.file("config/kaviro/deeper")), 0700u);
    EXPECT_EQ(mode(name), 0600u);
    Settings loaded;
    loadSettings(name, loaded);
    EXPECT_EQ(loaded, sample());
}

TEST(Settings, WithoutAFileNothingIsLoaded)
{
    TempDir dir;
    Settings initial;
    EXPECT_EQ(initial.rowsPerPage, 5);
    EXPECT_EQ(initial.proxyPort, 0);
    EXPECT_EQ(initial.ftpPort, 0);
    EXPECT_FALSE(initial.multiPage || initial.useProxy);
    loadSettings(dir.file("none.ini"), initial);
    EXPECT_EQ(initial, Settings());

    Settings edited = sample();
    loadSettings(dir.file("none.ini"), edited);
    EXPECT_EQ(edited, sample());
}

TEST(Settings, FirstSaveWritesEveryKeyInOrderAndFirstStartOnce)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    Settings s;
    s.templateFilename = "t.templ";
    s.rowsPerPage = 12;
    s.useProxy = true;
    s.proxyPort = -8;
    s.ftpPort = 21;
    saveSettings(name, s, fixedDate);
    const std::string expected = std::string("[Application]\n"
                                             "FirstStart=10.12.2026\n"
                                             "Version=1.0.0.11\n"
                                             "LastCompiled=") + version::buildTime + "\n"
                                 "\n"
                                 "[Template]\n"
                                 "Filename=t.templ\n"
                                 "Output=\n"
                                 "MultiPage=0\n"
                                 "RowsPerPage=12\n"
                                 "Detailvorlage=\n"
                                 "\n"
                                 "[FTP]\n"
                                 "UseProxy=1\n"
                                 "ProxyServer=\n"
                                 "ProxyPort=-8\n"
                                 "FTPServer=\n"
                                 "FTPPort=21\n"
                                 "Path=\n"
                                 "User=\n"
                                 "Password=\n"
                                 "Passive=1\n"
                                 "Encryption=1\n"
                                 "Certificate=\n"
                                 "UploadAll=0\n"
                                 "Protocol=FTP\n"
                                 "HostKey=\n"
                                 "\n"
                                 "[Database]\n"
                                 "ConnectionString=\n";
    EXPECT_EQ(readFile(name), expected);
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    saveSettings(name, s, [] { return std::string("11.12.2026"); });
    EXPECT_EQ(readFile(name), expected) << "FirstStart written again";

    std::filesystem::remove(name);
    saveSettings(name, s, [] { return std::string("12.12.2026"); });
    EXPECT_EQ(IniFile(name).readString("Application", "FirstStart"), "12.12.2026");
}

TEST(Settings, SaveAndLoadRoundTrip)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    saveSettings(name, sample(), fixedDate);
    Settings loaded;
    loadSettings(name, loaded);
    EXPECT_EQ(loaded, sample());
    EXPECT_EQ(IniFile(name).readString("FTP", "Password").find("und"), std::string::npos)
        << "password stored in plain text";
}

TEST(Settings, ReadingConventions)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    using Field = std::function<std::int32_t(const Settings &)>;
    const Field rows = [](const Settings &s) { return s.rowsPerPage; };
    const Field proxyPort = [](const Settings &s) { return s.proxyPort; };
    const Field ftpPort = [](const Settings &s) { return s.ftpPort; };
    const Field multiPage = [](const Settings &s) { return std::int32_t(s.multiPage); };
    const Field useProxy = [](const Settings &s) { return std::int32_t(s.useProxy); };
    const Field passive = [](const Settings &s) { return std::int32_t(s.passive); };
    const Field encryption = [](const Settings &s) { return static_cast<std::int32_t>(s.encryption); };
    const Field uploadAll = [](const Settings &s) { return std::int32_t(s.uploadAll); };
    const struct {
        const char *file;
        Field field;
        std::int32_t expected;
    } cases[] = {
        {"[Template]\nFilename=x\n", rows, 5},
        {"[Template]\nFilename=x\n", proxyPort, 8080},
        {"[Template]\nFilename=x\n", ftpPort, 21},
        {"[Template]\nFilename=x\n", multiPage, 0},
        {"[Template]\nFilename=x\n", useProxy, 0},
        {"[FTP]\nProxyPort=0\n", proxyPort, 0},
        {"[FTP]\nProxyPort= 3128\n", proxyPort, 3128},
        {"[Template]\nRowsPerPage=0\n", rows, 1},
        {"[Template]\nRowsPerPage=-7\n", rows, 1},
        {"[Template]\nRowsPerPage=500\n", rows, 100},
        {"[Template]\nRowsPerPage=$64\n", rows, 100},
        {"[Template]\nRowsPerPage=zehn\n", rows, 5},
        {"[FTP]\nFTPPort=0x15\n", ftpPort, 21},
        {"[FTP]\nFTPPort=$15\n", ftpPort, 21},
        {"[FTP]\nFTPPort=ftp\n", ftpPort, 21},
        {"[FTP]\nFTPPort=\n", ftpPort, 21},
        {"[FTP]\nFTPPort=-2121\n", ftpPort, -2121},
        {"[FTP]\nFTPPort=99999999999\n", ftpPort, 21},
        {"[Template]\nMultiPage=2\n", multiPage, 1},
        {"[Template]\nMultiPage=ja\n", multiPage, 0},
        {"[Template]\nMultiPage=0\n", multiPage, 0},
        {"[FTP]\nUseProxy=-1\n", useProxy, 1},
        {"[FTP]\nUseProxy=0x0\n", useProxy, 0},
        {"[Template]\nFilename=x\n", passive, 1},
        {"[FTP]\nPassive=aktiv\n", passive, 1},
        {"[FTP]\nPassive=0\n", passive, 0},
        {"[Template]\nFilename=x\n", encryption, 1},
        {"[FTP]\nEncryption=0\n", encryption, 0},
        {"[FTP]\nEncryption=2\n", encryption, 2},
        {"[FTP]\nEncryption=3\n", encryption, 1},
        {"[FTP]\nEncryption=-1\n", encryption, 1},
        {"[FTP]\nEncryption=TLS\n", encryption, 1},
        {"[Template]\nFilename=x\n", uploadAll, 0},
        {"[FTP]\nUploadAll=1\n", uploadAll, 1},
    };
    for (const auto &c : cases) {
        writeFile(name, c.file);
        Settings s;
        // A missing key must set the default, not keep these.
        s.multiPage = s.useProxy = s.uploadAll = true;
        s.passive = false;
        s.encryption = FtpEncryption::None;
        loadSettings(name, s);
        EXPECT_EQ(c.field(s), c.expected) << c.file;
    }
}

TEST(Settings, ProtocolIsFtpUnlessSftpIsNamed)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    const struct {
        const char *file;
        UploadProtocol expected;
    } cases[] = {
        {"[FTP]\nFTPServer=x\n", UploadProtocol::Ftp},
        {"[FTP]\nProtocol=SFTP\n", UploadProtocol::Sftp},
        {"[FTP]\nProtocol=sftp\n", UploadProtocol::Sftp},
        {"[FTP]\nProtocol=FTP\n", UploadProtocol::Ftp},
        {"[FTP]\nProtocol=SCP\n", UploadProtocol::Ftp},
        {"[FTP]\nProtocol=\n", UploadProtocol::Ftp},
    };
    for (const auto &c : cases) {
        writeFile(name, c.file);
        Settings s;
        s.protocol = UploadProtocol::Sftp == c.expected ? UploadProtocol::Ftp : UploadProtocol::Sftp;
        loadSettings(name, s);
        EXPECT_EQ(s.protocol, c.expected) << c.file;
    }
}

TEST(Settings, SaveWritesWhatWasLoadedInItsPlainForm)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    writeFile(name, "[Template]\nRowsPerPage=500\nMultiPage=2\n"
                    "[FTP]\nFTPPort=$15\nProxyPort= +0x50\nPassword=\n"
                    "[Database]\nConnectionString=" + std::string(3000, 'c') + "\n");
    Settings s;
    loadSettings(name, s);
    EXPECT_EQ(s.connectionString, std::string(2047, 'c'));
    EXPECT_EQ(s.ftpPassword, "");
    saveSettings(name, s, fixedDate);

    const IniFile ini(name);
    EXPECT_EQ(ini.readString("Template", "RowsPerPage"), "100");
    EXPECT_EQ(ini.readString("Template", "MultiPage"), "1");
    EXPECT_EQ(ini.readString("FTP", "FTPPort"), "21");
    EXPECT_EQ(ini.readString("FTP", "ProxyPort"), "80");
    EXPECT_EQ(ini.readString("FTP", "Password", "absent"), "");
    EXPECT_EQ(readFile(name).find(std::string(2048, 'c')), std::string::npos);
    EXPECT_NE(readFile(name).find("ConnectionString=" + std::string(2047, 'c') + "\n"),
              std::string::npos);
    EXPECT_EQ(ini.readString("Application", "FirstStart", "absent"), "absent")
        << "the file existed, so no FirstStart";
}

TEST(Settings, AnUndecodablePasswordStopsTheLoadThere)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    writeFile(name, "[Template]\nFilename=neu.templ\nRowsPerPage=9\n"
                    "[FTP]\nFTPServer=ftp.neu\nUser=neu\nPassword=06000000ZZ\nProtocol=SFTP\nHostKey=SHA256:x\n"
                    "[Database]\nConnectionString=neu\n");
    Settings s;
    s.ftpPassword = "alt";
    s.connectionString = "alt";
    try {
        loadSettings(name, s);
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_STREQ(e.what(), "'0xZZ' ist kein g\xFC" "ltiger Integerwert");
    }
    EXPECT_EQ(s.templateFilename, "neu.templ");
    EXPECT_EQ(s.rowsPerPage, 9);
    EXPECT_EQ(s.ftpServer, "ftp.neu");
    EXPECT_EQ(s.ftpUser, "neu");
    // The trusted server stays trusted whatever became of the password.
    EXPECT_EQ(s.protocol, UploadProtocol::Sftp);
    EXPECT_EQ(s.hostKey, "SHA256:x");
    EXPECT_EQ(s.ftpPassword, "alt");
    EXPECT_EQ(s.connectionString, "alt");
}

TEST(Settings, SaveIntoAFolderThatCannotHoldFilesFails)
{
    TempDir dir;
    // A regular file where the folder should be stops root as well. The
    // message names the file in Windows-1252, as every message is; the file
    // system's name is UTF-8.
    const struct {
        std::string folder;
        std::string inMessage;
    } cases[] = {
        {"kein-ordner", "kein-ordner"},
        {"gr\xC3\xB6\xC3\x9F" "er-\xE2\x82\xAC-\xCE\xA9", "gr\xF6\xDF" "er-\x80-&#937;"},
    };
    for (const auto &c : cases) {
        writeFile(dir.file(c.folder), "");
        try {
            saveSettings(dir.file(c.folder) + "/kaviro.ini", sample(), fixedDate);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_EQ(e.what(), cannotWrite(dir.file(c.inMessage) + "/kaviro.ini"));
        }
    }
}

namespace {

// Caps the size of files this process may write, so that a write fails for
// real (EFBIG) even for root, and puts everything back afterwards.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved {};
    void (*m_handler)(int) = nullptr;
};

} // namespace

TEST(Settings, AFailedSaveKeepsTheOldFileWhole)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    Settings old = sample();
    old.ftpServer = "ftp.alt";
    saveSettings(name, old, fixedDate);
    const std::string before = readFile(name);

    // Only the long FTP server name crosses the limit; every other key would
    // fit.
    Settings changed = old;
    changed.templateFilename[0] = 'X';
    changed.ftpServer = std::string(500, 's');
    changed.connectionString = "neu";
    try {
        const FileSizeLimit limit(before.size() + 100);
        saveSettings(name, changed, fixedDate);
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.what(), cannotWrite(name));
    }
    EXPECT_EQ(readFile(name), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()), 1)
        << "a temporary file was left behind";
}

TEST(Settings, ASymbolicLinkStaysALink)
{
    TempDir dir;
    const std::string target = dir.file("echt.ini");
    const std::string link = dir.file("kaviro.ini");
    saveSettings(target, sample(), fixedDate);
    std::filesystem::create_symlink(target, link);
    Settings changed = sample();
    changed.ftpUser = "neu";
    saveSettings(link, changed, fixedDate);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    Settings loaded;
    loadSettings(target, loaded);
    EXPECT_EQ(loaded, changed);
}

namespace {

// Makes a file unreadable to this process: by its mode, and for root (whom
// modes do not stop) by acting as nobody while it lives.
class Unreadable {
public:
    explicit Unreadable(const std::string &fileName)
    {
        ::chmod(fileName.c_str(), 0);
        if (::geteuid() == 0) {
            m_root = ::seteuid(65534) == 0;
            m_effective = m_root;
        }
    }
    ~Unreadable()
    {
        if (m_root) {
            EXPECT_EQ(::seteuid(0), 0);
        }
    }

    bool effective() const { return m_effective; }

private:
    bool m_root = false;
    bool m_effective = true;
};

} // namespace

TEST(Settings, AFileThatCannotBeReadIsReportedNotTakenAsEmpty)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    saveSettings(name, sample(), fixedDate);
    const std::string before = readFile(name);
    {
        const Unreadable unreadable(name);
        if (!unreadable.effective())
            GTEST_SKIP() << "root cannot act as another user here";
        Settings s;
        for (const auto load : {loadSettings, loadTemplateSettings, loadFtpSettings, loadDatabaseSettings}) {
            EXPECT_EQ(test::failureOf([&] { load(name, s); }),
                      "Die Einstellungsdatei " + name + " kann nicht gelesen werden.");
        }
        EXPECT_EQ(s, Settings());
        EXPECT_EQ(test::failureOf([&] { saveSettings(name, sample(), fixedDate); }), cannotWrite(name));
    }
    ::chmod(name.c_str(), 0600);
    EXPECT_EQ(readFile(name), before);
}

// A save killed at any moment leaves the old file or the new one, whole.
TEST(Settings, ASaveKilledPartWayLeavesTheOldOrTheNewFile)
{
    TempDir dir;
    const std::string name = dir.file("kaviro.ini");
    Settings a = sample();
    Settings b = sample();
    b.templateFilename = "/neu/vorlage.templ";
    b.ftpServer = "ftp.neu.example";
    b.ftpPassword = "neu";
    b.connectionString = std::string(1500, 'c');
    saveSettings(name, b, fixedDate);
    const std::string bytesB = readFile(name);
    saveSettings(name, a, fixedDate);
    const std::string bytesA = readFile(name);

    std::mt19937 random(20261210);
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                saveSettings(name, i % 2 ? a : b, fixedDate);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string bytes = readFile(name);
        ASSERT_TRUE(bytes == bytesA || bytes == bytesB) << "round " << round << ": " << bytes.size() << " bytes";
    }
}

