#pragma once

#include "session/connectiontest.h"
#include "settings/settings.h"

#include <QColor>
#include <QDialog>
#include <QSpinBox>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class QLineEdit;

namespace Ui {
class OptionsDialog;
}

namespace kaviro {

class Desktop;
class Session;

// What a change of a field's content does to the settings record; the
// dialog's change handlers are these, and tests call them directly.
//
// A text field's content, as Windows-1252 bytes.
void applyTextField(std::string &field, const QString &text);
// A port field's content read as an integer (decimal, or hexadecimal after
// "0x" or "$"). A text that is no integer raises kaviro::Error
// "'<text>' ist kein gültiger Integerwert" and leaves the port as it was.
void applyPortField(std::int32_t &port, const QString &text);
// The number the rows-per-page field stands for: brought into 1..100; a text
// that is not a number counts as 1.
std::int32_t rowsPerPageFromText(const QString &text);
// The characters a port field lets through: decimal digits, and editing keys
// (control characters) that carry no printable text.
bool portKeyAccepted(const QString &typedText);
// The port the FTP page proposes when the user switches to protocol: SFTP's
// 22 while the port is still FTP's 21, and 21 back; otherwise the port as it
// is.
std::int32_t proposedPort(UploadProtocol protocol, std::int32_t port);

// The rows-per-page field: an integer spin field from 1 to 100 that accepts
// only digits, "+" and "-" as typed characters (others beep), steps by 1
// within its bounds, and brings a number outside them to the nearer bound
// when it loses the focus; a text that is not a number then reads 1.
class RowsPerPageSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit RowsPerPageSpinBox(QWidget *parent = nullptr);

signals:
    // The field's text changed, by typing or by a step.
    void numberTextChanged(const QString &text);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    int valueFromText(const QString &text) const override;
    void keyPressEvent(QKeyEvent *event) override;
};

// The options dialog "Optionen": pages "Template", "FTP", "Datenbank" and
// "Info". It edits a copy of the session's settings record: every change of
// a field goes into the copy at once; loading fills the fields from the
// settings file and so the copy. Closing the dialog hands the copy back to
// the session, and "OK" also writes it to the file. "Abbrechen", Esc and the
// close box write nothing, so edited values stay in the record until the
// next showing reloads the file.
class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    enum Page { TemplatePage = 0, FtpPage = 1, DatabasePage = 2, InfoPage = 3 };

    static const QString mailAddress;

    OptionsDialog(Desktop &desktop, Session &session, QWidget *parent = nullptr);
    ~OptionsDialog() override;

    // The record being edited.
    const Settings &settings() const { return m_settings; }

    // Reads the settings file into the fields (and through them into the
    // record), then hands the record to the session; nothing when there is
    // no file. A stored password that cannot be decoded leaves the password
    // empty; its error is shown in the default error box the first time in
    // a run, and everything else loads.
    void loadSettings();

    // Fills the version labels, loads the settings, shows the dialog modally
    // on the page given and returns when it has closed; always true.
    bool showOnPage(int index);
    int currentPage() const;

    // Handlers of the buttons and check boxes, as a click runs them.
    void btnTemplateClick();
    // The file dialog for a template, its answer into field.
    void chooseTemplate(QLineEdit *field);
    void btnOutputClick();
    void btnConnectionClick();
    void chkMultiPageClick();
    void chkUseProxyClick();
    void cmbProtocolChange();
    // "Verbindung testen": logs in with the page's values, changes to the
    // folder and quits; the outcome in green, or the failed step and the
    // server's reply in red.
    void btnFtpTestClick();
    void showVersionInfo();
    void updateConnectionStatus();
    void openMailLink();
    void copyMailLink();

    // The status text's colour, as shown.
    QColor statusColor() const;
    QString ftpStatusText() const;
    QColor ftpStatusColor() const;

protected:
    void accept() override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectFields();
    void portChanged(std::int32_t &port, const QString &text);
    // Proxy, passive mode and encryption belong to FTP only.
    void enableTransferControls();
    void showFtpStatus(const QString &text, const QColor &colour);
    void showMailMenu(const QPoint &position);
    // Puts a path chosen in a file or folder dialog into a field; a path the
    // settings file cannot hold is refused with a message.
    bool acceptChosenPath(QLineEdit *field, const QString &path);

    void readSettingsFile();

    Desktop &m_desktop;
    Session &m_session;
    std::unique_ptr<Ui::OptionsDialog> m_ui;
    Settings m_settings;
    bool m_passwordReported = false;
    ConnectionTest m_connectionTest;
};

} // namespace kaviro
