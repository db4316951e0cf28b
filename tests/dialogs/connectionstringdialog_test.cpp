#include "settings/connectionstringdialog.h"
#include "store/listingdatabase.h"
#include "tests/dialogs/dialogtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace kaviro {
namespace {

using test::child;
using test::whenModal;

class ConnectionStringDialogTest : public test::DialogFixture {
protected:
    // Runs the dialog on `given` as the options dialog does; `inDialog`
    // works it while it is up.
    QString edit(const QString &given, std::function<void(ConnectionStringDialog *)> inDialog)
    {
        whenModal<ConnectionStringDialog>(std::move(inDialog));
        return ConnectionStringDialog::edit(desktop, given);
    }

    static void ok(ConnectionStringDialog *dialog)
    {
        QTest::mouseClick(child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
    }
    static void cancel(ConnectionStringDialog *dialog)
    {
        QTest::mouseClick(child<QPushButton>(dialog, "btnAbort"), Qt::LeftButton);
    }
    static QLineEdit *line(ConnectionStringDialog *dialog, const char *name)
    {
        return child<QLineEdit>(dialog, name);
    }
    static void chooseProvider(ConnectionStringDialog *dialog, Provider provider)
    {
        auto *box = child<QComboBox>(dialog, "cmbProvider");
        box->setCurrentIndex(box->findData(int(provider)));
    }
};

TEST_F(ConnectionStringDialogTest, ReturnsTheNewStringTheGivenOneOnCancelAndEmptyForACancelledNewOne)
{
    const QString existing = path(u"da.db"_s);
    createSqliteDatabase(existing, false);
    const QString given = u"Provider=SQLite;Data Source="_s + existing;

    EXPECT_EQ(edit(QString(), cancel), QString());
    EXPECT_EQ(edit(given, [](ConnectionStringDialog *dialog) {
                  line(dialog, "txtFile")->setText(u"/woanders.db"_s);
                  cancel(dialog);
              }),
              given);

    const QString other = path(u"anders.db"_s);
    createSqliteDatabase(other, false);
    EXPECT_EQ(edit(given, [&](ConnectionStringDialog *dialog) {
                  EXPECT_EQ(line(dialog, "txtFile")->text(), existing);
                  line(dialog, "txtFile")->setText(other);
                  ok(dialog);
              }),
              u"Provider=SQLite;Data Source="_s + other);
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(ConnectionStringDialogTest, ServerFieldsRoundTripAndUnknownKeysStay)
{
    const QString given =
        u"Provider=PostgreSQL;Server=db.example;Port=5433;Database=kaviro;UID=makler;PWD=\"ge;heim\";sslmode=require"_s;
    const QString result = edit(given, [](ConnectionStringDialog *dialog) {
        EXPECT_EQ(child<QComboBox>(dialog, "cmbProvider")->currentData().toInt(), int(Provider::PostgreSQL));
        EXPECT_EQ(line(dialog, "txtHost")->text(), u"db.example"_s);
        EXPECT_EQ(line(dialog, "txtPort")->text(), u"5433"_s);
        EXPECT_EQ(line(dialog, "txtDatabaseName")->text(), u"kaviro"_s);
        EXPECT_EQ(line(dialog, "txtUser")->text(), u"makler"_s);
        EXPECT_EQ(line(dialog, "txtPassword")->text(), u"ge;heim"_s);
        EXPECT_FALSE(line(dialog, "txtFile")->isVisible());
        EXPECT_FALSE(line(dialog, "txtPreview")->text().contains(u"heim"_s));
        line(dialog, "txtHost")->setText(u"db2.example"_s);
        line(dialog, "txtPort")->clear();
        dialog->grab().save(test::artifactPath(u"connectionstring-server.png"_s));
        ok(dialog);
    });
    EXPECT_EQ(result,
              u"Provider=PostgreSQL;Server=db2.example;Database=kaviro;UID=makler;PWD=\"ge;heim\";sslmode=require"_s);

    // Another provider starts a string of its own.
    EXPECT_EQ(edit(given, [](ConnectionStringDialog *dialog) {
                  chooseProvider(dialog, Provider::ODBC);
                  line(dialog, "txtDsn")->setText(u"Wohnungen"_s);
                  ok(dialog);
              }),
              u"Provider=ODBC;DSN=Wohnungen;User ID=makler;Password=\"ge;heim\""_s);
}

TEST_F(ConnectionStringDialogTest, UnreadableStringIsNamedAndReplacedOnlyOnOk)
{
    const QString broken = u"Provider=Oracle;Data Source=x"_s;
    const QString file = path(u"neu.db"_s);
    desktop.buttonAnswers = {QMessageBox::Yes};
    const QString result = edit(broken, [&](ConnectionStringDialog *dialog) {
        auto *warning = child<QLabel>(dialog, "lblWarning");
        EXPECT_TRUE(warning->isVisible());
        EXPECT_TRUE(warning->text().contains(u"Provider"_s)) << warning->text().toStdString();
        line(dialog, "txtFile")->setText(file);
        ok(dialog);
    });
    EXPECT_EQ(result, u"Provider=SQLite;Data Source="_s + file);
    EXPECT_EQ(edit(broken, cancel), broken);
}

TEST_F(ConnectionStringDialogTest, NewSqliteFileIsCreatedOnlyWhenTheUserAgrees)
{
    const QString file = path(u"neu.db"_s);
    desktop.buttonAnswers = {QMessageBox::No};
    bool stillOpen = false;
    edit(QString(), [&](ConnectionStringDialog *dialog) {
        line(dialog, "txtFile")->setText(file);
        ok(dialog);
        stillOpen = dialog->isVisible();
        // Neither a folder nor an empty name is a database file.
        line(dialog, "txtFile")->setText(path(QString()));
        ok(dialog);
        line(dialog, "txtFile")->clear();
        ok(dialog);
        stillOpen = stillOpen && dialog->isVisible();
        cancel(dialog);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(QFile::exists(file));
    const auto boxes = desktop.messageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, u"Die Datei \"%1\" gibt es noch nicht.\rSoll sie als neue Datenbank mit der "
                             "Tabelle Wohnungen angelegt werden?"_s.arg(file));
    EXPECT_TRUE(boxes[1].text.endsWith(u"ist ein Ordner, keine Datenbankdatei."_s));
    EXPECT_EQ(boxes[2].text, u"Bitte geben Sie die Datenbankdatei an."_s);
}

TEST_F(ConnectionStringDialogTest, NewDatabaseButtonCreatesAFreeNameInTheChosenFolder)
{
    createSqliteDatabase(path(u"wohnungen.db"_s), false);
    desktop.folderAnswers = {path(QString())};
    const QString result = edit(QString(), [&](ConnectionStringDialog *dialog) {
        child<QCheckBox>(dialog, "chkDemoListings")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(dialog, "btnNewFile"), Qt::LeftButton);
        ok(dialog);
    });
    const QString created = path(u"wohnungen-2.db"_s);
    EXPECT_EQ(result, u"Provider=SQLite;Data Source="_s + created);
    ASSERT_EQ(desktop.calls.size(), 2u);
    EXPECT_EQ(desktop.calls[0].folder.title, u"Ordner für die neue Datenbank"_s);
    EXPECT_EQ(desktop.calls[1].text,
              u"Die neue Datenbank \"%1\" mit der Tabelle Wohnungen wurde angelegt."_s.arg(created));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check-demo"_s);
        db.setDatabaseName(created);
        ASSERT_TRUE(db.open());
        QSqlQuery count(u"SELECT COUNT(*) FROM \"Wohnungen\""_s, db);
        ASSERT_TRUE(count.next());
        EXPECT_GT(count.value(0).toInt(), 0);
    }
    QSqlDatabase::removeDatabase(u"check-demo"_s);
}

TEST_F(ConnectionStringDialogTest, TestButtonSaysHowTheConnectionWent)
{
    const QString good = path(u"gut.db"_s);
    createSqliteDatabase(good, false);
    const QString empty = path(u"leer.db"_s);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"make-empty"_s);
        db.setDatabaseName(empty);
        ASSERT_TRUE(db.open());
        QSqlQuery(u"CREATE TABLE andere (x INTEGER)"_s, db);
    }
    QSqlDatabase::removeDatabase(u"make-empty"_s);

    const struct {
        QString file;
        QMessageBox::Icon icon;
        QString text;
    } cases[] = {
        {good, QMessageBox::Information, u"Die Verbindung wurde erfolgreich hergestellt."_s},
        {empty, QMessageBox::Warning,
         u"Die Verbindung wurde hergestellt, aber die Datenbank enthält keine Tabelle Wohnungen."_s},
        {path(u"fehlt.db"_s), QMessageBox::Critical, u"Die Verbindung konnte nicht hergestellt werden:\r"_s},
    };
    edit(QString(), [&](ConnectionStringDialog *dialog) {
        for (const auto &c : cases) {
            line(dialog, "txtFile")->setText(c.file);
            QTest::mouseClick(child<QPushButton>(dialog, "btnTest"), Qt::LeftButton);
        }
        dialog->grab().save(test::artifactPath(u"connectionstring-sqlite.png"_s));
        cancel(dialog);
    });
    const auto boxes = desktop.messageBoxes();
    ASSERT_EQ(boxes.size(), std::size(cases));
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].caption, u"Verbindung testen"_s);
        EXPECT_EQ(boxes[i].icon, cases[i].icon);
        EXPECT_TRUE(boxes[i].text.startsWith(cases[i].text)) << boxes[i].text.toStdString();
    }
    EXPECT_TRUE(boxes[2].text.contains(u"fehlt.db"_s));
    // Testing never creates the file.
    EXPECT_FALSE(QFile::exists(path(u"fehlt.db"_s)));
}

TEST_F(ConnectionStringDialogTest, ChosenFileFillsTheField)
{
    desktop.fileAnswers = {path(u"gewählt.db"_s)};
    const QString result = edit(u"Provider=SQLite;Data Source=/alt/liste.db"_s, [&](ConnectionStringDialog *dialog) {
        QTest::mouseClick(child<QPushButton>(dialog, "btnFile"), Qt::LeftButton);
        EXPECT_EQ(line(dialog, "txtFile")->text(), path(u"gewählt.db"_s));
        EXPECT_EQ(dialog->connectionString(), u"Provider=SQLite;Data Source="_s + path(u"gewählt.db"_s));
        cancel(dialog);
    });
    EXPECT_EQ(result, u"Provider=SQLite;Data Source=/alt/liste.db"_s);
    ASSERT_EQ(desktop.calls.size(), 1u);
    EXPECT_EQ(desktop.calls[0].openFile.fileName, u"/alt/liste.db"_s);
    EXPECT_EQ(desktop.calls[0].openFile.title, u"Datenbankdatei öffnen"_s);
}

} // namespace
} // namespace kaviro
