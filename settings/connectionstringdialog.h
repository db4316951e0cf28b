#pragma once

#include "store/connectionstring.h"

#include <QDialog>
#include <QString>

#include <memory>

class QLineEdit;
class QWidget;

namespace Ui {
class ConnectionStringDialog;
}

namespace kaviro {

class Desktop;

// Helpers the settings dialogs share.
//
// The settings file holds Windows-1252 text. A field limited by this keeps
// out characters the code page cannot hold: the character is refused as it
// is typed or pasted, instead of turning into a character reference in the
// file.
void restrictToWindows1252(QLineEdit *field);
// True when a path chosen in a file or folder dialog fits the settings file;
// otherwise tells the user so and returns false.
bool checkWindows1252Path(Desktop &desktop, QWidget *parent, const QString &path);

// Builds or edits a database connection string ("Provider=SQLite;Data
// Source=..." and so on): the provider, an SQLite file (chosen, or created
// with the table Wohnungen) or a server's host, port, database, user and
// password, or an ODBC data source; with a button that tries the
// connection. Keys of the given string that the dialog has no field for are
// kept as long as the provider stays the same.
class ConnectionStringDialog : public QDialog {
    Q_OBJECT
public:
    ConnectionStringDialog(Desktop &desktop, const QString &connectionString, QWidget *parent = nullptr);
    ~ConnectionStringDialog() override;

    // Runs the dialog on the given string, which may be empty (a new
    // definition). Returns the string built when the user confirms, the
    // given string when the user cancels: so a cancelled new definition
    // gives empty text.
    static QString edit(Desktop &desktop, const QString &connectionString, QWidget *parent = nullptr);

    // The connection string the fields describe now.
    QString connectionString() const;
    Provider provider() const;

    void btnFileClick();
    void btnNewFileClick();
    // "Verbindung testen": connects with the string the fields describe,
    // through a connection of its own, and says how it went.
    void btnTestClick();

    static const QString newFileBaseName;

protected:
    // Refuses an SQLite file name that is empty or a folder; offers to
    // create a file that does not exist yet, with the table Wohnungen.
    void accept() override;

private:
    void showConnectionString(const QString &text);
    void providerChanged();
    void updatePreview();
    QString sqliteFile() const;
    // Creates the SQLite file with the table Wohnungen; false (after a
    // message) when that fails.
    bool createDatabase(const QString &path);

    Desktop &m_desktop;
    std::unique_ptr<Ui::ConnectionStringDialog> m_ui;
    // The given string, as far as it could be read, and its provider.
    ConnectionString m_given;
    Provider m_givenProvider = Provider::SQLite;
    bool m_givenRead = false;
};

} // namespace kaviro
