#include "publish/uploaddialog.h"

#include "ui_uploaddialog.h"

#include "desktop/desktop.h"
#include "desktop/labels.h"
#include "publish/tcpsocket.h"
#include "session/session.h"
#include "session/uploadjob.h"
#include "store/windows1252.h"

#include <QCoreApplication>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace kaviro {

// ------------------------------------------------------------------ gauge

const QColor Gauge::backColor(239, 239, 239);
const QColor Gauge::foreColor(0, 64, 128);

Gauge::Gauge(QWidget *parent) : QWidget(parent)
{
    QFont textFont = font();
    textFont.setPixelSize(13);
    setFont(textFont);
}

void Gauge::setMinimum(std::int64_t value)
{
    m_minimum = value;
    update();
}

void Gauge::setMaximum(std::int64_t value)
{
    m_maximum = value;
    update();
}

void Gauge::setProgress(std::int64_t value)
{
    m_progress = value;
    update();
}

int Gauge::percent() const
{
    if (m_maximum <= m_minimum)
        return 0;
    const std::int64_t progress = std::clamp(m_progress, m_minimum, m_maximum);
    // In floating point: a page of several GB times 100 stays exact enough
    // and cannot overflow.
    return int(double(progress - m_minimum) * 100.0 / double(m_maximum - m_minimum));
}

void Gauge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(inside, backColor);
    QRect bar = inside;
    bar.setWidth(inside.width() * percent() / 100);
    painter.fillRect(bar, foreColor);
    // The text reads dark on the background and light on the bar.
    painter.setPen(Qt::black);
    painter.drawText(inside, Qt::AlignCenter, text());
    painter.setClipRect(bar);
    painter.setPen(Qt::white);
    painter.drawText(inside, Qt::AlignCenter, text());
    painter.setClipping(false);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ----------------------------------------------------------------- window

UploadDialog::UploadDialog(Desktop &desktop, Session &session, QWidget *mainWindow, QWidget *parent)
    : QDialog(parent), m_desktop(desktop), m_session(session), m_ui(std::make_unique<Ui::UploadDialog>()),
      m_watchedWindow(mainWindow)
{
    m_ui->setupUi(this);
    letLabelsPassClicks(this);
    // The gauge's text takes the face and sets its own height.
    QFont windowFont = font();
    windowFont.setFamily(u"MS Sans Serif"_s);
    windowFont.setPixelSize(11);
    setFont(windowFont);
    setFixedSize(322, 104);
    // A tool window of the main window stays above it and cannot be lost
    // behind it.
    if (m_watchedWindow)
        setParent(m_watchedWindow, (windowFlags() & ~Qt::WindowType_Mask) | Qt::Tool);
    m_ui->btnCancel->setEnabled(false);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &UploadDialog::cancel);

    m_uploader.setStatusHandler([this](const std::string &text) { setStatus(fromWindows1252(text)); });
    m_uploader.setProgressHandler([this](std::int32_t, std::int64_t sent, std::int64_t size) {
        m_ui->Gauge->setMaximum(size);
        m_ui->Gauge->setProgress(sent);
    });
    // The program must not end inside the upload's waits: a close of the
    // main window meanwhile cancels the upload and closes the window after.
    if (m_watchedWindow)
        m_watchedWindow->installEventFilter(this);
    m_uploader.setErrorHandler([this](const std::string &message) {
        // A server identity to trust gets its question instead.
        if (trustRequestOf(m_uploader.lastResult()))
            return;
        m_desktop.messageBox(this, applicationTitle(), fromWindows1252(message), QMessageBox::Ok,
                                 QMessageBox::NoIcon);
    });
}

UploadDialog::~UploadDialog() = default;

Gauge &UploadDialog::gauge()
{
    return *m_ui->Gauge;
}

QString UploadDialog::statusText() const
{
    return m_ui->Status->currentMessage();
}

void UploadDialog::setStatus(const QString &text)
{
    m_ui->Status->showMessage(text);
}

void UploadDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_ui->Gauge->setProgress(0);
    m_ui->Gauge->setMinimum(0);
    m_ui->Gauge->setMaximum(0);
}

const QString UploadDialog::passwordUnreadableText =
    u"Das gespeicherte FTP-Passwort kann nicht gelesen werden.\r"
    "Bitte geben Sie es unter \"Optionen ...\" auf der Seite \"FTP\" neu ein."_s;

bool UploadDialog::upload()
{
    return upload(m_session.uploadFiles());
}

bool UploadDialog::upload(const UploadFiles &files)
{
    // The waits below keep the windows running, which offers the chance to
    // start again.
    if (m_running)
        return false;
    // Logging in with an empty password in place of one that could not be
    // read would only earn a refusal from the server, or lock the account.
    if (m_session.passwordUnreadable()) {
        m_desktop.errorMessage(m_watchedWindow, passwordUnreadableText);
        return false;
    }

    show();
    raise();
    m_running = true;
    emit runningChanged(true);
    setEventPump([] { QCoreApplication::processEvents(); });
    const auto ended = [this] {
        setEventPump({});
        m_ui->btnCancel->setEnabled(false);
        m_running = false;
        emit runningChanged(false);
        if (std::exchange(m_closeWindowAfterUpload, false) && m_watchedWindow)
            QTimer::singleShot(0, m_watchedWindow.data(), &QWidget::close);
    };
    UploadResult result;
    try {
        for (;;) {
            m_ui->btnCancel->setEnabled(true);
            result = runUploadJob(m_uploader, m_session.settings(), files);
            m_ui->btnCancel->setEnabled(false);
            const std::optional<TrustRequest> request = trustRequestOf(result);
            if (!request || !askToTrust(*request))
                break;
        }
    } catch (...) {
        ended();
        throw;
    }
    reportOutcome(result);
    ended();
    hide();
    return result.ok;
}

bool UploadDialog::askToTrust(const TrustRequest &request)
{
    const TrustQuestion question = trustQuestion(request, fromWindows1252(m_session.settings().ftpServer));
    if (m_desktop.messageBox(this, question.caption, question.text, QMessageBox::Yes | QMessageBox::No,
                             question.icon)
        != QMessageBox::Yes)
        return false;
    // The record takes it even when the file cannot: the next try trusts it.
    runCommand(m_desktop, this, [&] { trust(request, m_session.settingsFile(), m_session.settings()); });
    return true;
}

void UploadDialog::reportOutcome(const UploadResult &result)
{
    // A window the user closed meanwhile leaves the word to the main window.
    QWidget *parent = isVisible() || !m_watchedWindow ? static_cast<QWidget *>(this) : m_watchedWindow.data();
    const QString summary = fromWindows1252(Uploader::summaryText(result));
    if (result.ok) {
        m_desktop.messageBox(parent, u"Information"_s, u"Die HTML-Seiten wurden übertragen.\r\n"_s + summary,
                             QMessageBox::Ok, QMessageBox::Information);
    } else if (result.cancelled && !m_closeWindowAfterUpload) {
        const QString text = fromWindows1252(Uploader::cancelledText) + u" "_s + summary;
        setStatus(text);
        m_desktop.messageBox(parent, u"Information"_s, text, QMessageBox::Ok, QMessageBox::Information);
    }
}

TrustQuestion trustQuestion(const TrustRequest &request, const QString &server)
{
    const QString fingerprint = fromWindows1252(request.fingerprint);
    const QString advice = u"Vertrauen Sie ihm nur, wenn Ihr Anbieter Ihnen genau diesen Fingerabdruck nennt."
                           "\r\n\r\nWollen Sie ihm vertrauen und die Übertragung wiederholen ?"_s;
    if (request.kind == TrustRequest::Kind::Certificate)
        return {u"Zertifikat prüfen"_s,
                u"Für das Zertifikat des FTP-Servers \"%1\" bürgt keine bekannte Zertifizierungsstelle."
                "\r\n\r\nSHA-256-Fingerabdruck:\r\n%2\r\n\r\n"_s.arg(server, fingerprint)
                    + advice,
                QMessageBox::Question};
    if (!request.changed)
        return {u"Host-Schlüssel prüfen"_s,
                u"Der SFTP-Server \"%1\" ist noch nicht bekannt.\r\n\r\n"
                "Fingerabdruck seines Host-Schlüssels:\r\n%2\r\n\r\n"_s.arg(server, fingerprint)
                    + advice,
                QMessageBox::Question};
    return {u"Warnung"_s,
            u"ACHTUNG: Der Host-Schlüssel des SFTP-Servers \"%1\" hat sich geändert!\r\n\r\n"
            "Das kann bedeuten, dass jemand die Verbindung abfängt und mitliest. Es kann auch sein, dass "
            "Ihr Anbieter den Schlüssel gewechselt hat.\r\n\r\n"
            "Fingerabdruck des neuen Schlüssels:\r\n%2\r\n\r\n"
            "Vertrauen Sie dem neuen Schlüssel nur, wenn Ihr Anbieter Ihnen den Wechsel und genau diesen "
            "Fingerabdruck bestätigt hat.\r\n\r\nWollen Sie ihm trotzdem vertrauen und die Übertragung "
            "wiederholen ?"_s.arg(server, fingerprint),
            QMessageBox::Warning};
}

bool UploadDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::Close && m_uploader.isRunning()) {
        event->ignore();
        m_closeWindowAfterUpload = true;
        cancel();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void UploadDialog::cancel()
{
    if (!m_uploader.isRunning())
        return;
    m_uploader.cancel();
    m_ui->btnCancel->setEnabled(false);
    setStatus(u"Übertragung wird abgebrochen ..."_s);
}

} // namespace kaviro
