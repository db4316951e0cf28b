#pragma once

#include "publish/uploader.h"
#include "session/trust.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

class QStatusBar;

namespace Ui {
class UploadDialog;
}

namespace kaviro {

class Desktop;
class Session;

// A horizontal bar with its percentage as text: the whole percentage
// (rounded down) of the progress between minimum and maximum, 0 % when the
// two are equal; a progress outside the range is held at the nearer end.
class Gauge : public QWidget {
    Q_OBJECT
public:
    explicit Gauge(QWidget *parent = nullptr);

    std::int64_t minimum() const { return m_minimum; }
    std::int64_t maximum() const { return m_maximum; }
    std::int64_t progress() const { return m_progress; }
    void setMinimum(std::int64_t value);
    void setMaximum(std::int64_t value);
    void setProgress(std::int64_t value);
    int percent() const;
    QString text() const { return QString::number(percent()) + QStringLiteral(" %"); }

    static const QColor backColor;
    static const QColor foreColor;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::int64_t m_minimum = 0;
    std::int64_t m_maximum = 100;
    std::int64_t m_progress = 0;
};

// A question whether to trust a server identity, as the upload window asks it.
struct TrustQuestion {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Question;
};
// server is the host the upload went to.
TrustQuestion trustQuestion(const TrustRequest &request, const QString &server);

// The window "FTP Übertragung" through which the main window's "FTP Upload"
// sends the generated pages: a tool window of the main window, above it, not
// modal; it runs the upload sequence with the FTP values of the settings
// record as they stand, tells each step in its status bar and the share of
// the current page sent in its gauge, and hides again when the upload is
// over, saying how many pages were sent. The main window stays usable
// meanwhile. "Abbrechen" ends any wait of a running upload at once, with
// QUIT sent. Closing the main window during an upload does the same, and the
// main window closes once the upload has ended.
//
// A server whose certificate or host key nobody vouches for ends the upload
// with a question; "Ja" trusts it (settings file and record) and uploads
// again.
class UploadDialog : public QDialog {
    Q_OBJECT
public:
    // mainWindow, when given, is the window whose closing waits for the
    // upload.
    UploadDialog(Desktop &desktop, Session &session, QWidget *mainWindow, QWidget *parent = nullptr);
    ~UploadDialog() override;

    // Sends the pages of the session's latest generation; true when
    // every step worked. A failure is shown in a message box and gives
    // false; so does a cancellation. Does nothing and gives false while an
    // upload runs. A failing QUIT is not caught: it leaves the window
    // visible with its last status text.
    // Refuses, with passwordUnreadableText, while the stored password could
    // not be decoded and none has been typed.
    bool upload();
    static const QString passwordUnreadableText;
    // The same for the pages given.
    bool upload(const UploadFiles &files);

    // From the start of an upload to its end, questions included.
    bool isRunning() const { return m_running; }
    // Ends the running upload.
    void cancel();

    QString statusText() const;
    Gauge &gauge();
    Uploader &uploader() { return m_uploader; }

signals:
    // An upload began or ended (also by a failing QUIT).
    void runningChanged(bool running);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setStatus(const QString &text);
    bool askToTrust(const TrustRequest &request);
    // Says how many pages went and how many were unchanged, after a success
    // or a cancel the user asked for.
    void reportOutcome(const UploadResult &result);

    Desktop &m_desktop;
    Session &m_session;
    std::unique_ptr<Ui::UploadDialog> m_ui;
    Uploader m_uploader;
    QPointer<QWidget> m_watchedWindow;
    bool m_closeWindowAfterUpload = false;
    bool m_running = false;
};

} // namespace kaviro
