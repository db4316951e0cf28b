#include "desktop/desktop.h"
#include "common/version.h"
#include "settings/connectionstringdialog.h"
#include "settings/passwordcipher.h"
#include "store/listingdatabase.h"
#include "tests/dialogs/dialogtest.h"
#include "tests/support/ftptestsupport.h"
#include "tests/support/sshtestsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace kaviro {
namespace {

using test::child;
using test::DesktopCall;
using test::whenModal;

class OptionsDialogTest : public test::DialogFixture {
protected:
    // Shows the dialog as the main window does: a failing load goes to the
    // default error box.
    void show(int page, std::function<void(OptionsDialog *)> whileShown)
    {
        whenModal<OptionsDialog>(std::move(whileShown));
        runCommand(desktop, nullptr, [&] { options->showOnPage(page); });
    }

    QLineEdit *edit(const char *name) const { return field<QLineEdit>(name); }

    void typeInto(QWidget *widget, const QString &text) { QTest::keyClicks(widget, text); }

    // The default error box texts shown so far.
    QStringList errors() const
    {
        QStringList texts;
        for (const DesktopCall &call : desktop.messageBoxes())
            texts << call.text;
        return texts;
    }
};

// ------------------------------------------------------------ record updates

TEST(OptionsRecordUpdates, PortTextRowsPerPageTextAndPortKeys)
{
    const struct {
        const char *text;
        std::int32_t rows;
    } rows[] = {{"5", 5}, {"+7", 7}, {"100", 100}, {"0", 1}, {"500", 100}, {"-3", 1},
                {"", 1},  {"-", 1},  {"abc", 1},   {" 12", 12}};
    for (const auto &c : rows)
        EXPECT_EQ(rowsPerPageFromText(QString::fromLatin1(c.text)), c.rows) << c.text;

    const struct {
        const char *text;
        std::int32_t port;
    } ports[] = {{"21", 21}, {"0x15", 21}, {"$15", 21}, {"0", 0}, {"-1", -1}};
    for (const auto &c : ports) {
        std::int32_t port = 99;
        applyPortField(port, QString::fromLatin1(c.text));
        EXPECT_EQ(port, c.port) << c.text;
    }
    for (const char *bad : {"", "abc", "21a"}) {
        std::int32_t port = 99;
        try {
            applyPortField(port, QString::fromLatin1(bad));
            ADD_FAILURE() << bad << " was taken";
        } catch (const Error &error) {
            EXPECT_EQ(std::string(error.what()), "'" + std::string(bad) + "' ist kein g\xfcltiger Integerwert");
        }
        EXPECT_EQ(port, 99) << bad;
    }

    for (const char *key : {"0", "9", "", "\b", "\x7f"})
        EXPECT_TRUE(portKeyAccepted(QString::fromLatin1(key))) << int(key[0]);
    for (const char *key : {"a", " ", "-", "+", "."})
        EXPECT_FALSE(portKeyAccepted(QString::fromLatin1(key))) << key;
    EXPECT_FALSE(portKeyAccepted(u"\u0663"_s)); // a digit, but not a decimal one of ours

    const struct {
        UploadProtocol to;
        std::int32_t port, proposed;
    } proposals[] = {{UploadProtocol::Sftp, 21, 22}, {UploadProtocol::Ftp, 22, 21}, {UploadProtocol::Sftp, 2121, 2121},
                     {UploadProtocol::Ftp, 2222, 2222}, {UploadProtocol::Sftp, 22, 22}, {UploadProtocol::Ftp, 21, 21}};
    for (const auto &c : proposals)
        EXPECT_EQ(proposedPort(c.to, c.port), c.proposed) << c.port;
}

// ------------------------------------------------------------------ showing

TEST_F(OptionsDialogTest, FirstStartOpensOnDatabaseNotConnectedWithEmptyPortsAndDisabledControls)
{
    bool shown = false;
    show(OptionsDialog::DatabasePage, [&](OptionsDialog *dialog) {
        shown = true;
        EXPECT_EQ(dialog->windowTitle(), u"Optionen"_s);
        EXPECT_EQ(dialog->currentPage(), OptionsDialog::DatabasePage);
        auto *pages = field<QTabWidget>("pcOptions");
        QStringList captions;
        for (int i = 0; i < pages->count(); ++i)
            captions << pages->tabText(i);
        EXPECT_EQ(captions, (QStringList{u"Template"_s, u"FTP"_s, u"Datenbank"_s, u"Info"_s}));
        EXPECT_GE(dialog->width(), 460);
        EXPECT_GE(dialog->height(), 390);

        EXPECT_EQ(field<QLabel>("txtStatus")->text(), u"not connected"_s);
        EXPECT_EQ(dialog->statusColor(), QColor(255, 0, 0));
        EXPECT_EQ(edit("txtProxyPort")->text(), QString());
        EXPECT_EQ(edit("txtFTPPort")->text(), QString());
        for (const char *name : {"txtProxyServer", "ttlProxyServer", "txtProxyPort", "ttlProxyPort",
                                 "intRowsPerPage", "ttlRowsPerPage"})
            EXPECT_FALSE(field<QWidget>(name)->isEnabled()) << name;
        EXPECT_EQ(field<QSpinBox>("intRowsPerPage")->value(), 5);
        dialog->grab().save(test::artifactPath(u"options-datenbank.png"_s));
        QTest::mouseClick(field<QPushButton>("btnAbort"), Qt::LeftButton);
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(options->settings(), Settings{});
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(settingsFile())));
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(OptionsDialogTest, PortFieldsDropLettersAndCarryEveryDigitIntoTheRecord)
{
    QLineEdit *port = edit("txtFTPPort");
    std::vector<std::int32_t> seen;
    QObject::connect(port, &QLineEdit::textChanged, [&] { seen.push_back(options->settings().ftpPort); });
    typeInto(port, u"2x1 ."_s);
    EXPECT_EQ(port->text(), u"21"_s);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{2, 21}));

    // Emptying the field: the error box, and the record keeps its number.
    QTest::keyClick(port, Qt::Key_Backspace);
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_EQ(port->text(), QString());
    EXPECT_EQ(options->settings().ftpPort, 2);
    EXPECT_EQ(errors(), QStringList{u"'' ist kein gültiger Integerwert."_s});

    // The proxy port filters alike once the proxy is on.
    field<QCheckBox>("chkUseProxy")->setChecked(true);
    typeInto(edit("txtProxyPort"), u"80a80"_s);
    EXPECT_EQ(edit("txtProxyPort")->text(), u"8080"_s);
    EXPECT_EQ(options->settings().proxyPort, 8080);
}

TEST_F(OptionsDialogTest, RowsPerPageTakesDigitsAndSignsAndKeepsItsBounds)
{
    field<QCheckBox>("chkMultiPage")->setChecked(true);
    EXPECT_TRUE(options->settings().multiPage);
    auto *spin = field<QSpinBox>("intRowsPerPage");
    ASSERT_TRUE(spin->isEnabled());
    auto *text = spin->findChild<QLineEdit *>();
    const auto leave = [&] {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(spin, &out);
    };

    text->selectAll();
    typeInto(spin, u"5x0!0"_s);
    EXPECT_EQ(text->text(), u"500"_s);
    EXPECT_EQ(options->settings().rowsPerPage, 100);
    leave();
    EXPECT_EQ(text->text(), u"100"_s);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 100);
    QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(options->settings().rowsPerPage, 99);

    text->selectAll();
    typeInto(spin, u"-"_s);
    EXPECT_EQ(options->settings().rowsPerPage, 1);
    leave();
    EXPECT_EQ(text->text(), u"1"_s);
    QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(spin->value(), 1);
    EXPECT_EQ(options->settings().rowsPerPage, 1);

    field<QCheckBox>("chkMultiPage")->setChecked(false);
    EXPECT_FALSE(spin->isEnabled());
    EXPECT_FALSE(field<QLabel>("ttlRowsPerPage")->isEnabled());
    EXPECT_FALSE(options->settings().multiPage);
}

TEST_F(OptionsDialogTest, ProxyBoxEnablesAndDisablesWithoutClearing)
{
    writeSetting("FTP", "UseProxy", "1");
    writeSetting("FTP", "ProxyServer", "proxy.example");
    writeSetting("FTP", "ProxyPort", "3128");
    writeSetting("FTP", "FTPPort", "0x15");
    writeSetting("Template", "RowsPerPage", "500");
    options->loadSettings();

    const char *const proxyControls[] = {"txtProxyServer", "ttlProxyServer", "txtProxyPort", "ttlProxyPort"};
    auto *box = field<QCheckBox>("chkUseProxy");
    EXPECT_TRUE(box->isChecked());
    for (const char *name : proxyControls)
        EXPECT_TRUE(field<QWidget>(name)->isEnabled()) << name;
    EXPECT_EQ(edit("txtFTPPort")->text(), u"21"_s);
    EXPECT_EQ(field<QSpinBox>("intRowsPerPage")->value(), 100);
    EXPECT_EQ(options->settings().rowsPerPage, 100);

    box->click();
    EXPECT_FALSE(options->settings().useProxy);
    for (const char *name : proxyControls)
        EXPECT_FALSE(field<QWidget>(name)->isEnabled()) << name;
    EXPECT_EQ(edit("txtProxyServer")->text(), u"proxy.example"_s);
    EXPECT_EQ(edit("txtProxyPort")->text(), u"3128"_s);
    EXPECT_EQ(options->settings().proxyServer, "proxy.example");
    EXPECT_EQ(options->settings().proxyPort, 3128);

    box->click();
    EXPECT_TRUE(options->settings().useProxy);
    for (const char *name : proxyControls)
        EXPECT_TRUE(field<QWidget>(name)->isEnabled()) << name;
}

TEST_F(OptionsDialogTest, CancelKeepsTheEditUntilTheNextShowingReloadsTheFile)
{
    writeSetting("FTP", "FTPServer", "ftp.datei.example");
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Esc" : "Abbrechen");
        show(OptionsDialog::FtpPage, [&](OptionsDialog *dialog) {
            EXPECT_EQ(edit("txtFTPServer")->text(), u"ftp.datei.example"_s);
            edit("txtFTPServer")->setFocus();
            edit("txtFTPServer")->selectAll();
            typeInto(edit("txtFTPServer"), u"ftp.neu.example"_s);
            if (byEscape)
                QTest::keyClick(edit("txtFTPServer"), Qt::Key_Escape);
            else
                QTest::mouseClick(field<QPushButton>("btnAbort"), Qt::LeftButton);
            EXPECT_FALSE(dialog->isVisible());
        });
        // In effect for an upload started now; the file is untouched.
        EXPECT_EQ(options->settings().ftpServer, "ftp.neu.example");
        EXPECT_EQ(session().settings().ftpServer, "ftp.neu.example");
        EXPECT_EQ(readSetting("FTP", "FTPServer"), "ftp.datei.example");
    }

    show(OptionsDialog::TemplatePage, [&](OptionsDialog *dialog) {
        EXPECT_EQ(edit("txtFTPServer")->text(), u"ftp.datei.example"_s);
        EXPECT_EQ(options->settings().ftpServer, "ftp.datei.example");
        dialog->reject();
    });
}

TEST_F(OptionsDialogTest, OkWritesTheWholeRecordWithTheEncipheredPassword)
{
    writeSetting("FTP", "FTPServer", "ftp.alt.example");
    show(OptionsDialog::FtpPage, [&](OptionsDialog *) {
        edit("txtFTPServer")->setText(u"ftp.kaviro.example"_s);
        typeInto(edit("txtFTPPassword"), u"geheimß"_s);
        EXPECT_EQ(edit("txtFTPPassword")->displayText(), u"*******"_s);
        edit("txtTemplate")->setText(u"/vorlagen/liste.templ"_s);
        field<QCheckBox>("chkMultiPage")->setChecked(true);
        field<QSpinBox>("intRowsPerPage")->setValue(12);
        // Enter in a field presses "OK".
        QTest::keyClick(edit("txtFTPUser"), Qt::Key_Return);
    });
    EXPECT_EQ(readSetting("FTP", "FTPServer"), "ftp.kaviro.example");
    EXPECT_EQ(readSetting("FTP", "FTPPort"), "21");
    EXPECT_EQ(readSetting("FTP", "UseProxy"), "0");
    EXPECT_EQ(readSetting("FTP", "ProxyPort"), "8080");
    EXPECT_EQ(readSetting("Template", "Filename"), "/vorlagen/liste.templ");
    EXPECT_EQ(readSetting("Template", "MultiPage"), "1");
    EXPECT_EQ(readSetting("Template", "RowsPerPage"), "12");
    EXPECT_EQ(readSetting("Application", "Version"), "1.0.0.11");
    EXPECT_EQ(readSetting("Application", "LastCompiled"), version::buildTime);
    // The file existed: no FirstStart.
    EXPECT_EQ(readSetting("Application", "FirstStart"), "<missing>");
    const std::string stored = readSetting("FTP", "Password");
    EXPECT_EQ(stored.size(), 40u);
    EXPECT_EQ(stored.substr(0, 8), "07000000");
    EXPECT_EQ(decodePassword(stored), "geheim\xdf");
    EXPECT_EQ(stored, encodePassword("geheim\xdf"));
}

TEST_F(OptionsDialogTest, FirstOkCreatesTheFileWithTheDateOfTheFirstStart)
{
    show(OptionsDialog::DatabasePage, [&](OptionsDialog *) {
        QTest::mouseClick(field<QPushButton>("btnOK"), Qt::LeftButton);
    });
    EXPECT_EQ(QString::fromStdString(readSetting("Application", "FirstStart")),
              QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_EQ(readSetting("Template", "RowsPerPage"), "5");
    EXPECT_EQ(readSetting("FTP", "Password"), "");
}

TEST_F(OptionsDialogTest, UnwritableSettingsFileIsReportedAndTheDialogClosesAllTheSame)
{
    // A folder where the file should be: no write can replace it, even as root.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(settingsFile())));
    show(OptionsDialog::TemplatePage, [&](OptionsDialog *) {
        QTest::mouseClick(field<QPushButton>("btnOK"), Qt::LeftButton);
    });
    EXPECT_FALSE(options->isVisible());
    ASSERT_EQ(desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(desktop.messageBoxes()[0].text,
              u"nach %1 kann nicht geschrieben werden."_s.arg(QString::fromStdString(settingsFile())));
}

TEST_F(OptionsDialogTest, UndecodablePasswordIsReportedOnceAndTheDialogOpensWithoutIt)
{
    edit("txtFTPPassword")->setText(u"vorher"_s);
    writeSetting("Template", "Filename", "neu.templ");
    writeSetting("FTP", "User", "neuer.benutzer");
    writeSetting("FTP", "Password", "XYZ0");
    const std::string longString = "Provider=SQLite;Data Source=/" + std::string(300, 'x') + ".db";
    writeSetting("Database", "ConnectionString", longString);

    for (int showing = 0; showing < 2; ++showing) {
        SCOPED_TRACE(showing);
        bool shown = false;
        show(OptionsDialog::FtpPage, [&](OptionsDialog *dialog) {
            shown = true;
            EXPECT_EQ(edit("txtFTPPassword")->text(), QString());
            EXPECT_EQ(edit("txtFTPUser")->text(), u"neuer.benutzer"_s);
            dialog->reject();
        });
        EXPECT_TRUE(shown);
        EXPECT_EQ(errors(), QStringList{u"'0xXY' ist kein gültiger Integerwert."_s});
        EXPECT_EQ(options->settings().ftpPassword, "");
        EXPECT_TRUE(session().passwordUnreadable());
        EXPECT_EQ(edit("txtTemplate")->text(), u"neu.templ"_s);
        EXPECT_EQ(options->settings().connectionString, longString);
        EXPECT_EQ(session().settings().ftpUser, "neuer.benutzer");
        // A string longer than its field shows its start.
        EXPECT_EQ(edit("txtConnectionString")->cursorPosition(), 0);
    }

    // Typing a password makes it usable again.
    typeInto(edit("txtFTPPassword"), u"neu"_s);
    EXPECT_FALSE(session().passwordUnreadable());
    EXPECT_EQ(options->settings().ftpPassword, "neu");
}

TEST_F(OptionsDialogTest, LabelsLeaveEveryClickToTheInputs)
{
    options->show();
    auto *pages = field<QTabWidget>("pcOptions");
    for (int page = 0; page < pages->count(); ++page) {
        SCOPED_TRACE(page);
        pages->setCurrentIndex(page);
        QCoreApplication::processEvents();
        EXPECT_EQ(test::inputsHiddenFromClicks(options), QStringList());
    }
    options->hide();

    ConnectionStringDialog builder(desktop, QString());
    builder.show();
    auto *providers = child<QComboBox>(&builder, "cmbProvider");
    for (int provider = 0; provider < providers->count(); ++provider) {
        SCOPED_TRACE(providers->itemText(provider).toStdString());
        providers->setCurrentIndex(provider);
        QCoreApplication::processEvents();
        EXPECT_EQ(test::inputsHiddenFromClicks(&builder), QStringList());
    }
}

// ----------------------------------------------------------- file dialogs

TEST_F(OptionsDialogTest, BrowseButtonsAskTheDesktopAndFillTheFields)
{
    edit("txtTemplate")->setText(u"/alt/liste.templ"_s);
    edit("txtOutput")->setText(u"/alt/out"_s);
    desktop.fileAnswers = {u"/vorlagen/neu.templ"_s, std::nullopt, u"/vorlagen/\u4e2d.templ"_s};
    desktop.folderAnswers = {u"/tmp/ausgabe"_s, std::nullopt};

    field<QToolButton>("btnTemplate")->click();
    ASSERT_EQ(desktop.calls.size(), 1u);
    const Desktop::OpenFileRequest &request = desktop.calls[0].openFile;
    EXPECT_EQ(request.title, u"Template-Datei öffnen"_s);
    EXPECT_EQ(request.filters, (QList<Desktop::FileFilter>{{u"Alle Dateien (*.*)"_s, u"*.*"_s},
                                                          {u"Template-Dateien (*.templ)"_s, u"*.templ"_s}}));
    EXPECT_EQ(request.selectedFilter, 1);
    EXPECT_EQ(request.defaultExtension, u"*.templ"_s);
    EXPECT_EQ(request.fileName, u"/alt/liste.templ"_s);
    EXPECT_EQ(edit("txtTemplate")->text(), u"/vorlagen/neu.templ"_s);
    EXPECT_EQ(options->settings().templateFilename, "/vorlagen/neu.templ");

    field<QToolButton>("btnTemplate")->click(); // cancelled
    EXPECT_EQ(options->settings().templateFilename, "/vorlagen/neu.templ");
    // A name the settings file cannot hold is refused, not mangled.
    field<QToolButton>("btnTemplate")->click();
    EXPECT_EQ(options->settings().templateFilename, "/vorlagen/neu.templ");
    ASSERT_EQ(desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(desktop.messageBoxes()[0].caption, u"Fehler !"_s);

    field<QToolButton>("btnOutput")->click();
    const DesktopCall &folder = desktop.calls.back();
    ASSERT_EQ(folder.kind, DesktopCall::Kind::Folder);
    EXPECT_EQ(folder.folder.title, u"temp. Ausgabeverzeichnis"_s);
    EXPECT_EQ(folder.folder.folder, u"/alt/out"_s);
    EXPECT_EQ(options->settings().templateOutput, "/tmp/ausgabe");
    field<QToolButton>("btnOutput")->click(); // cancelled
    EXPECT_EQ(edit("txtOutput")->text(), u"/tmp/ausgabe"_s);
}

TEST_F(OptionsDialogTest, TextFieldsRefuseCharactersTheSettingsFileCannotHold)
{
    QLineEdit *server = edit("txtFTPServer");
    // As typed or pasted, piece by piece.
    for (const QString &piece : {u"ftp"_s, u"\u20ac"_s, u"\u4e2d"_s, u"\U0001F600"_s, u".example"_s})
        server->insert(piece);
    EXPECT_EQ(server->text(), u"ftp\u20ac.example"_s);
    EXPECT_EQ(options->settings().ftpServer, "ftp\x80.example");
}

// -------------------------------------------------------- transfer fields

TEST_F(OptionsDialogTest, TransferFieldsLoadSaveAndFollowTheProtocol)
{
    const std::pair<const char *, const char *> stored[] = {
        {"Protocol", "SFTP"},    {"FTPPort", "21"},         {"Passive", "0"},          {"Encryption", "2"},
        {"UploadAll", "1"},      {"UseProxy", "1"},         {"Certificate", "AB:CD"},  {"HostKey", "SHA256:xyz"},
    };
    for (const auto &[key, value] : stored)
        writeSetting("FTP", key, value);
    const char *const ftpOnly[] = {"chkUseProxy", "txtProxyServer", "ttlProxyServer", "txtProxyPort",
                                   "ttlProxyPort", "chkPassive", "lblEncryption", "cmbEncryption"};
    auto *protocol = field<QComboBox>("cmbProtocol");
    show(OptionsDialog::FtpPage, [&](OptionsDialog *dialog) {
        EXPECT_EQ(protocol->currentText(), u"SFTP"_s);
        // Loading proposes nothing: the file's port stands.
        EXPECT_EQ(edit("txtFTPPort")->text(), u"21"_s);
        EXPECT_FALSE(field<QCheckBox>("chkPassive")->isChecked());
        EXPECT_EQ(field<QComboBox>("cmbEncryption")->currentText(), u"TLS erforderlich"_s);
        EXPECT_TRUE(field<QCheckBox>("chkUploadAll")->isChecked());
        for (const char *name : ftpOnly)
            EXPECT_FALSE(field<QWidget>(name)->isEnabled()) << name;
        EXPECT_TRUE(field<QWidget>("chkUploadAll")->isEnabled());
        EXPECT_TRUE(field<QWidget>("btnFtpTest")->isEnabled());
        dialog->grab().save(test::artifactPath(u"options-ftp-sftp.png"_s));

        // The user's choice of FTP proposes FTP's port and enables its controls.
        edit("txtFTPPort")->setText(u"22"_s);
        protocol->setFocus();
        QTest::keyClick(protocol, Qt::Key_Up);
        EXPECT_EQ(protocol->currentText(), u"FTP"_s);
        EXPECT_EQ(edit("txtFTPPort")->text(), u"21"_s);
        for (const char *name : ftpOnly)
            EXPECT_TRUE(field<QWidget>(name)->isEnabled()) << name;
        field<QCheckBox>("chkUploadAll")->click();
        field<QCheckBox>("chkPassive")->click();
        field<QComboBox>("cmbEncryption")->setCurrentIndex(0);
        dialog->grab().save(test::artifactPath(u"options-ftp.png"_s));
        QTest::mouseClick(field<QPushButton>("btnOK"), Qt::LeftButton);
    });
    const std::pair<const char *, const char *> saved[] = {
        {"Protocol", "FTP"},   {"FTPPort", "21"},          {"Passive", "1"},           {"Encryption", "0"},
        {"UploadAll", "0"},    {"UseProxy", "1"},          {"Certificate", "AB:CD"},   {"HostKey", "SHA256:xyz"},
    };
    for (const auto &[key, value] : saved)
        EXPECT_EQ(readSetting("FTP", key), value) << key;
    EXPECT_EQ(session().settings().certificate, "AB:CD");
    EXPECT_EQ(session().settings().hostKey, "SHA256:xyz");
    EXPECT_EQ(session().settings().encryption, FtpEncryption::None);

    // And SFTP again: port 21 becomes 22.
    show(OptionsDialog::FtpPage, [&](OptionsDialog *dialog) {
        protocol->setFocus();
        QTest::keyClick(protocol, Qt::Key_Down);
        EXPECT_EQ(options->settings().protocol, UploadProtocol::Sftp);
        EXPECT_EQ(edit("txtFTPPort")->text(), u"22"_s);
        EXPECT_EQ(options->settings().ftpPort, 22);
        dialog->reject();
    });
}

class ConnectionTestButton : public OptionsDialogTest {
protected:
    // Fills the page's server fields and clicks "Verbindung testen".
    void testWith(int port, const std::string &folder, const std::string &user, const std::string &password)
    {
        edit("txtFTPServer")->setText(u"127.0.0.1"_s);
        edit("txtFTPPort")->setText(QString::number(port));
        edit("txtFTPPfad")->setText(QString::fromStdString(folder));
        edit("txtFTPUser")->setText(QString::fromStdString(user));
        edit("txtFTPPassword")->setText(QString::fromStdString(password));
        QTest::mouseClick(field<QPushButton>("btnFtpTest"), Qt::LeftButton);
        EXPECT_TRUE(field<QPushButton>("btnFtpTest")->isEnabled());
    }

    void expectOutcome(const QString &text, const QColor &colour)
    {
        EXPECT_EQ(options->ftpStatusText(), text);
        EXPECT_EQ(options->ftpStatusColor(), colour);
    }

    const QColor green{0, 128, 0};
    const QColor red{255, 0, 0};
};

TEST_F(ConnectionTestButton, RealFtpServersAnswerGreenOrRedWithTheirReply)
{
    for (const auto kind : {test::RealFtpServer::Kind::Vsftpd, test::RealFtpServer::Kind::PyftpdlibTls}) {
        test::RealFtpServer server(kind);
        ASSERT_FALSE(HasFatalFailure());
        SCOPED_TRACE(server.tls() ? "pyftpdlib TLS" : "vsftpd");
        field<QComboBox>("cmbEncryption")->setCurrentIndex(server.tls() ? 2 : 0);
        options->show();
        field<QTabWidget>("pcOptions")->setCurrentIndex(OptionsDialog::FtpPage);
        // A self-signed certificate passes only when trusted.
        testWith(server.port(), server.remoteDir(), server.user(), server.password());
        if (server.tls()) {
            EXPECT_TRUE(options->ftpStatusText().startsWith(u"FEHLER: Kann Verbindung nicht herstellen.\n"_s));
            EXPECT_TRUE(options->ftpStatusText().contains(QString::fromStdString(server.certificateFingerprint())));
            EXPECT_EQ(options->ftpStatusColor(), red);
            writeSetting("FTP", "Certificate", server.certificateFingerprint());
            options->loadSettings();
            field<QComboBox>("cmbEncryption")->setCurrentIndex(2);
            testWith(server.port(), server.remoteDir(), server.user(), server.password());
        }
        expectOutcome(u"Verbindung in Ordnung"_s, green);
        if (!server.tls())
            options->grab().save(test::artifactPath(u"options-ftp-test.png"_s));

        testWith(server.port(), server.remoteDir() + "/fehlt", server.user(), server.password());
        EXPECT_TRUE(options->ftpStatusText().startsWith(u"FEHLER: Kann Verzeichnis nicht wechseln.\n550"_s))
            << options->ftpStatusText().toStdString();
        EXPECT_EQ(options->ftpStatusColor(), red);

        if (!server.tls()) { // vsftpd takes anybody anonymously
            options->hide();
            continue;
        }
        testWith(server.port(), server.remoteDir(), server.user(), server.password() + "x");
        EXPECT_TRUE(options->ftpStatusText().startsWith(u"FEHLER: Kann Verbindung nicht herstellen.\n530"_s))
            << options->ftpStatusText().toStdString();
        EXPECT_EQ(options->ftpStatusColor(), red);
        options->hide();
    }
}

TEST_F(ConnectionTestButton, SftpLogsInOnceTheHostKeyIsTrusted)
{
    const test::SshServer server;
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    const test::PasswordAccount user;
    if (!user.available())
        GTEST_SKIP() << "a password account needs root";
    options->show();
    field<QComboBox>("cmbProtocol")->setCurrentIndex(1);
    testWith(server.port(), "/tmp", user.name(), user.password());
    EXPECT_TRUE(options->ftpStatusText().startsWith(u"FEHLER: Kann Verbindung nicht herstellen.\n"_s));
    EXPECT_TRUE(options->ftpStatusText().contains(QString::fromStdString(server.servedFingerprint())))
        << options->ftpStatusText().toStdString();
    EXPECT_EQ(options->ftpStatusColor(), red);

    writeSetting("FTP", "Protocol", "SFTP");
    writeSetting("FTP", "HostKey", server.servedFingerprint());
    options->loadSettings();
    testWith(server.port(), "/tmp", user.name(), user.password());
    expectOutcome(u"Verbindung in Ordnung"_s, green);

    testWith(server.port(), "/gibt/es/nicht", user.name(), user.password());
    EXPECT_TRUE(options->ftpStatusText().startsWith(u"FEHLER: Kann Verzeichnis nicht wechseln.\n"_s));
    EXPECT_EQ(options->ftpStatusColor(), red);
    options->hide();
}

// ------------------------------------------------------------------- Info

TEST_F(OptionsDialogTest, InfoPageShowsVersionBuildTimeMakerAndMailLink)
{
    EXPECT_EQ(field<QLabel>("txtVersion")->text(), u"x.y.z"_s);
    EXPECT_EQ(field<QLabel>("txtLastCompiled")->text(), u"tt.mm.jjjj"_s);
    show(OptionsDialog::InfoPage, [&](OptionsDialog *dialog) {
        EXPECT_EQ(field<QLabel>("txtVersion")->text(), u"1.0.0.11"_s);
        EXPECT_TRUE(QRegularExpression(u"^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"_s)
                        .match(field<QLabel>("txtLastCompiled")->text())
                        .hasMatch())
            << field<QLabel>("txtLastCompiled")->text().toStdString();
        EXPECT_TRUE(field<QLabel>("lblCompany")->text().startsWith(u"Quorvel\n"_s));
        EXPECT_EQ(field<QLabel>("imgLogo")->pixmap().size(), QSize(175, 86));
        QTest::mouseClick(field<QLabel>("lblMail"), Qt::LeftButton);
        dialog->grab().save(test::artifactPath(u"options-info.png"_s));
        field<QTabWidget>("pcOptions")->setCurrentIndex(OptionsDialog::TemplatePage);
        dialog->grab().save(test::artifactPath(u"options-template.png"_s));
        dialog->reject();
    });
    ASSERT_EQ(desktop.openedUrls().size(), 1u);
    EXPECT_EQ(desktop.openedUrls()[0].url, QUrl(u"mailto:"_s + OptionsDialog::mailAddress));
}

// ---------------------------------------------------- connection button

class ConnectionButtonTest : public OptionsDialogTest {
protected:
    // Clicks the button; the connection-string dialog gets `inDialog`.
    void clickConnection(std::function<void(ConnectionStringDialog *)> inDialog)
    {
        whenModal<ConnectionStringDialog>(std::move(inDialog));
        field<QPushButton>("btnConnection")->click();
    }
    QString statusText() const { return field<QLabel>("txtStatus")->text(); }
};

TEST_F(ConnectionButtonTest, CancelledNewDefinitionReconnectsWithTheEmptyStringQuietly)
{
    clickConnection([](ConnectionStringDialog *dialog) { dialog->reject(); });
    EXPECT_EQ(edit("txtConnectionString")->text(), QString());
    EXPECT_FALSE(data->connection().isConnected());
    EXPECT_EQ(statusText(), u"not connected"_s);
    EXPECT_EQ(options->statusColor(), QColor(255, 0, 0));
    EXPECT_TRUE(desktop.messageBoxes().empty());
}

TEST_F(ConnectionButtonTest, NewSqliteFileGetsTheTableAndConnects)
{
    const QString file = path(u"neu.db"_s);
    desktop.buttonAnswers = {QMessageBox::Yes};
    clickConnection([&](ConnectionStringDialog *dialog) {
        child<QLineEdit>(dialog, "txtFile")->setText(file);
        QTest::mouseClick(child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
    });
    const QString expected = u"Provider=SQLite;Data Source="_s + file;
    EXPECT_EQ(edit("txtConnectionString")->text(), expected);
    EXPECT_EQ(options->settings().connectionString, toWindows1252(expected));
    EXPECT_TRUE(data->connection().isConnected());
    EXPECT_TRUE(data->connection().database().tables().contains(u"Wohnungen"_s));
    EXPECT_EQ(statusText(), u"connected"_s);
    EXPECT_EQ(options->statusColor(), QColor(0, 128, 0));
    ASSERT_EQ(desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(desktop.messageBoxes()[0].buttons, QMessageBox::Yes | QMessageBox::No);
}

TEST_F(ConnectionButtonTest, CancelledEditKeepsTheStringAndAFailedConnectionSaysSo)
{
    const QString missing = u"Provider=SQLite;Data Source="_s + path(u"fehlt.db"_s);
    edit("txtConnectionString")->setText(missing);
    clickConnection([](ConnectionStringDialog *dialog) {
        QTest::mouseClick(child<QPushButton>(dialog, "btnAbort"), Qt::LeftButton);
    });
    EXPECT_EQ(edit("txtConnectionString")->text(), missing);
    EXPECT_FALSE(data->connection().isConnected());
    EXPECT_EQ(data->connection().connectionString(), missing);
    ASSERT_EQ(desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(desktop.messageBoxes()[0].caption, u"Fehler !"_s);
    EXPECT_EQ(desktop.messageBoxes()[0].text, u"Die Verbindung zur Datenbank konnte nicht hergestellt werden."_s);
    EXPECT_EQ(desktop.messageBoxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(statusText(), u"not connected"_s);
}

TEST_F(ConnectionButtonTest, DatabasePageShowsTheStatusWhenTheUserTurnsToIt)
{
    createSqliteDatabase(path(u"da.db"_s), false);
    data->connection().setConnectionString(u"Provider=SQLite;Data Source="_s + path(u"da.db"_s));
    data->connection().setConnected(true);
    show(OptionsDialog::TemplatePage, [&](OptionsDialog *dialog) {
        EXPECT_EQ(statusText(), u"Status"_s);
        EXPECT_EQ(dialog->statusColor(), QColor(0, 128, 0));
        field<QTabWidget>("pcOptions")->setCurrentIndex(OptionsDialog::DatabasePage);
        EXPECT_EQ(statusText(), u"connected"_s);
        dialog->reject();
    });
}

} // namespace
} // namespace kaviro
