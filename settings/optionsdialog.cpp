#include "settings/optionsdialog.h"

#include "ui_optionsdialog.h"

#include "common/error.h"
#include "desktop/labels.h"
#include "common/version.h"
#include "desktop/desktop.h"
#include "publish/tcpsocket.h"
#include "session/session.h"
#include "settings/connectionstringdialog.h"
#include "settings/inifile.h"
#include "common/integertext.h"
#include "store/windows1252.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScopeGuard>
#include <QStyle>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace kaviro {

// ------------------------------------------------------ record updates

void applyTextField(std::string &field, const QString &text)
{
    field = toWindows1252(text);
}

void applyPortField(std::int32_t &port, const QString &text)
{
    port = toInteger(toWindows1252(text));
}

std::int32_t rowsPerPageFromText(const QString &text)
{
    bool ok = false;
    const qlonglong number = text.trimmed().toLongLong(&ok);
    if (!ok)
        return minRowsPerPage;
    return std::int32_t(std::clamp<qlonglong>(number, minRowsPerPage, maxRowsPerPage));
}

bool portKeyAccepted(const QString &typedText)
{
    for (const QChar c : typedText) {
        const bool digit = c >= u'0' && c <= u'9';
        if (!digit && c.category() != QChar::Other_Control)
            return false;
    }
    return true;
}

std::int32_t proposedPort(UploadProtocol protocol, std::int32_t port)
{
    constexpr std::int32_t ftpPort = 21;
    constexpr std::int32_t sftpPort = 22;
    if (protocol == UploadProtocol::Sftp && port == ftpPort)
        return sftpPort;
    if (protocol == UploadProtocol::Ftp && port == sftpPort)
        return ftpPort;
    return port;
}

// ------------------------------------------------------ rows per page

namespace {

bool onlySignsAndDigits(const QString &text)
{
    for (const QChar c : text) {
        if (!(c >= u'0' && c <= u'9') && c != u'+' && c != u'-')
            return false;
    }
    return true;
}

} // namespace

RowsPerPageSpinBox::RowsPerPageSpinBox(QWidget *parent) : QSpinBox(parent)
{
    setRange(minRowsPerPage, maxRowsPerPage);
    setSingleStep(1);
    setValue(5);
    setAlignment(Qt::AlignCenter);
    // Every change of the text counts, also one the spin box does not take
    // as its value yet (a number beyond the bounds while it is typed).
    connect(lineEdit(), &QLineEdit::textChanged, this, &RowsPerPageSpinBox::numberTextChanged);
    // A step or setValue() writes the text with the editor's signals blocked.
    connect(this, &QSpinBox::textChanged, this, &RowsPerPageSpinBox::numberTextChanged);
}

QValidator::State RowsPerPageSpinBox::validate(QString &input, int &) const
{
    if (!onlySignsAndDigits(input))
        return QValidator::Invalid;
    bool ok = false;
    const qlonglong number = input.toLongLong(&ok);
    return ok && number >= minimum() && number <= maximum() ? QValidator::Acceptable
                                                             : QValidator::Intermediate;
}

void RowsPerPageSpinBox::fixup(QString &input) const
{
    input = QString::number(rowsPerPageFromText(input));
}

int RowsPerPageSpinBox::valueFromText(const QString &text) const
{
    return rowsPerPageFromText(text);
}

void RowsPerPageSpinBox::keyPressEvent(QKeyEvent *event)
{
    const QString typed = event->text();
    if (!typed.isEmpty() && !typed.front().isNull() && typed.front().category() != QChar::Other_Control
        && !onlySignsAndDigits(typed) && !(event->modifiers() & Qt::ControlModifier)) {
        QApplication::beep();
        event->accept();
        return;
    }
    QSpinBox::keyPressEvent(event);
}

// ------------------------------------------------------ pictures

namespace {

// The maker's logo: a house beside the name.
QPixmap makerLogo()
{
    QPixmap logo(175, 86);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor navy(0, 0, 128);
    const QColor roof(176, 48, 32);
    QPainterPath house;
    house.moveTo(10, 44);
    house.lineTo(38, 16);
    house.lineTo(66, 44);
    house.closeSubpath();
    painter.fillPath(house, roof);
    painter.fillRect(QRectF(16, 44, 44, 32), navy);
    painter.fillRect(QRectF(24, 52, 10, 10), QColor(255, 255, 217));
    painter.fillRect(QRectF(42, 54, 10, 22), QColor(255, 255, 217));
    const auto write = [&painter](const QRectF &box, int pixels, bool bold, const QColor &colour,
                                  const QString &text) {
        QFont font = painter.font();
        font.setBold(bold);
        font.setPixelSize(pixels);
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    };
    write(QRectF(72, 22, 103, 30), 22, true, navy, u"Quorvel"_s);
    write(QRectF(74, 54, 101, 18), 11, false, roof, u"Software"_s);
    return logo;
}

// The tile the Info panel's background repeats: a faint diagonal grid.
QPixmap backgroundTile()
{
    QPixmap tile(16, 16);
    tile.fill(QColor(240, 244, 250));
    QPainter painter(&tile);
    painter.setPen(QColor(222, 230, 242));
    painter.drawLine(0, 15, 15, 0);
    painter.drawPoint(0, 0);
    return tile;
}

const QColor connectedColor(0, 128, 0);
const QColor notConnectedColor(255, 0, 0);

} // namespace

// ------------------------------------------------------ the dialog

const QString OptionsDialog::mailAddress = u"kontakt@quorvel.example"_s;

OptionsDialog::OptionsDialog(Desktop &desktop, Session &session, QWidget *parent)
    : QDialog(parent), m_desktop(desktop), m_session(session), m_ui(std::make_unique<Ui::OptionsDialog>())
{
    m_ui->setupUi(this);
    Ui::OptionsDialog &ui = *m_ui;

    ui.btnTemplate->setIcon(style()->standardIcon(QStyle::SP_FileDialogStart));
    ui.btnDetailTemplate->setIcon(style()->standardIcon(QStyle::SP_FileDialogStart));
    ui.btnOutput->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    for (QLineEdit *field : {ui.txtTemplate, ui.txtDetailTemplate, ui.txtOutput, ui.txtProxyServer, ui.txtFTPServer,
                             ui.txtFTPPfad, ui.txtFTPUser, ui.txtFTPPassword, ui.txtConnectionString})
        restrictToWindows1252(field);
    ui.txtProxyPort->installEventFilter(this);
    ui.txtFTPPort->installEventFilter(this);

    QFont statusFont = ui.txtStatus->font();
    statusFont.setBold(true);
    statusFont.setPixelSize(13);
    ui.txtStatus->setFont(statusFont);
    QPalette statusPalette = ui.txtStatus->palette();
    statusPalette.setColor(QPalette::WindowText, connectedColor);
    ui.txtStatus->setPalette(statusPalette);

    ui.imgLogo->setPixmap(makerLogo());
    QPalette infoPalette = ui.pnlInfo->palette();
    infoPalette.setBrush(QPalette::Window, QBrush(backgroundTile()));
    ui.pnlInfo->setPalette(infoPalette);
    ui.lblMail->setText(mailAddress);
    QFont mailFont = ui.lblMail->font();
    mailFont.setUnderline(true);
    ui.lblMail->setFont(mailFont);
    ui.lblMail->setStyleSheet(u"color: blue;"_s);
    ui.lblMail->installEventFilter(this);
    letLabelsPassClicks(this, {ui.lblMail});

    connectFields();
    chkMultiPageClick();
    chkUseProxyClick();
    // Every way of closing hands the edited record back, "Abbrechen"
    // included: its values stay in effect until the next showing.
    connect(this, &QDialog::finished, this, [this] {
        m_connectionTest.cancel();
        m_session.settings() = m_settings;
    });
}

OptionsDialog::~OptionsDialog() = default;

void OptionsDialog::connectFields()
{
    Ui::OptionsDialog &ui = *m_ui;
    const std::pair<QLineEdit *, std::string Settings::*> textFields[] = {
        {ui.txtTemplate, &Settings::templateFilename},
        {ui.txtDetailTemplate, &Settings::detailTemplate},
        {ui.txtOutput, &Settings::templateOutput},
        {ui.txtProxyServer, &Settings::proxyServer},
        {ui.txtFTPServer, &Settings::ftpServer},
        {ui.txtFTPPfad, &Settings::ftpPath},
        {ui.txtFTPUser, &Settings::ftpUser},
        {ui.txtFTPPassword, &Settings::ftpPassword},
        {ui.txtConnectionString, &Settings::connectionString},
    };
    for (const auto &[field, member] : textFields) {
        connect(field, &QLineEdit::textChanged, this,
                [this, member](const QString &text) { applyTextField(m_settings.*member, text); });
    }
    connect(ui.txtFTPPassword, &QLineEdit::textEdited, this, [this] { m_session.setPasswordUnreadable(false); });
    connect(ui.txtProxyPort, &QLineEdit::textChanged, this,
            [this](const QString &text) { portChanged(m_settings.proxyPort, text); });
    connect(ui.txtFTPPort, &QLineEdit::textChanged, this,
            [this](const QString &text) { portChanged(m_settings.ftpPort, text); });
    connect(ui.intRowsPerPage, &RowsPerPageSpinBox::numberTextChanged, this,
            [this](const QString &text) { m_settings.rowsPerPage = rowsPerPageFromText(text); });

    connect(ui.chkMultiPage, &QCheckBox::toggled, this, &OptionsDialog::chkMultiPageClick);
    connect(ui.chkUseProxy, &QCheckBox::toggled, this, &OptionsDialog::chkUseProxyClick);
    connect(ui.cmbProtocol, &QComboBox::currentIndexChanged, this, &OptionsDialog::cmbProtocolChange);
    // Only the user's choice proposes a port; loading keeps the file's.
    connect(ui.cmbProtocol, &QComboBox::activated, this, [this] {
        const std::int32_t port = proposedPort(m_settings.protocol, m_settings.ftpPort);
        if (port != m_settings.ftpPort)
            m_ui->txtFTPPort->setText(QString::number(port));
    });
    connect(ui.cmbEncryption, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_settings.encryption = static_cast<FtpEncryption>(index); });
    connect(ui.chkPassive, &QCheckBox::toggled, this, [this](bool on) { m_settings.passive = on; });
    connect(ui.chkUploadAll, &QCheckBox::toggled, this, [this](bool on) { m_settings.uploadAll = on; });
    connect(ui.btnFtpTest, &QPushButton::clicked, this, &OptionsDialog::btnFtpTestClick);
    connect(ui.btnTemplate, &QToolButton::clicked, this, &OptionsDialog::btnTemplateClick);
    connect(ui.btnDetailTemplate, &QToolButton::clicked, this, [this] { chooseTemplate(m_ui->txtDetailTemplate); });
    connect(ui.btnOutput, &QToolButton::clicked, this, &OptionsDialog::btnOutputClick);
    connect(ui.btnConnection, &QPushButton::clicked, this, &OptionsDialog::btnConnectionClick);
    connect(ui.btnOK, &QPushButton::clicked, this, &OptionsDialog::accept);
    connect(ui.btnAbort, &QPushButton::clicked, this, &OptionsDialog::reject);
    connect(ui.pcOptions, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == DatabasePage && isVisible())
            updateConnectionStatus();
    });
    connect(ui.lblMail, &QLabel::customContextMenuRequested, this, &OptionsDialog::showMailMenu);
}

void OptionsDialog::portChanged(std::int32_t &port, const QString &text)
{
    runCommand(m_desktop, this, [&] { applyPortField(port, text); });
}

bool OptionsDialog::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_ui->txtProxyPort || watched == m_ui->txtFTPPort) && event->type() == QEvent::KeyPress
        && !portKeyAccepted(static_cast<QKeyEvent *>(event)->text()))
        return true;
    if (watched == m_ui->lblMail && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        openMailLink();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ------------------------------------------------------ loading and saving

void OptionsDialog::loadSettings()
{
    // What was read reaches the session even when the load stops part-way.
    const auto handBack = qScopeGuard([this] { m_session.settings() = m_settings; });
    readSettingsFile();
}

void OptionsDialog::readSettingsFile()
{
    const std::string &fileName = m_session.settingsFile();
    if (!IniFile(fileName).exists())
        return;
    Ui::OptionsDialog &ui = *m_ui;
    // A value longer than its field shows its start.
    const auto show = [](QLineEdit *field, const std::string &value) {
        field->setText(fromWindows1252(value));
        field->setCursorPosition(0);
    };

    loadTemplateSettings(fileName, m_settings);
    show(ui.txtTemplate, m_settings.templateFilename);
    show(ui.txtDetailTemplate, m_settings.detailTemplate);
    show(ui.txtOutput, m_settings.templateOutput);
    ui.intRowsPerPage->setValue(m_settings.rowsPerPage);
    ui.chkMultiPage->setChecked(m_settings.multiPage);
    chkMultiPageClick();

    // A stored password that cannot be decoded must not lock the user out:
    // the other values load, the password field is empty for the user to
    // type it again, and the upload waits for that.
    m_session.setPasswordUnreadable(false);
    try {
        loadFtpSettings(fileName, m_settings);
    } catch (const Error &error) {
        m_session.setPasswordUnreadable(true);
        m_settings.ftpPassword.clear();
        if (!std::exchange(m_passwordReported, true))
            showDefaultError(m_desktop, parentWidget(), error);
    }
    ui.chkUseProxy->setChecked(m_settings.useProxy);
    ui.cmbProtocol->setCurrentIndex(m_settings.protocol == UploadProtocol::Sftp ? 1 : 0);
    ui.chkPassive->setChecked(m_settings.passive);
    ui.cmbEncryption->setCurrentIndex(static_cast<int>(m_settings.encryption));
    ui.chkUploadAll->setChecked(m_settings.uploadAll);
    chkUseProxyClick();
    show(ui.txtProxyServer, m_settings.proxyServer);
    ui.txtProxyPort->setText(QString::number(m_settings.proxyPort));
    show(ui.txtFTPServer, m_settings.ftpServer);
    ui.txtFTPPort->setText(QString::number(m_settings.ftpPort));
    show(ui.txtFTPPfad, m_settings.ftpPath);
    show(ui.txtFTPUser, m_settings.ftpUser);
    show(ui.txtFTPPassword, m_settings.ftpPassword);

    loadDatabaseSettings(fileName, m_settings);
    show(ui.txtConnectionString, m_settings.connectionString);
}

bool OptionsDialog::showOnPage(int index)
{
    showVersionInfo();
    loadSettings();
    m_ui->pcOptions->setCurrentIndex(index);
    exec();
    return true;
}

int OptionsDialog::currentPage() const
{
    return m_ui->pcOptions->currentIndex();
}

void OptionsDialog::accept()
{
    // The dialog closes first, so a failing save still closes it.
    QDialog::accept();
    runCommand(m_desktop, this, [this] {
        saveSettings(m_session.settingsFile(), m_settings, [] {
            return toWindows1252(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
        });
    });
}

void OptionsDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (currentPage() == DatabasePage)
        updateConnectionStatus();
}

// ------------------------------------------------------ handlers

void OptionsDialog::chkMultiPageClick()
{
    const bool on = m_ui->chkMultiPage->isChecked();
    m_settings.multiPage = on;
    m_ui->intRowsPerPage->setEnabled(on);
    m_ui->ttlRowsPerPage->setEnabled(on);
}

void OptionsDialog::chkUseProxyClick()
{
    const bool on = m_ui->chkUseProxy->isChecked();
    m_settings.useProxy = on;
    enableTransferControls();
}

void OptionsDialog::cmbProtocolChange()
{
    m_settings.protocol = m_ui->cmbProtocol->currentIndex() == 1 ? UploadProtocol::Sftp : UploadProtocol::Ftp;
    enableTransferControls();
}

void OptionsDialog::enableTransferControls()
{
    const bool ftp = m_settings.protocol == UploadProtocol::Ftp;
    const bool proxy = ftp && m_settings.useProxy;
    for (QWidget *control : std::initializer_list<QWidget *>{m_ui->txtProxyServer, m_ui->ttlProxyServer,
                                                             m_ui->txtProxyPort, m_ui->ttlProxyPort})
        control->setEnabled(proxy);
    for (QWidget *control : std::initializer_list<QWidget *>{m_ui->chkUseProxy, m_ui->chkPassive,
                                                             m_ui->lblEncryption, m_ui->cmbEncryption})
        control->setEnabled(ftp);
}

void OptionsDialog::btnFtpTestClick()
{
    m_ui->btnFtpTest->setEnabled(false);
    showFtpStatus(u"Verbindung wird getestet ..."_s, palette().color(QPalette::WindowText));
    // The waits keep the dialog running; the values typed meanwhile belong
    // to the next test.
    const Settings tested = m_settings;
    setEventPump([] { QCoreApplication::processEvents(); });
    const ConnectionTest::Result result = m_connectionTest.run(tested);
    setEventPump({});
    m_ui->btnFtpTest->setEnabled(true);
    if (result.ok)
        showFtpStatus(u"Verbindung in Ordnung"_s, connectedColor);
    else
        showFtpStatus(fromWindows1252(result.failedStep + "\n" + result.message), notConnectedColor);
}

void OptionsDialog::showFtpStatus(const QString &text, const QColor &colour)
{
    m_ui->lblFtpStatus->setText(text);
    // Its own style sheet, as the page's sets the colour of every label.
    m_ui->lblFtpStatus->setStyleSheet(u"color: %1;"_s.arg(colour.name()));
}

QString OptionsDialog::ftpStatusText() const
{
    return m_ui->lblFtpStatus->text();
}

QColor OptionsDialog::ftpStatusColor() const
{
    m_ui->lblFtpStatus->ensurePolished();
    return m_ui->lblFtpStatus->palette().color(QPalette::WindowText);
}

bool OptionsDialog::acceptChosenPath(QLineEdit *field, const QString &path)
{
    if (!checkWindows1252Path(m_desktop, this, path))
        return false;
    field->setText(path);
    return true;
}

void OptionsDialog::btnTemplateClick()
{
    chooseTemplate(m_ui->txtTemplate);
}

void OptionsDialog::chooseTemplate(QLineEdit *field)
{
    Desktop::OpenFileRequest request;
    request.title = u"Template-Datei öffnen"_s;
    request.filters = {{u"Alle Dateien (*.*)"_s, u"*.*"_s}, {u"Template-Dateien (*.templ)"_s, u"*.templ"_s}};
    request.selectedFilter = 1;
    request.defaultExtension = u"*.templ"_s;
    request.fileName = field->text();
    if (const std::optional<QString> file = m_desktop.openFileName(this, request))
        acceptChosenPath(field, *file);
}

void OptionsDialog::btnOutputClick()
{
    Desktop::FolderRequest request;
    request.title = u"temp. Ausgabeverzeichnis"_s;
    request.folder = m_ui->txtOutput->text();
    if (const std::optional<QString> folder = m_desktop.folderName(this, request))
        acceptChosenPath(m_ui->txtOutput, *folder);
}

void OptionsDialog::btnConnectionClick()
{
    const QString result =
        ConnectionStringDialog::edit(m_desktop, fromWindows1252(m_settings.connectionString), this);
    if (!result.isEmpty()) {
        m_ui->txtConnectionString->setText(result);
        m_ui->txtConnectionString->setCursorPosition(0);
    }
    if (!m_session.connectDatabase(fromWindows1252(m_settings.connectionString)))
        m_desktop.errorMessage(this, u"Die Verbindung zur Datenbank konnte nicht hergestellt werden."_s);
    updateConnectionStatus();
}

void OptionsDialog::showVersionInfo()
{
    m_ui->txtVersion->setText(QString::fromLatin1(version::fileVersion));
    m_ui->txtLastCompiled->setText(QString::fromLatin1(version::buildTime));
}

void OptionsDialog::updateConnectionStatus()
{
    const bool connected = m_session.isConnected();
    m_ui->txtStatus->setText(connected ? u"connected"_s : u"not connected"_s);
    QPalette palette = m_ui->txtStatus->palette();
    palette.setColor(QPalette::WindowText, connected ? connectedColor : notConnectedColor);
    m_ui->txtStatus->setPalette(palette);
}

QColor OptionsDialog::statusColor() const
{
    return m_ui->txtStatus->palette().color(QPalette::WindowText);
}

void OptionsDialog::openMailLink()
{
    m_desktop.openUrl(QUrl(u"mailto:"_s + mailAddress));
}

void OptionsDialog::copyMailLink()
{
    QGuiApplication::clipboard()->setText(u"mailto:"_s + mailAddress);
}

void OptionsDialog::showMailMenu(const QPoint &position)
{
    QMenu menu(this);
    connect(menu.addAction(u"&Jump to URL"_s), &QAction::triggered, this, &OptionsDialog::openMailLink);
    connect(menu.addAction(u"&Copy URL"_s), &QAction::triggered, this, &OptionsDialog::copyMailLink);
    menu.exec(m_ui->lblMail->mapToGlobal(position));
}

} // namespace kaviro
