// kaviro-publish: the main job of the desktop program without a window, for
// scheduled publishing. Loads the settings, connects, opens the table Wohnungen
// sorted as asked, builds the snapshot of the active listings, writes the
// pages from the template and prints their names; with --upload it then sends
// them by FTP or SFTP like "FTP Upload" (--upload-all: every page, also the
// unchanged ones), and SIGINT or SIGTERM cancel that upload. Names in the
// template that nothing answers are warnings on stderr; --check looks for
// them and for every error before any page is written, and writes none.
// Failures print the text the desktop program would show and end with
// status 1.
//
// The terminal speaks UTF-8; the texts of the settings, the generator and the
// template and every kaviro::Error message are Windows-1252 and are converted
// on the way out.

#include "app/publishinfo.h"
#include "common/cp1252.h"
#include "common/error.h"
#include "common/filename.h"
#include "common/lineend.h"
#include "session/messages.h"
#include "session/session.h"
#include "session/trust.h"
#include "session/uploadjob.h"
#include "store/windows1252.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace kaviro;

// A message box text for the terminal: its line breaks as the terminal's.
void printError(std::string text)
{
    for (char &c : text)
        if (c == '\r')
            c = '\n';
    std::fprintf(stderr, "%s\n", text.c_str());
}

// The template check's findings; only --check makes them fail the run.
void printUnknownNames(const PublishResult &result)
{
    for (const QString &line : result.unknownNames)
        std::fprintf(stderr, "Warnung: %s\n", line.toStdString().c_str());
}

bool isRegularFile(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string defaultSettingsFile()
{
    // The desktop program's file, which lives beside this one.
    const std::string program = programFilePath();
    return settingsFileName(program.substr(0, program.rfind('/') + 1) + "kaviro");
}

struct Options {
    std::string settingsFile;
    std::string sort = "Wohnung ASC";
    bool upload = false;
    bool uploadAll = false;
    bool check = false;
};

// False after printing the usage: an unknown or incomplete argument.
// --help and --version put their text into info.
bool parseArguments(int argc, char *argv[], Options &options, std::string &info)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            info = arg == "--version" ? publishVersion() : publishUsage(defaultSettingsFile());
            return true;
        }
        if (arg == "--upload" || arg == "--upload-all") {
            options.upload = true;
            options.uploadAll = options.uploadAll || arg == "--upload-all";
            continue;
        }
        if (arg == "--check") {
            options.check = true;
            continue;
        }
        const bool isSettings = arg == "--settings";
        if ((isSettings || arg == "--sort") && i + 1 < argc) {
            (isSettings ? options.settingsFile : options.sort) = argv[++i];
            continue;
        }
        std::fprintf(stderr, "Unbekannter oder unvollständiger Parameter: %s\n\n%s", argv[i],
                     publishUsage(defaultSettingsFile()).c_str());
        return false;
    }
    return true;
}

// The upload's status texts as lines; on a terminal a bar for each page.
class UploadReport {
public:
    explicit UploadReport(const UploadFiles &files)
        : m_files(files), m_terminal(::isatty(STDOUT_FILENO) == 1)
    {
    }

    void status(const std::string &text)
    {
        endBar();
        std::printf("%s\n", cp1252ToUtf8(text).c_str());
    }

    // A server's reply line ends in CR LF, which the terminal needs not.
    void failure(const std::string &message)
    {
        endBar();
        std::fflush(stdout);
        printError(cp1252ToUtf8(withoutLineEnd(message)));
    }

    void progress(std::int32_t page, std::int64_t sent, std::int64_t size)
    {
        if (!m_terminal)
            return;
        if (page != m_page)
            endBar();
        m_page = page;
        constexpr int width = 30;
        const int percent = size > 0 ? static_cast<int>(std::min<std::int64_t>(sent, size) * 100 / size) : 100;
        const int filled = percent * width / 100;
        std::printf("\r  %s [%s%s] %3d %%", cp1252ToUtf8(m_files.names[std::size_t(page - 1)]).c_str(),
                    std::string(static_cast<std::size_t>(filled), '#').c_str(),
                    std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), percent);
        std::fflush(stdout);
        m_barOpen = true;
    }

    void endBar()
    {
        if (m_barOpen)
            std::printf("\n");
        m_barOpen = false;
    }

private:
    const UploadFiles &m_files;
    bool m_terminal;
    bool m_barOpen = false;
    std::int32_t m_page = 0;
};

// The upload a signal cancels; none outside uploadPages.
std::atomic<Uploader *> runningUpload{nullptr};

extern "C" void cancelRunningUpload(int)
{
    if (Uploader *uploader = runningUpload.load())
        uploader->cancel();
}

// SIGINT and SIGTERM cancel the upload while the object lives, so that the
// server is told good-bye and no page is left half-way under its own name.
class CancelOnSignals {
public:
    explicit CancelOnSignals(Uploader &uploader)
    {
        runningUpload = &uploader;
        struct sigaction action {};
        action.sa_handler = cancelRunningUpload;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previousInt);
        ::sigaction(SIGTERM, &action, &m_previousTerm);
    }
    ~CancelOnSignals()
    {
        ::sigaction(SIGINT, &m_previousInt, nullptr);
        ::sigaction(SIGTERM, &m_previousTerm, nullptr);
        runningUpload = nullptr;
    }
    CancelOnSignals(const CancelOnSignals &) = delete;
    CancelOnSignals &operator=(const CancelOnSignals &) = delete;

private:
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};

// Nobody can answer a question here: say how to trust what the server
// showed, for whoever reads the output.
void printTrustAdvice(const TrustRequest &request, const std::string &settingsFile)
{
    std::string text;
    if (request.kind == TrustRequest::Kind::Certificate)
        text = "F\xfcr das Zertifikat des Servers b\xfcrgt keine bekannte Zertifizierungsstelle. "
               "Sein SHA-256-Fingerabdruck:\r  ";
    else if (!request.changed)
        text = "Der Host-Schl\xfcssel des Servers ist noch nicht bekannt. Sein Fingerabdruck:\r  ";
    else
        text = "ACHTUNG: Der Host-Schl\xfcssel des Servers hat sich ge\xe4ndert! Jemand k\xf6nnte die Verbindung "
               "abfangen. Der Fingerabdruck des neuen Schl\xfcssels:\r  ";
    text += request.fingerprint + "\rVertrauen Sie ihm nur, wenn Ihr Anbieter Ihnen genau diesen Fingerabdruck nennt. "
            "Dann tragen Sie in ";
    // The file's name is already the terminal's UTF-8.
    printError(cp1252ToUtf8(text) + settingsFile
               + cp1252ToUtf8(" im Abschnitt [FTP] diese Zeile ein:\r  " + trustSettingsLine(request)));
}

int uploadPages(const Session &session, bool uploadAll)
{
    const UploadFiles files = session.uploadFiles();
    UploadReport report(files);
    Uploader uploader;
    uploader.setStatusHandler([&](const std::string &text) { report.status(text); });
    uploader.setErrorHandler([&](const std::string &message) { report.failure(message); });
    uploader.setProgressHandler(
        [&](std::int32_t page, std::int64_t sent, std::int64_t size) { report.progress(page, sent, size); });
    Settings settings = session.settings();
    settings.uploadAll = settings.uploadAll || uploadAll;
    try {
        const CancelOnSignals cancelOnSignals(uploader);
        const UploadResult result = runUploadJob(uploader, settings, files);
        report.endBar();
        if (result.ok || result.cancelled)
            std::printf("%s\n", cp1252ToUtf8(Uploader::summaryText(result)).c_str());
        if (const std::optional<TrustRequest> request = trustRequestOf(result))
            printTrustAdvice(*request, session.settingsFile());
        return result.ok ? 0 : 1;
    } catch (const Error &error) {
        // A failed QUIT ends the upload outside its own report; the window
        // leaves it to the default error box.
        report.failure(defaultErrorText(error.what()));
        return 1;
    }
}

int publish(const Options &options)
{
    const std::string settingsFile = options.settingsFile.empty() ? defaultSettingsFile() : options.settingsFile;
    if (!isRegularFile(settingsFile)) {
        printError("Die Einstellungsdatei \"" + settingsFile +
                   "\" wurde nicht gefunden.\rLegen Sie sie im Programm Kaviro unter \"Optionen ...\" an "
                   "oder nennen Sie eine mit --settings.");
        return 1;
    }
    Session session(settingsFile);
    try {
        session.loadSettings();
    } catch (const Error &error) {
        printError(cp1252ToUtf8(defaultErrorText(error.what())));
        return 1;
    }

    // No view shows the table here, so it never needs to read (and sort)
    // its rows into the model; the snapshot reads them itself. The views
    // stay paused until the process ends.
    session.data().table().pauseViews();
    QString cause;
    if (!session.connectDatabase(fromWindows1252(session.settings().connectionString), &cause)) {
        // The window shows the message alone; here the cause helps whoever
        // reads a scheduler's log.
        printError(std::string(messages::connectionFailed) + "\r(" + cause.toStdString() + ")");
        return 1;
    }
    if (!session.openTable()) {
        printError(messages::tableFailed);
        return 1;
    }
    try {
        session.data().table().setSort(QString::fromUtf8(options.sort));
    } catch (const Error &error) {
        printError(cp1252ToUtf8(defaultErrorText(error.what())));
        return 1;
    }

    const PublishResult result = options.check ? session.checkTemplate() : session.generate();
    switch (result.outcome) {
    case PublishResult::Outcome::NoTable:
    case PublishResult::Outcome::NoTemplate:
        printError(result.message.toStdString());
        return 1;
    case PublishResult::Outcome::Failed:
        printError(defaultErrorText(result.message.toStdString()));
        printUnknownNames(result);
        return 1;
    case PublishResult::Outcome::Checked:
        printUnknownNames(result);
        if (!result.unknownNames.isEmpty())
            return 1;
        std::printf("Einstellungen und Vorlage sind in Ordnung.\n");
        return 0;
    case PublishResult::Outcome::PagesWritten:
        printUnknownNames(result);
        break;
    }
    // Warnings go to stderr, where a scheduler's log keeps them; they do not
    // change the exit status, as the pages were written.
    for (const QString &warning : result.warnings)
        std::fprintf(stderr, "Warnung: %s\n", warning.toUtf8().constData());
    for (int page = 1; page <= result.pageCount; ++page)
        std::printf("%s\n", cp1252ToUtf8(session.generator().pageFileName(page)).c_str());
    std::printf("%d HTML-%s mit %d %s erzeugt.\n", result.pageCount, result.pageCount == 1 ? "Seite" : "Seiten",
                result.listingCount, result.listingCount == 1 ? "Wohnung" : "Wohnungen");
    return options.upload ? uploadPages(session, options.uploadAll) : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Qt loads its SQL drivers as plugins, which needs the application object.
    QCoreApplication app(argc, argv);
    Options options;
    std::string info;
    if (!parseArguments(argc, argv, options, info))
        return 2;
    if (!info.empty()) {
        std::fputs(info.c_str(), stdout);
        return 0;
    }
    try {
        return publish(options);
    } catch (const std::exception &error) {
        printError(defaultErrorText(exceptionText(error).toStdString()));
        return 1;
    }
}
