#include "settings/connectionstringdialog.h"

#include "ui_connectionstringdialog.h"

#include "desktop/desktop.h"
#include "desktop/labels.h"
#include "common/error.h"
#include "store/dbconnection.h"
#include "store/listingdatabase.h"
#include "store/windows1252.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpressionValidator>
#include <QSqlDatabase>
#include <QValidator>

#include <optional>

using namespace Qt::StringLiterals;

namespace kaviro {

namespace {

class Windows1252Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        return isWindows1252(input) ? Acceptable : Invalid;
    }
};

// The keys a field is written under, the first for a new string; the others
// are the spellings the store reads too, in its order.
const QStringList sqliteFileKeys{u"Data Source"_s, u"Database"_s};
const QStringList hostKeys{u"Data Source"_s, u"Server"_s, u"Host"_s};
const QStringList portKeys{u"Port"_s};
const QStringList databaseKeys{u"Initial Catalog"_s, u"Database"_s};
const QStringList serverUserKeys{u"User ID"_s, u"UID"_s, u"User"_s};
const QStringList odbcUserKeys{u"User ID"_s, u"UID"_s};
const QStringList passwordKeys{u"Password"_s, u"PWD"_s};
const QStringList dsnKeys{u"DSN"_s};

QString firstValue(const ConnectionString &connection, const QStringList &keys)
{
    for (const QString &key : keys) {
        if (connection.contains(key))
            return connection.value(key);
    }
    return {};
}

// Writes the value under the spelling the string already uses (or the first
// key) and drops the other spellings, so that no stale value shadows it. An
// empty value removes the key.
void setKey(ConnectionString &connection, const QStringList &keys, const QString &value)
{
    QString kept;
    for (const QString &key : keys) {
        if (kept.isEmpty() && connection.contains(key) && !value.isEmpty())
            kept = key;
        else
            connection.remove(key);
    }
    if (!value.isEmpty())
        connection.setValue(kept.isEmpty() ? keys.first() : kept, value);
}

std::optional<Provider> providerOf(const ConnectionString &connection)
{
    try {
        return driverSettings(connection).provider;
    } catch (const Error &) {
        // A string without its file or server still names its provider.
        const QString name = ConnectionString::normalizedKey(connection.value(u"Provider"_s));
        for (Provider provider : {Provider::SQLite, Provider::PostgreSQL, Provider::MySQL, Provider::ODBC}) {
            if (name == ConnectionString::normalizedKey(providerName(provider)))
                return provider;
        }
        return std::nullopt;
    }
}

const QString testCaption = u"Verbindung testen"_s;
const QString noFileText = u"Bitte geben Sie die Datenbankdatei an."_s;

} // namespace

void restrictToWindows1252(QLineEdit *field)
{
    field->setValidator(new Windows1252Validator(field));
}

bool checkWindows1252Path(Desktop &desktop, QWidget *parent, const QString &path)
{
    if (isWindows1252(path))
        return true;
    desktop.errorMessage(parent, u"Der Pfad \"%1\" enthält Zeichen, die in der Einstellungsdatei nicht "
                                 "gespeichert werden können.\rBitte wählen Sie einen anderen Ort."_s.arg(path));
    return false;
}

const QString ConnectionStringDialog::newFileBaseName = u"wohnungen"_s;

ConnectionStringDialog::ConnectionStringDialog(Desktop &desktop, const QString &connectionString,
                                               QWidget *parent)
    : QDialog(parent), m_desktop(desktop), m_ui(std::make_unique<Ui::ConnectionStringDialog>())
{
    m_ui->setupUi(this);
    letLabelsPassClicks(this);
    m_ui->cmbProvider->addItem(u"SQLite-Datei"_s, int(Provider::SQLite));
    m_ui->cmbProvider->addItem(u"PostgreSQL-Server"_s, int(Provider::PostgreSQL));
    m_ui->cmbProvider->addItem(u"MySQL- oder MariaDB-Server"_s, int(Provider::MySQL));
    m_ui->cmbProvider->addItem(u"ODBC-Datenquelle"_s, int(Provider::ODBC));
    for (QLineEdit *field : {m_ui->txtFile, m_ui->txtHost, m_ui->txtDatabaseName, m_ui->txtDsn,
                             m_ui->txtUser, m_ui->txtPassword})
        restrictToWindows1252(field);
    m_ui->txtPort->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"[0-9]{0,5}"_s), m_ui->txtPort));
    m_ui->lblWarning->hide();

    connect(m_ui->cmbProvider, &QComboBox::currentIndexChanged, this, &ConnectionStringDialog::providerChanged);
    for (QLineEdit *field : {m_ui->txtFile, m_ui->txtHost, m_ui->txtPort, m_ui->txtDatabaseName,
                             m_ui->txtDsn, m_ui->txtUser, m_ui->txtPassword})
        connect(field, &QLineEdit::textChanged, this, &ConnectionStringDialog::updatePreview);
    connect(m_ui->btnFile, &QPushButton::clicked, this, &ConnectionStringDialog::btnFileClick);
    connect(m_ui->btnNewFile, &QPushButton::clicked, this, &ConnectionStringDialog::btnNewFileClick);
    connect(m_ui->btnTest, &QPushButton::clicked, this, &ConnectionStringDialog::btnTestClick);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &ConnectionStringDialog::accept);
    connect(m_ui->btnAbort, &QPushButton::clicked, this, &ConnectionStringDialog::reject);

    showConnectionString(connectionString);
    providerChanged();
}

ConnectionStringDialog::~ConnectionStringDialog() = default;

QString ConnectionStringDialog::edit(Desktop &desktop, const QString &connectionString, QWidget *parent)
{
    ConnectionStringDialog dialog(desktop, connectionString, parent);
    if (dialog.exec() == QDialog::Accepted)
        return dialog.connectionString();
    return connectionString;
}

void ConnectionStringDialog::showConnectionString(const QString &text)
{
    if (text.trimmed().isEmpty())
        return;
    const auto warn = [this](const QString &why) {
        m_ui->lblWarning->setText(why + u" Mit OK wird er durch die Angaben unten ersetzt."_s);
        m_ui->lblWarning->show();
    };
    try {
        m_given = ConnectionString::parse(text);
    } catch (const Error &error) {
        warn(exceptionText(error));
        return;
    }
    const std::optional<Provider> provider = providerOf(m_given);
    if (!provider) {
        warn(u"Der bisherige Connection String nennt keinen bekannten Provider."_s);
        return;
    }
    m_givenProvider = *provider;
    m_givenRead = true;
    m_ui->cmbProvider->setCurrentIndex(m_ui->cmbProvider->findData(int(*provider)));
    if (*provider == Provider::SQLite) {
        m_ui->txtFile->setText(firstValue(m_given, sqliteFileKeys));
    } else if (*provider == Provider::ODBC) {
        m_ui->txtDsn->setText(firstValue(m_given, dsnKeys));
        m_ui->txtUser->setText(firstValue(m_given, odbcUserKeys));
    } else {
        m_ui->txtHost->setText(firstValue(m_given, hostKeys));
        m_ui->txtPort->setText(firstValue(m_given, portKeys));
        m_ui->txtDatabaseName->setText(firstValue(m_given, databaseKeys));
        m_ui->txtUser->setText(firstValue(m_given, serverUserKeys));
    }
    if (*provider != Provider::SQLite)
        m_ui->txtPassword->setText(firstValue(m_given, passwordKeys));
}

Provider ConnectionStringDialog::provider() const
{
    return Provider(m_ui->cmbProvider->currentData().toInt());
}

QString ConnectionStringDialog::sqliteFile() const
{
    return m_ui->txtFile->text().trimmed();
}

QString ConnectionStringDialog::connectionString() const
{
    const Provider provider = this->provider();
    ConnectionString connection = m_givenRead && provider == m_givenProvider ? m_given : ConnectionString();
    connection.setValue(u"Provider"_s, providerName(provider));
    switch (provider) {
    case Provider::SQLite:
        setKey(connection, sqliteFileKeys, sqliteFile());
        break;
    case Provider::PostgreSQL:
    case Provider::MySQL:
        setKey(connection, hostKeys, m_ui->txtHost->text().trimmed());
        setKey(connection, portKeys, m_ui->txtPort->text().trimmed());
        setKey(connection, databaseKeys, m_ui->txtDatabaseName->text().trimmed());
        setKey(connection, serverUserKeys, m_ui->txtUser->text().trimmed());
        setKey(connection, passwordKeys, m_ui->txtPassword->text());
        break;
    case Provider::ODBC:
        setKey(connection, dsnKeys, m_ui->txtDsn->text().trimmed());
        setKey(connection, odbcUserKeys, m_ui->txtUser->text().trimmed());
        setKey(connection, passwordKeys, m_ui->txtPassword->text());
        break;
    }
    return connection.toString();
}

void ConnectionStringDialog::providerChanged()
{
    const Provider provider = this->provider();
    const bool sqlite = provider == Provider::SQLite;
    const bool server = provider == Provider::PostgreSQL || provider == Provider::MySQL;
    QFormLayout *form = m_ui->layFields;
    form->setRowVisible(m_ui->pnlFile, sqlite);
    form->setRowVisible(m_ui->txtHost, server);
    form->setRowVisible(m_ui->txtPort, server);
    form->setRowVisible(m_ui->txtDatabaseName, server);
    form->setRowVisible(m_ui->txtDsn, provider == Provider::ODBC);
    form->setRowVisible(m_ui->txtUser, !sqlite);
    form->setRowVisible(m_ui->txtPassword, !sqlite);
    m_ui->txtPort->setPlaceholderText(provider == Provider::MySQL ? u"3306"_s : u"5432"_s);
    updatePreview();
}

void ConnectionStringDialog::updatePreview()
{
    // The password stays hidden here as it is in its own field.
    QString shown = connectionString();
    const QString password = m_ui->txtPassword->text();
    if (provider() != Provider::SQLite && !password.isEmpty()) {
        ConnectionString masked = ConnectionString::parse(shown);
        setKey(masked, passwordKeys, u"****"_s);
        shown = masked.toString();
    }
    m_ui->txtPreview->setText(shown);
    m_ui->txtPreview->setCursorPosition(0);
}

void ConnectionStringDialog::btnFileClick()
{
    Desktop::OpenFileRequest request;
    request.title = u"Datenbankdatei öffnen"_s;
    request.filters = {{u"SQLite-Datenbanken (*.db;*.sqlite;*.sqlite3)"_s, u"*.db;*.sqlite;*.sqlite3"_s},
                       {u"Alle Dateien (*.*)"_s, u"*.*"_s}};
    request.selectedFilter = 0;
    request.defaultExtension = u"db"_s;
    request.fileName = sqliteFile();
    const std::optional<QString> file = m_desktop.openFileName(this, request);
    if (file && checkWindows1252Path(m_desktop, this, *file))
        m_ui->txtFile->setText(*file);
}

void ConnectionStringDialog::btnNewFileClick()
{
    const QString current = sqliteFile();
    Desktop::FolderRequest request;
    request.title = u"Ordner für die neue Datenbank"_s;
    request.folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const std::optional<QString> folder = m_desktop.folderName(this, request);
    if (!folder)
        return;
    // A free name, so that no existing database is touched.
    const QDir dir(*folder);
    QString path = dir.absoluteFilePath(newFileBaseName + u".db"_s);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.absoluteFilePath(u"%1-%2.db"_s.arg(newFileBaseName).arg(n));
    if (!checkWindows1252Path(m_desktop, this, path) || !createDatabase(path))
        return;
    m_ui->txtFile->setText(path);
    m_desktop.messageBox(this, u"Neue Datenbank"_s,
                         u"Die neue Datenbank \"%1\" mit der Tabelle Wohnungen wurde angelegt."_s.arg(path),
                         QMessageBox::Ok, QMessageBox::Information);
}

bool ConnectionStringDialog::createDatabase(const QString &path)
{
    try {
        createSqliteDatabase(path, m_ui->chkDemoListings->isChecked());
        return true;
    } catch (const std::exception &error) {
        m_desktop.errorMessage(this, exceptionText(error));
        return false;
    }
}

void ConnectionStringDialog::btnTestClick()
{
    if (provider() == Provider::SQLite && sqliteFile().isEmpty()) {
        m_desktop.errorMessage(this, noFileText);
        return;
    }
    DbConnection probe;
    try {
        probe.setConnectionString(connectionString());
        probe.setConnected(true);
    } catch (const std::exception &error) {
        m_desktop.messageBox(this, testCaption,
                             u"Die Verbindung konnte nicht hergestellt werden:\r"_s + exceptionText(error),
                             QMessageBox::Ok, QMessageBox::Critical);
        return;
    }
    bool hasTable = false;
    for (const QString &table : probe.database().tables())
        hasTable = hasTable || table.compare(u"Wohnungen"_s, Qt::CaseInsensitive) == 0;
    if (hasTable)
        m_desktop.messageBox(this, testCaption, u"Die Verbindung wurde erfolgreich hergestellt."_s,
                             QMessageBox::Ok, QMessageBox::Information);
    else
        m_desktop.messageBox(this, testCaption,
                             u"Die Verbindung wurde hergestellt, aber die Datenbank enthält keine "
                             "Tabelle Wohnungen."_s,
                             QMessageBox::Ok, QMessageBox::Warning);
}

void ConnectionStringDialog::accept()
{
    if (provider() == Provider::SQLite) {
        if (sqliteFile().isEmpty()) {
            m_desktop.errorMessage(this, noFileText);
            return;
        }
        // The settings outlive the working folder the program was started in.
        const QFileInfo file(sqliteFile());
        if (file.absoluteFilePath() != sqliteFile())
            m_ui->txtFile->setText(file.absoluteFilePath());
        if (file.isDir()) {
            m_desktop.errorMessage(this, u"\"%1\" ist ein Ordner, keine Datenbankdatei."_s.arg(sqliteFile()));
            return;
        }
        if (!file.exists()) {
            const auto answer = m_desktop.messageBox(
                this, u"Neue Datenbank"_s,
                u"Die Datei \"%1\" gibt es noch nicht.\rSoll sie als neue Datenbank mit der Tabelle "
                "Wohnungen angelegt werden?"_s.arg(sqliteFile()),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Question);
            if (answer != QMessageBox::Yes || !createDatabase(sqliteFile()))
                return;
        }
    }
    QDialog::accept();
}

} // namespace kaviro
