#include "app/mainwindow.h"
#include "publish/uploaddialog.h"
#include "tests/dialogs/dialogtest.h"
#include "tests/support/ftptestsupport.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <filesystem>
#include <set>

using namespace Qt::StringLiterals;

namespace kaviro {
namespace {

using test::ScriptedServer;
using test::StoredFile;

TEST(Gauge, WholePercentHeldWithinItsRange)
{
    test::guiApplication();
    const struct {
        std::int64_t minimum, maximum, progress;
        int percent;
    } cases[] = {
        {0, 0, 0, 0},     {0, 0, 5, 0},       {0, 100, 50, 50},   {0, 3, 1, 33},
        {0, 3, 2, 66},    {0, 100, 150, 100}, {0, 100, -5, 0},    {10, 20, 15, 50},
        {0, 5'000'000'000, 4'990'000'000, 99}, {0, 7, 7, 100},
    };
    for (const auto &c : cases) {
        Gauge gauge;
        gauge.setMinimum(c.minimum);
        gauge.setMaximum(c.maximum);
        gauge.setProgress(c.progress);
        EXPECT_EQ(gauge.percent(), c.percent) << c.minimum << ".." << c.maximum << " at " << c.progress;
        EXPECT_EQ(gauge.text(), QString::number(c.percent) + u" %"_s);
    }

    // The bar in dark blue on light grey, at the window's size.
    Gauge gauge;
    gauge.resize(217, 25);
    gauge.setMaximum(4);
    gauge.setProgress(1);
    const QImage image = gauge.grab().toImage();
    EXPECT_EQ(image.pixelColor(4, 4), QColor(0, 64, 128));
    EXPECT_EQ(image.pixelColor(210, 4), QColor(239, 239, 239));
}

class UploadDialogTest : public test::DialogFixture {
protected:
    UploadDialogTest()
    {
        upload = &program().upload();
        QObject::connect(upload->findChild<QStatusBar *>(u"Status"_s), &QStatusBar::messageChanged,
                         [this](const QString &text) {
                             if (!text.isEmpty())
                                 statuses << text;
                         });
        desktop.onCall = [this](const test::DesktopCall &call) {
            statuses << u"box: "_s + call.text;
            EXPECT_TRUE(upload->isVisible()); // the failing step's window stays up meanwhile
        };
    }

    void useServer(int port, const std::string &folder, const std::string &user = "kaviro",
                   const std::string &password = "geheim")
    {
        Settings &settings = session().settings();
        settings.ftpServer = "127.0.0.1";
        settings.ftpPort = port;
        settings.ftpPath = folder;
        settings.ftpUser = user;
        settings.ftpPassword = password;
    }

    // Pages 1..n in a folder of their own, named as the generator names them.
    UploadFiles writePages(const std::vector<std::string> &pages)
    {
        UploadFiles files{m_pages.path(), {}};
        for (std::size_t i = 0; i < pages.size(); ++i) {
            files.names.push_back(pageName(std::int32_t(i + 1)));
            m_pages.write(files.names.back(), pages[i]);
        }
        return files;
    }
    // A server that takes each page slowly: while the page is on its way,
    // `meanwhile` runs on the test's thread (the upload's waits keep events
    // flowing there), and the page is confirmed `pauseMs` later.
    static ScriptedServer::Script slowPages(std::function<void()> meanwhile, int pauseMs)
    {
        return ScriptedServer::ftp([meanwhile, pauseMs](ScriptedServer::Session &s, const std::string &line) {
            if (line.rfind("STOR ", 0) != 0)
                return false;
            s.reply("150 Daten bitte");
            s.storeData(line);
            QMetaObject::invokeMethod(qApp, meanwhile);
            s.pause(pauseMs);
            s.reply("226 Fertig");
            return true;
        });
    }

    static std::string pageName(std::int32_t n)
    {
        return n == 1 ? "liste.html" : "liste" + std::to_string(n) + ".html";
    }

    // The question as a real message box would show it.
    static void saveScreenshot(const TrustQuestion &question, const QString &file)
    {
        QMessageBox box(question.icon, question.caption, question.text, QMessageBox::Yes | QMessageBox::No);
        box.show();
        QCoreApplication::processEvents();
        box.grab().save(test::artifactPath(file));
    }

    static const QStringList steps;

    UploadDialog *upload = nullptr;
    QStringList statuses;

private:
    test::TempDir m_pages;
};

const QStringList UploadDialogTest::steps = {u"Verbindung zum FTP-Server herstellen ..."_s,
                                             u"Server Verzeichnis wechseln ... "_s,
                                             u"HTML-Seiten werden übertragen ... "_s};

TEST_F(UploadDialogTest, AnUnreadableStoredPasswordHoldsTheUploadUntilOneIsTyped)
{
    desktop.onCall = [this](const test::DesktopCall &call) { statuses << u"box: "_s + call.text; };
    writeSetting("FTP", "Password", "XYZ0");
    options->loadSettings();
    useServer(1, "/", "kaviro", "");
    const auto pages = writePages({"<html></html>"});
    EXPECT_FALSE(upload->upload(pages));
    EXPECT_FALSE(upload->isVisible());
    ASSERT_FALSE(desktop.messageBoxes().empty());
    EXPECT_EQ(desktop.messageBoxes().back().text, UploadDialog::passwordUnreadableText);
    EXPECT_EQ(desktop.messageBoxes().back().caption, u"Fehler !"_s);
    EXPECT_FALSE(statuses.contains(steps[0]));

    QTest::keyClicks(test::child<QLineEdit>(options, "txtFTPPassword"), u"geheim"_s);
    upload->upload(pages); // port 1 refuses: it got as far as connecting
    EXPECT_TRUE(statuses.contains(steps[0]));
}

TEST_F(UploadDialogTest, LabelsLeaveEveryClickToTheInputs)
{
    upload->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(test::inputsHiddenFromClicks(upload), QStringList());
    upload->hide();
}

TEST_F(UploadDialogTest, UploadToVsftpdRunsTheGaugeToFullAndHidesAfterwards)
{
    test::RealFtpServer server(test::RealFtpServer::Kind::Vsftpd);
    ASSERT_FALSE(HasFatalFailure());
    useServer(server.port(), server.remoteDir(), server.user(), server.password());
    std::string big;
    while (big.size() < 3'000'000)
        big += "<tr><td>Wohnung K\xfc" "che</td><td>3 Zimmer</td></tr>\r\n";
    const std::vector<std::string> pages = {"<p>Seite 1</p>\r\n", big};
    const UploadFiles names = writePages(pages);

    // Looks at the window while the waits of the upload keep it running.
    std::set<int> percents;
    bool grabbed = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (!upload->isRunning())
            return;
        EXPECT_TRUE(upload->isVisible());
        EXPECT_FALSE(upload->isModal());
        percents.insert(upload->gauge().percent());
        if (!grabbed && upload->gauge().percent() > 30 && upload->gauge().maximum() == std::int64_t(big.size())) {
            grabbed = true;
            upload->grab().save(test::artifactPath(u"upload.png"_s));
        }
    });
    look.start(0);

    EXPECT_TRUE(upload->upload(names));
    EXPECT_EQ(statuses, steps + QStringList{u"box: Die HTML-Seiten wurden übertragen.\r\n"
                                            "2 Dateien übertragen, 0 unverändert."_s});
    EXPECT_EQ(desktop.messageBoxes().back().caption, u"Information"_s);
    EXPECT_EQ(desktop.messageBoxes().back().icon, QMessageBox::Information);
    EXPECT_FALSE(upload->isVisible());
    EXPECT_FALSE(upload->isRunning());
    EXPECT_EQ(upload->windowTitle(), u"FTP Übertragung"_s);
    EXPECT_EQ(upload->gauge().percent(), 100);
    EXPECT_EQ(upload->gauge().maximum(), std::int64_t(big.size()));
    EXPECT_TRUE(grabbed) << "no progress was seen while the page was sent";
    EXPECT_GT(percents.size(), 2u);
    for (std::size_t i = 0; i < pages.size(); ++i)
        EXPECT_EQ(test::readFile(server.uploadDir() + "/" + pageName(std::int32_t(i + 1))), pages[i]) << i;

    // Showing the window again starts the gauge afresh.
    upload->show();
    EXPECT_EQ(upload->gauge().percent(), 0);
    EXPECT_EQ(upload->gauge().maximum(), 0);
    upload->hide();
}

TEST_F(UploadDialogTest, CancelEndsThePageBeingSentAndQuits)
{
    bool startedAgain = true;
    // While page 1 is on its way: press "Abbrechen" and try a second upload.
    ScriptedServer server(slowPages(
        [&] {
            startedAgain = upload->upload(UploadFiles{"/", {"nirgends"}});
            QTest::mouseClick(upload->findChild<QPushButton *>(u"btnCancel"_s), Qt::LeftButton);
        },
        300));
    useServer(server.port(), "/web");
    const UploadFiles names = writePages({"eins", "zwei", "drei"});
    auto *cancelButton = upload->findChild<QPushButton *>(u"btnCancel"_s);
    EXPECT_FALSE(cancelButton->isEnabled());

    EXPECT_FALSE(upload->upload(names));
    server.finish();
    EXPECT_FALSE(startedAgain);
    // The window says how many pages had gone.
    const QString outcome = u"Übertragung vom Benutzer abgebrochen. 0 Dateien übertragen, 0 unverändert."_s;
    EXPECT_EQ(statuses, steps + QStringList({u"Übertragung wird abgebrochen ..."_s,
                                             u"Übertragung vom Benutzer abgebrochen."_s, outcome,
                                             u"box: "_s + outcome}));
    // Page 1 was not confirmed yet: it stays under its temporary name.
    const std::vector<StoredFile> storedPages{{".kaviro-upload.liste.html", "eins"}};
    EXPECT_EQ(server.stored(), storedPages);
    ASSERT_FALSE(server.lines().empty());
    EXPECT_EQ(server.lines().back(), "QUIT");
    EXPECT_FALSE(upload->isVisible());
    EXPECT_FALSE(upload->isRunning());
    EXPECT_FALSE(cancelButton->isEnabled());
}

TEST_F(UploadDialogTest, ClosingTheWindowDuringAnUploadOnlyHidesIt)
{
    bool hiddenWhileRunning = false;
    ScriptedServer server(slowPages(
        [&] {
            upload->close();
            hiddenWhileRunning = hiddenWhileRunning || (!upload->isVisible() && upload->isRunning());
        },
        100));
    useServer(server.port(), "/web");
    desktop.onCall = [this](const test::DesktopCall &call) { statuses << u"box: "_s + call.text; };
    EXPECT_TRUE(upload->upload(writePages({"eins", "zwei"})));
    server.finish();
    EXPECT_TRUE(hiddenWhileRunning);
    EXPECT_EQ(statuses, steps + QStringList{u"box: Die HTML-Seiten wurden übertragen.\r\n"
                                            "2 Dateien übertragen, 0 unverändert."_s});
    EXPECT_EQ(server.stored(), (std::vector<StoredFile>{{"liste.html", "eins"}, {"liste2.html", "zwei"}}));
    EXPECT_FALSE(upload->isVisible());
}

TEST_F(UploadDialogTest, ClosingTheMainWindowCancelsTheUploadAndClosesAfterIt)
{
    MainWindow &window = program().mainWindow();
    bool closed = false;
    bool closedDuringUpload = false;
    QObject::connect(&window, &MainWindow::closed, [&] {
        closed = true;
        closedDuringUpload = upload->isRunning();
    });
    ScriptedServer server(slowPages([&] { window.close(); }, 300));
    useServer(server.port(), "/web");

    EXPECT_FALSE(upload->upload(writePages({"eins", "zwei"})));
    server.finish();
    EXPECT_FALSE(closed);
    EXPECT_EQ(statuses.back(), u"Übertragung vom Benutzer abgebrochen."_s);
    EXPECT_EQ(server.stored().size(), 1u);
    EXPECT_EQ(server.lines().back(), "QUIT");
    EXPECT_TRUE(test::waitFor([&] { return closed; }));
    EXPECT_FALSE(closedDuringUpload);
}

TEST_F(UploadDialogTest, RefusedFolderIsShownInABoxWhileTheWindowStaysUp)
{
    ScriptedServer server(ScriptedServer::ftp([](ScriptedServer::Session &s, const std::string &line) {
        if (line.rfind("CWD ", 0) != 0)
            return false;
        s.reply("550 Verzeichnis gibt es nicht");
        return true;
    }));
    useServer(server.port(), "/fehlt");
    EXPECT_FALSE(upload->upload(writePages({"eins"})));
    server.finish();
    EXPECT_EQ(statuses, (QStringList{steps[0], steps[1], u"FEHLER: Kann Verzeichnis nicht wechseln."_s,
                                     u"box: 550 Verzeichnis gibt es nicht\r\n"_s}));
    ASSERT_EQ(desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(desktop.messageBoxes()[0].caption, applicationTitle());
    EXPECT_EQ(desktop.messageBoxes()[0].buttons, QMessageBox::Ok);
    EXPECT_TRUE(server.stored().empty());
    EXPECT_EQ(server.lines().back(), "QUIT");
    EXPECT_FALSE(upload->isVisible());
}

TEST_F(UploadDialogTest, ToolWindowOfTheMainWindowThatHoldsGeneratingAndOptionsWhileItRuns)
{
    MainWindow &window = program().mainWindow();
    EXPECT_EQ(upload->parentWidget(), &window);
    EXPECT_EQ(upload->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    const char *const held[] = {"acGenerate", "acOptionen", "miOptionen"};
    std::vector<bool> enabledMeanwhile;
    ScriptedServer server(slowPages(
        [&] {
            for (const char *name : held)
                enabledMeanwhile.push_back(test::child<QAction>(&window, name)->isEnabled());
        },
        50));
    useServer(server.port(), "/web");
    EXPECT_TRUE(upload->upload(writePages({"eins"})));
    server.finish();
    EXPECT_EQ(enabledMeanwhile, std::vector<bool>(std::size(held), false));
    for (const char *name : held)
        EXPECT_TRUE(test::child<QAction>(&window, name)->isEnabled()) << name;
}

TEST_F(UploadDialogTest, UntrustedCertificateIsAskedAboutAndStoredOnlyAfterYes)
{
    test::RealFtpServer server(test::RealFtpServer::Kind::VsftpdTls);
    ASSERT_FALSE(HasFatalFailure());
    useServer(server.port(), server.remoteDir(), server.user(), server.password());
    // Only the one key may change in the file.
    writeSetting("FTP", "FTPServer", "aus.der.datei.example");
    const std::string page = "<p>sicher</p>\r\n";
    const UploadFiles names = writePages({page});
    const std::string stored = server.uploadDir() + "/liste.html";
    desktop.onCall = [this](const test::DesktopCall &call) { statuses << u"box: "_s + call.text; };

    desktop.buttonAnswers = {QMessageBox::No};
    EXPECT_FALSE(upload->upload(names));
    // The question alone, without an error box before it.
    ASSERT_EQ(desktop.messageBoxes().size(), 1u);
    const test::DesktopCall question = desktop.messageBoxes()[0];
    EXPECT_EQ(question.caption, u"Zertifikat prüfen"_s);
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(question.text.contains(QString::fromStdString(server.certificateFingerprint()))) << question.text.toStdString();
    EXPECT_TRUE(question.text.contains(u"\"127.0.0.1\""_s));
    EXPECT_EQ(readSetting("FTP", "Certificate"), "<missing>");
    EXPECT_EQ(session().settings().certificate, "");
    EXPECT_FALSE(std::filesystem::exists(stored));

    saveScreenshot({question.caption, question.text, question.icon}, u"upload-trust-certificate.png"_s);

    desktop.buttonAnswers = {QMessageBox::Yes};
    EXPECT_TRUE(upload->upload(names));
    EXPECT_EQ(readSetting("FTP", "Certificate"), server.certificateFingerprint());
    EXPECT_EQ(readSetting("FTP", "FTPServer"), "aus.der.datei.example");
    EXPECT_EQ(session().settings().certificate, server.certificateFingerprint());
    EXPECT_EQ(test::readFile(stored), page);
    ASSERT_EQ(desktop.messageBoxes().size(), 3u);
    EXPECT_EQ(desktop.messageBoxes()[2].text,
              u"Die HTML-Seiten wurden übertragen.\r\n1 Datei übertragen, 0 unverändert."_s);

    // Trusted from now on: no further question.
    EXPECT_TRUE(upload->upload(names));
    EXPECT_EQ(desktop.messageBoxes().size(), 4u);
}

TEST_F(UploadDialogTest, TrustQuestionsShowTheFingerprintAndWarnOfAChangedHostKey)
{
    const QString server = u"ssh.example"_s;
    const struct {
        TrustRequest request;
        QString caption;
        QMessageBox::Icon icon;
        QString mustSay;
        std::string settingsLine;
    } cases[] = {
        {{TrustRequest::Kind::Certificate, "AB:CD", false}, u"Zertifikat prüfen"_s, QMessageBox::Question,
         u"Zertifizierungsstelle"_s, "Certificate=AB:CD"},
        {{TrustRequest::Kind::HostKey, "SHA256:neu", false}, u"Host-Schlüssel prüfen"_s, QMessageBox::Question,
         u"noch nicht bekannt"_s, "HostKey=SHA256:neu"},
        {{TrustRequest::Kind::HostKey, "SHA256:anders", true}, u"Warnung"_s, QMessageBox::Warning,
         u"ACHTUNG: Der Host-Schlüssel des SFTP-Servers \"ssh.example\" hat sich geändert!"_s,
         "HostKey=SHA256:anders"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.settingsLine);
        const TrustQuestion question = trustQuestion(c.request, server);
        EXPECT_EQ(question.caption, c.caption);
        EXPECT_EQ(question.icon, c.icon);
        EXPECT_TRUE(question.text.contains(c.mustSay)) << question.text.toStdString();
        EXPECT_TRUE(question.text.contains(QString::fromStdString(c.request.fingerprint)));
        EXPECT_TRUE(question.text.endsWith(u"?"_s));
        EXPECT_EQ(trustSettingsLine(c.request), c.settingsLine);
        if (c.request.changed)
            saveScreenshot(question, u"upload-trust-changed-hostkey.png"_s);
    }
}

TEST_F(UploadDialogTest, TrustingWritesItsKeyAloneOrTheWholeRecordWhenThereIsNoFile)
{
    session().settings().ftpServer = "ftp.im-speicher.example";
    trust({TrustRequest::Kind::HostKey, "SHA256:abc", false}, settingsFile(), session().settings());
    // No file before: everything in use went in, as "OK" writes it.
    EXPECT_EQ(readSetting("FTP", "HostKey"), "SHA256:abc");
    EXPECT_EQ(readSetting("FTP", "FTPServer"), "ftp.im-speicher.example");

    writeSetting("FTP", "FTPServer", "ftp.datei.example");
    trust({TrustRequest::Kind::Certificate, "01:02", false}, settingsFile(), session().settings());
    EXPECT_EQ(readSetting("FTP", "Certificate"), "01:02");
    EXPECT_EQ(readSetting("FTP", "HostKey"), "SHA256:abc");
    EXPECT_EQ(readSetting("FTP", "FTPServer"), "ftp.datei.example");
    EXPECT_EQ(session().settings().certificate, "01:02");
    EXPECT_EQ(session().settings().hostKey, "SHA256:abc");
}

TEST_F(UploadDialogTest, FailingQuitLeavesTheWindowUpWithItsStatusAndReachesTheCaller)
{
    ScriptedServer server(ScriptedServer::ftp([](ScriptedServer::Session &s, const std::string &line) {
        if (line != "QUIT")
            return false;
        s.reply("500 Nein");
        s.close();
        return true;
    }));
    useServer(server.port(), "/web");
    const UploadFiles names = writePages({"eins"});
    EXPECT_THROW(upload->upload(names), Error);
    server.finish();
    EXPECT_TRUE(upload->isVisible());
    EXPECT_EQ(upload->statusText(), steps[2]);
    EXPECT_FALSE(upload->isRunning());
    upload->hide();
}

} // namespace
} // namespace kaviro
