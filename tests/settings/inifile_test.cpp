#include "settings/inifile.h"

#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using kaviro::IniFile;
using kaviro::test::readFile;
using kaviro::test::TempDir;
using kaviro::test::writeFile;

namespace {

mode_t fileMode(const std::string &fileName)
{
    struct stat st {};
    ::stat(fileName.c_str(), &st);
    return st.st_mode & 07777;
}

std::size_t entriesIn(const std::filesystem::path &folder)
{
    return std::size_t(std::distance(std::filesystem::directory_iterator(folder),
                                     std::filesystem::directory_iterator()));
}

} // namespace

TEST(IniFile, WritesReplaceInPlaceAndKeepEveryOtherLine)
{
    TempDir dir;
    const std::string name = dir.file("k.ini");
    writeFile(name,
              "; edited by hand\n"
              "[Template]\n"
              "Filename=/old/a.templ\n"
              "# a comment\n"
              "Custom=keep me\n"
              "\n"
              "[ftp]\n"
              "USER = alice\n"
              "Unknown=1\n"
              "\n"
              "; trailing comment\n");
    IniFile ini(name);
    ASSERT_TRUE(ini.writeString("Template", "Filename", "/new/b.templ"));
    ASSERT_TRUE(ini.writeString("FTP", "User", "bob"));      // other letter case: same key
    ASSERT_TRUE(ini.writeString("FTP", "Path", "/www"));     // new key: end of its section
    ASSERT_TRUE(ini.writeString("Database", "ConnectionString", "Provider=SQLite"));
    EXPECT_EQ(readFile(name),
              "; edited by hand\n"
              "[Template]\n"
              "Filename=/new/b.templ\n"
              "# a comment\n"
              "Custom=keep me\n"
              "\n"
              "[ftp]\n"
              "User=bob\n"
              "Unknown=1\n"
              "Path=/www\n"
              "\n"
              "; trailing comment\n"
              "\n"
              "[Database]\n"
              "ConnectionString=Provider=SQLite\n");
}

TEST(IniFile, ReadsByProfileRules)
{
    TempDir dir;
    const std::string name = dir.file("k.ini");
    const std::string longValue(3000, 'v');
    writeFile(name,
              "Orphan=before any section\n"
              "[ Template ]\n"
              ";Output=commented out\n"
              "  filename =  spaced value  \n"
              "Filename=second of a duplicate\n"
              "Empty=\n"
              "Long=" + longValue + "\n"
              "no equals sign here\n"
              "[FTP]\n"
              "User=u\r\n"
              "[template]\n"
              "Later=from a repeated section\n"
              "Last=no line end");
    const IniFile ini(name);
    const struct {
        const char *section, *key, *defaultValue;
        std::string expected;
    } cases[] = {
        {"TEMPLATE", "FILENAME", "d", "spaced value"},
        {"Template", "Output", "d", "d"},
        {"Template", "Empty", "d", ""},
        {"Template", "Long", "", longValue.substr(0, 2047)},
        {"Template", "Later", "", "from a repeated section"},
        {"Template", "Last", "", "no line end"},
        {"Template", "Orphan", "d", "d"},
        {"Template", "User", "d", "d"},
        {"FTP", "User", "", "u"},
        {"Missing", "User", "d", "d"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ini.readString(c.section, c.key, c.defaultValue), c.expected)
            << c.section << "/" << c.key;

    EXPECT_EQ(IniFile(dir.file("none.ini")).readString("FTP", "User", "d"), "d");
    EXPECT_EQ(IniFile(dir.file("none.ini")).readString("FTP", "User", longValue).size(), 2047u);
}

TEST(IniFile, KeepsCrLfLineEnds)
{
    TempDir dir;
    const std::string name = dir.file("k.ini");
    writeFile(name, "[A]\r\nx=1\r\n");
    IniFile ini(name);
    ASSERT_TRUE(ini.writeString("A", "x", "2"));
    ASSERT_TRUE(ini.writeString("B", "y", "3"));
    EXPECT_EQ(readFile(name), "[A]\r\nx=2\r\n\r\n[B]\r\ny=3\r\n");
}

TEST(IniFile, LineBreaksInAValueCannotForgeKeys)
{
    TempDir dir;
    const std::string name = dir.file("k.ini");
    IniFile ini(name);
    ASSERT_TRUE(ini.writeString("FTP", "Path", "/www\n[Database]\r\nConnectionString=evil"));
    EXPECT_EQ(readFile(name), "[FTP]\nPath=/www [Database]  ConnectionString=evil\n");
    EXPECT_EQ(ini.readString("Database", "ConnectionString", "none"), "none");
}

TEST(IniFile, NewFileIsPrivateAndAnExistingFileKeepsItsMode)
{
    TempDir dir;
    const std::string created = dir.file("new.ini");
    ASSERT_TRUE(IniFile(created).writeString("A", "k", "v"));
    EXPECT_EQ(fileMode(created), 0600u);

    const std::string existing = dir.file("old.ini");
    writeFile(existing, "[A]\nk=v\n");
    ::chmod(existing.c_str(), 0640);
    ASSERT_TRUE(IniFile(existing).writeString("A", "k", "w"));
    EXPECT_EQ(fileMode(existing), 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "a temporary file was left behind";
}

TEST(IniFile, WritesThroughASymbolicLink)
{
    TempDir dir;
    const std::string target = dir.file("real.ini");
    const std::string link = dir.file("link.ini");
    writeFile(target, "[A]\nk=v\n");
    std::filesystem::create_symlink(target, link);
    ASSERT_TRUE(IniFile(link).writeString("A", "k", "w"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), "[A]\nk=w\n");
}

TEST(IniFile, AFailedWriteReportsFalseAndChangesNothing)
{
    TempDir dir;
    // Root ignores permissions, so the failures here are structural.
    const std::string notAFolder = dir.file("plain");
    writeFile(notAFolder, "x");
    EXPECT_FALSE(IniFile(notAFolder + "/k.ini").writeString("A", "k", "v"));

    const std::string folder = dir.file("folder.ini");
    std::filesystem::create_directory(folder);
    IniFile ini(folder);
    EXPECT_FALSE(ini.exists());
    EXPECT_FALSE(ini.writeString("A", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(readFile(notAFolder), "x");
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "a temporary file was left behind";
}
