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
    return upload(m_session.generator().pageCount(), m_session.pageFileNames());
}

bool UploadDialog::upload(std::int32_t pageCount, const Uploader::PageFileName &pageFileName)
{
    // The waits below keep the windows running, which offers the chance to
    // start again.
    if (m_uploader.isRunning())
        return false;
    // Logging in with an empty password in place of one that could not be
    // read would only earn a refusal from the server, or lock the account.
    if (m_session.passwordUnreadable()) {
        m_desktop.errorMessage(m_watchedWindow, passwordUnreadableText);
        return false;
    }

    show();
    raise();
    m_ui->btnCancel->setEnabled(true);
    emit runningChanged(true);
    setEventPump([] { QCoreApplication::processEvents(); });
    const auto ended = [this] {
        setEventPump({});
        m_ui->btnCancel->setEnabled(false);
        emit runningChanged(false);
        if (std::exchange(m_closeWindowAfterUpload, false) && m_watchedWindow)
            QTimer::singleShot(0, m_watchedWindow.data(), &QWidget::close);
    };
    bool result = false;
    try {
        result = runUploadJob(m_uploader, m_session.settings(), pageCount, pageFileName).ok;
    } catch (...) {
        ended();
        throw;
    }
    ended();
    hide();
    return result;
}

bool UploadDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::Close && isRunning()) {
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
