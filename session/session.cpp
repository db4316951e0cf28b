#include "session/session.h"

#include "common/cp1252.h"
#include "common/filename.h"
#include "generator/pagefolder.h"
#include "settings/inifile.h"
#include "store/windows1252.h"

#include <exception>

namespace kaviro {

Session::Session(std::string settingsFile, QObject *parent)
    : QObject(parent), m_settingsFile(std::move(settingsFile)), m_generator(m_data)
{
}

Session::~Session() = default;

bool Session::settingsFileExists() const
{
    return IniFile(m_settingsFile).exists();
}

void Session::loadSettings()
{
    kaviro::loadSettings(m_settingsFile, m_settings);
}

QString Session::storedConnectionString() const
{
    return fromWindows1252(IniFile(m_settingsFile).readString("Database", "ConnectionString"));
}

bool Session::connectDatabase(const QString &connectionString, QString *cause)
{
    try {
        DbConnection &connection = m_data.connection();
        connection.setConnected(false);
        connection.setConnectionString(connectionString);
        connection.setConnected(true);
        return true;
    } catch (const std::exception &error) {
        if (cause)
            *cause = exceptionText(error);
        return false;
    }
}

PublishResult Session::generate()
{
    return PublishJob(m_data, m_generator).run(m_settings, pageDecimalSeparator(QLocale::system()));
}

PublishResult Session::checkTemplate()
{
    return PublishJob(m_data, m_generator).check(m_settings, pageDecimalSeparator(QLocale::system()));
}

UploadFiles Session::uploadFiles() const
{
    UploadFiles files{m_generator.outputDir(), {}};
    const auto recorded = PageFolder::recordedFiles(cp1252ToUtf8(files.folder), m_generator.templateFileName());
    if (!recorded) {
        for (std::int32_t page = 1; page <= m_generator.pageCount(); ++page)
            files.names.emplace_back(fileNamePart(m_generator.pageFileName(page)));
        return files;
    }
    for (const std::string &name : *recorded)
        files.names.push_back(utf8ToCp1252(name));
    return files;
}

} // namespace kaviro
