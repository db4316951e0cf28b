#include "app/desktopprogram.h"
#include "app/editors.h"
#include "app/listinggrid.h"
#include "app/mainwindow.h"
#include "app/recordnavigator.h"
#include "common/error.h"
#include "publish/uploaddialog.h"
#include "settings/inifile.h"
#include "settings/optionsdialog.h"
#include "settings/passwordcipher.h"
#include "store/datamodule.h"
#include "store/listingdatabase.h"
#include "store/windows1252.h"
#include "tests/support/guitest.h"
#include "tests/support/scripteddesktop.h"
#include "tests/app/programfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <set>

using namespace Qt::StringLiterals;

namespace kaviro {
namespace {

const QString connectionFailed = u"Die Verbindung zur Datenbank konnte nicht hergestellt werden.\r"
                                 "Prüfen Sie die Einstellung in den Datenbankoptionen."_s;
const QString tableFailed = u"Die Verbindung zu den Tabellen der Datenbank konnte nicht hergestellt werden.\r"
                            "Prüfen Sie die Einstellung in den Datenbankoptionen."_s;
const QString generatedQuestion = u"Die HTML-Seiten wurden erzeugt.\r\n\r\nWollen Sie sie ansehen ?"_s;

using test::MainWindowTest;
using test::Program;
using test::sortItems;
using test::Workspace;

// ------------------------------------------------------------------ start-up

TEST_F(MainWindowTest, CaptionNamesTheProductVersion)
{
    Program program(m_ws.settingsFile);
    EXPECT_EQ(program.window->windowTitle(), u"Kaviro - 1.0"_s);
    EXPECT_EQ(windowCaption(u"Kaviro"_s, u"1.0"_s, u"1.0.0.11"_s), u"Kaviro - 1.0"_s);
    EXPECT_EQ(windowCaption(u"Kaviro"_s, QString(), u"1.0.0.11"_s), u"Kaviro - 1.0.0.11"_s);
}

TEST_F(MainWindowTest, StartUpPaths)
{
    enum class Setup { NoFile, NoKey, EmptyString, Refused, NoTable, Fixture, BadPassword };
    const auto wohnungAsc = std::set<std::string>{"miSortWohnung", "miSortAufsteigend"};
    std::string badPassword;
    try {
        decodePassword("zz");
    } catch (const Error &error) {
        badPassword = error.what();
    }
    ASSERT_FALSE(badPassword.empty());

    const struct {
        const char *name;
        Setup setup;
        QStringList events;
        bool open;
        QString sort;
        std::set<std::string> checked;
    } cases[] = {
        {"first start", Setup::NoFile, {u"options|2"_s}, false, QString(), {}},
        {"no connection key", Setup::NoKey, {}, false, u"Wohnung ASC"_s, wohnungAsc},
        {"empty connection string", Setup::EmptyString, {}, false, u"Wohnung ASC"_s, wohnungAsc},
        {"connection refused", Setup::Refused, {u"Fehler !|"_s + connectionFailed, u"options|2"_s}, false,
         u"Wohnung ASC"_s, wohnungAsc},
        {"no listing table", Setup::NoTable, {u"Fehler !|"_s + tableFailed}, false, u"Wohnung ASC"_s,
         wohnungAsc},
        {"normal start", Setup::Fixture, {}, true, u"Wohnung ASC"_s, wohnungAsc},
        // Reported, and the listings open all the same.
        {"undecodable password", Setup::BadPassword,
         {u"kaviro_app_tests|"_s + fromWindows1252(defaultErrorText(badPassword))}, true, u"Wohnung ASC"_s,
         wohnungAsc},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        IniFile ini(ws.settingsFile.toStdString());
        switch (c.setup) {
        case Setup::NoFile:
            break;
        case Setup::NoKey:
            ini.writeString("Template", "Output", "");
            break;
        case Setup::EmptyString:
            ini.writeString("Database", "ConnectionString", "");
            break;
        case Setup::Refused: {
            // A folder that is a regular file: no database can be made there.
            QFile blocker(ws.path(u"kein-ordner"_s));
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
            ini.writeString("Database", "ConnectionString",
                            toWindows1252(u"Provider=SQLite;Data Source="_s + ws.path(u"kein-ordner/x.db"_s)));
            break;
        }
        case Setup::NoTable: {
            const QString file = ws.path(u"leer.db"_s);
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"setup"_s);
                db.setDatabaseName(file);
                ASSERT_TRUE(db.open());
                QSqlQuery(db).exec(u"CREATE TABLE Andere (x INTEGER)"_s);
            }
            QSqlDatabase::removeDatabase(u"setup"_s);
            ini.writeString("Database", "ConnectionString", toWindows1252(u"Provider=SQLite;Data Source="_s + file));
            break;
        }
        case Setup::Fixture:
            ws.writeSettings(ws.createDatabase());
            break;
        case Setup::BadPassword:
            ws.writeSettings(ws.createDatabase());
            ini.writeString("FTP", "Password", "zz");
            break;
        }
        Program program(ws.settingsFile);
        program.start();
        EXPECT_EQ(program.events, c.events);
        for (const auto &box : program.desktop.messageBoxes()) {
            EXPECT_EQ(box.buttons, QMessageBox::Ok);
            EXPECT_EQ(box.icon, QMessageBox::Critical);
        }
        EXPECT_EQ(program.table().isOpen(), c.open);
        EXPECT_EQ(program.table().sort(), c.sort);
        EXPECT_EQ(program.window->sortField() + u' ' + program.window->sortOrder(),
                  c.sort.isEmpty() ? u" "_s : c.sort);
        EXPECT_EQ(program.checkedSortItems(), c.checked);
        EXPECT_EQ(program.currentWohnung(), c.open ? u"Altbau Nord"_s : QString());
    }
}

// ------------------------------------------------------------------- sorting

TEST_F(MainWindowTest, SortMenuSetsOneHalfAndItsCheckMarks)
{
    const struct {
        std::vector<const char *> items;
        QString sort;
        std::set<std::string> checked;
        QString first;
    } cases[] = {
        {{"miSortAbsteigend"}, u"Wohnung DESC"_s, {"miSortWohnung", "miSortAbsteigend"}, u"Dachwohnung"_s},
        {{"miSortAktiv"}, u"Status ASC"_s, {"miSortAktiv", "miSortAufsteigend"}, u"Cityloft"_s},
        {{"miSortAktiv", "miSortAbsteigend"}, u"Status DESC"_s, {"miSortAktiv", "miSortAbsteigend"},
         u"Altbau Nord"_s},
        {{"miSortStrasse"}, u"Strasse ASC"_s, {"miSortStrasse", "miSortAufsteigend"}, u"Bungalow"_s},
        {{"miSortOrt", "miSortAbsteigend", "miSortAufsteigend"}, u"Ort ASC"_s, {"miSortOrt", "miSortAufsteigend"},
         u"Altbau Nord"_s},
        {{"miSortOrt", "miSortAbsteigend"}, u"Ort DESC"_s, {"miSortOrt", "miSortAbsteigend"}, u"Bungalow"_s},
        {{"miSortOrt", "miSortOrt"}, u"Ort ASC"_s, {"miSortOrt", "miSortAufsteigend"}, u"Altbau Nord"_s},
    };
    writeSettings(createDatabase());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sort.toStdString());
        auto program = startProgram();
        for (const char *item : c.items)
            program->trigger(item);
        EXPECT_EQ(program->table().sort(), c.sort);
        EXPECT_EQ(program->checkedSortItems(), c.checked);
        EXPECT_EQ(program->currentWohnung(), c.first);
        EXPECT_EQ(program->window->findChild<ListingGrid *>()->model()->index(0, 0).data().toString(), c.first);
        EXPECT_TRUE(program->events.isEmpty());
    }
}

TEST_F(MainWindowTest, SortChosenAfterFirstStartHasAnEmptyHalf)
{
    auto program = startProgram();
    program->trigger("miSortOrt");
    EXPECT_EQ(program->table().sort(), u"Ort "_s);
    EXPECT_EQ(program->checkedSortItems(), std::set<std::string>{"miSortOrt"});
    program->trigger("miSortAbsteigend");
    EXPECT_EQ(program->table().sort(), u"Ort DESC"_s);
}

// ------------------------------------------------------------ pending edits

TEST_F(MainWindowTest, PendingEditIsPostedBeforeCommandsThatReadOrReorder)
{
    writeSettings(createDatabase());
    // "close box" stands for closing the window other than by "Beenden".
    for (const char *command : {"miSortAbsteigend", "acGenerate", "acBeenden", "miSortAktiv", "close box"}) {
        SCOPED_TRACE(command);
        auto program = startProgram();
        program->desktop.buttonAnswers = {QMessageBox::Ok, QMessageBox::No};
        auto *wohnung = program->child<QLineEdit>("dbeWohnung");
        QTest::keyClicks(wohnung, u" neu"_s);
        EXPECT_EQ(program->table().state(), ListingTable::State::Edit);
        const bool closing = qstrcmp(command, "acBeenden") == 0 || qstrcmp(command, "close box") == 0;
        if (qstrcmp(command, "close box") == 0)
            program->window->close();
        else
            program->trigger(command);
        EXPECT_EQ(program->table().state(), ListingTable::State::Browse);
        EXPECT_EQ(dbValue(u"SELECT Wohnung FROM Wohnungen WHERE Id = 1"_s).toString(), u"Altbau Nord neu"_s);
        EXPECT_EQ(program->closed, closing);
        dbValue(u"UPDATE Wohnungen SET Wohnung = 'Altbau Nord' WHERE Id = 1"_s);
    }
}

// ---------------------------------------------------------------- publishing

TEST_F(MainWindowTest, GenerationAsksToShowAndEnablesTheProjectMenu)
{
    auto program = startOnFixture();
    auto *show = program->child<QAction>("acHTMLshow");
    auto *upload = program->child<QAction>("asFTPupload");
    program->openProjectMenu();
    EXPECT_FALSE(show->isEnabled());
    EXPECT_FALSE(upload->isEnabled());
    EXPECT_TRUE(program->child<QAction>("acGenerate")->isEnabled());

    // An unsaved change in the options dialog counts.
    const QString unsaved = path(u"anders"_s);
    QDir().mkpath(unsaved);
    program->session->settings().templateOutput = toWindows1252(unsaved);

    bool cursorRestored = false;
    program->desktop.onCall = [&](const test::DesktopCall &call) {
        if (call.kind == test::DesktopCall::Kind::MessageBox)
            cursorRestored = QGuiApplication::overrideCursor() == nullptr;
        program->events << (call.kind == test::DesktopCall::Kind::OpenUrl ? u"open|"_s + call.url.toLocalFile()
                                                                           : call.caption + u'|' + call.text);
    };
    program->desktop.buttonAnswers = {QMessageBox::No, QMessageBox::Yes};
    program->trigger("acGenerate");
    EXPECT_TRUE(cursorRestored);
    EXPECT_TRUE(QFile::exists(unsaved + u"/liste.html"_s));
    EXPECT_TRUE(program->window->generated());
    program->trigger("acGenerate");
    const QString firstPage = unsaved + u"/liste.html"_s;
    EXPECT_EQ(program->events,
              (QStringList{u"Information|"_s + generatedQuestion, u"Information|"_s + generatedQuestion,
                           u"open|"_s + firstPage}));
    const auto boxes = program->desktop.messageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);

    program->openProjectMenu();
    EXPECT_TRUE(show->isEnabled());
    EXPECT_TRUE(upload->isEnabled());
    program->events.clear();
    show->trigger();
    EXPECT_EQ(program->events, QStringList{u"open|"_s + firstPage});
}

TEST_F(MainWindowTest, GeneratingWithTheTableClosedSaysNoPagesWereWritten)
{
    writeSettings(QString());
    auto program = startProgram();
    program->trigger("acGenerate");
    EXPECT_EQ(program->events, QStringList{u"Fehler !|Es wurden keine HTML-Seiten erzeugt, weil keine Tabelle mit "
                                           "Wohnungen geöffnet ist.\rPrüfen Sie die Einstellung in den "
                                           "Datenbankoptionen."_s});
    ASSERT_EQ(program->desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(program->desktop.messageBoxes()[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(program->desktop.messageBoxes()[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(program->window->generated());
    EXPECT_FALSE(QFile::exists(path(u"out/liste.html"_s)));
    program->openProjectMenu();
    EXPECT_FALSE(program->child<QAction>("acHTMLshow")->isEnabled());
    EXPECT_FALSE(program->child<QAction>("asFTPupload")->isEnabled());
    program->child<QAction>("acHTMLshow")->trigger();
    EXPECT_TRUE(program->desktop.openedUrls().empty());
}

TEST_F(MainWindowTest, AMissingTemplateFileWritesNoPages)
{
    auto program = startOnFixture();
    const QString missing = path(u"fehlt.templ"_s);
    const QStringList error{u"Fehler !|Die Vorlagendatei \"%1\" wurde nicht gefunden.\rPrüfen Sie die Einstellung "
                            "auf der Seite \"Template\" der Optionen."_s.arg(missing)};
    program->session->settings().templateFilename = toWindows1252(missing);
    program->trigger("acGenerate");
    EXPECT_EQ(program->events, error);
    EXPECT_FALSE(program->window->generated());
    EXPECT_TRUE(QDir(path(u"out"_s)).isEmpty());

    // Once pages exist, a template gone since leaves them and their commands.
    program->session->settings().templateFilename = toWindows1252(path(u"liste.templ"_s));
    program->desktop.buttonAnswers = {QMessageBox::Ok, QMessageBox::No};
    program->trigger("acGenerate");
    ASSERT_TRUE(program->window->generated());
    ASSERT_TRUE(QFile::remove(path(u"liste.templ"_s)));
    program->session->settings().templateFilename = toWindows1252(path(u"liste.templ"_s));
    program->events.clear();
    program->trigger("acGenerate");
    EXPECT_EQ(program->events, QStringList{QString(error.first()).replace(u"fehlt.templ"_s, u"liste.templ"_s)});
    EXPECT_EQ(QDir(path(u"out"_s)).entryList(QDir::Files | QDir::Hidden),
              (QStringList{u".kaviro-pages"_s, u"liste.html"_s})); // the page and the generator's record of it
    program->openProjectMenu();
    EXPECT_TRUE(program->child<QAction>("acHTMLshow")->isEnabled());
}

TEST_F(MainWindowTest, AGenerationErrorReachesTheDefaultErrorBox)
{
    auto program = startOnFixture();
    // The output folder is a regular file: the page cannot be created.
    QFile blocker(path(u"blocker"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    program->session->settings().templateOutput = toWindows1252(path(u"blocker"_s));
    program->trigger("acGenerate");
    ASSERT_EQ(program->desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(program->desktop.messageBoxes()[0].caption, u"kaviro_app_tests"_s);
    EXPECT_TRUE(program->desktop.messageBoxes()[0].text.endsWith(u'.'));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(program->window->generated());
}

TEST_F(MainWindowTest, NumbersThatAreNoNumbersAreNamedAfterTheGeneration)
{
    writeSettings(createDatabase());
    dbValue(u"UPDATE Wohnungen SET Flaeche = 'gross', Miete = '12,50 EUR' WHERE Id = 1"_s);
    dbValue(u"UPDATE Wohnungen SET Nebenkosten = NULL WHERE Id = 4"_s); // empty: 0 without a word
    auto program = startProgram();
    program->desktop.buttonAnswers = {QMessageBox::Ok, QMessageBox::No};
    program->trigger("acGenerate");
    EXPECT_TRUE(QFile::exists(path(u"out/liste.html"_s)));
    const auto boxes = program->desktop.messageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, u"Warnung"_s);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes[0].text,
              u"Einige Werte in Zahlenfeldern sind keine Zahlen und wurden als 0 veröffentlicht:\r\n"
              "\r\nDie Wohnung \"Altbau Nord\" hat im Feld \"Flaeche\" keine Zahl (\"gross\"); auf den Seiten steht 0."
              "\r\nDie Wohnung \"Altbau Nord\" hat im Feld \"Miete\" keine Zahl (\"12,50 EUR\"); auf den Seiten steht 0."_s);
    EXPECT_EQ(boxes[1].text, generatedQuestion);
}

// ------------------------------------------------------------------ editing

TEST_F(MainWindowTest, NewListingIsStampedOnItsFirstSaveOnly)
{
    auto program = startOnFixture();
    QDateTime now(QDate(2025, 3, 4), QTime(5, 6, 7));
    program->data->setClock([&now] { return now; });

    program->click(RecordNavigator::Insert);
    EXPECT_EQ(program->table().state(), ListingTable::State::Insert);
    QTest::keyClicks(program->child<QLineEdit>("dbeWohnung"), u"Neubau"_s);
    program->click(RecordNavigator::Post);
    const QString stampSql = u"SELECT Timestamp FROM Wohnungen WHERE Wohnung = 'Neubau'"_s;
    EXPECT_EQ(ListingTable::toDateTime(dbValue(stampSql)), now);
    EXPECT_EQ(program->child<QLabel>("dbtTimestamp")->text(), u"04.03.25 05:06:07"_s);

    const QDateTime first = now;
    now = now.addDays(3);
    QTest::keyClicks(program->child<QLineEdit>("dbeOrt"), u"Kiel"_s);
    program->click(RecordNavigator::Post);
    EXPECT_EQ(dbValue(u"SELECT Ort FROM Wohnungen WHERE Wohnung = 'Neubau'"_s).toString(), u"Kiel"_s);
    EXPECT_EQ(ListingTable::toDateTime(dbValue(stampSql)), first);
}

TEST_F(MainWindowTest, CancelOrMovingOnDropsAnUntouchedNewListingAndMovingOnWritesATypedOne)
{
    auto program = startOnFixture();
    auto *grid = program->child<ListingGrid>("DBGrid1");
    const auto count = [this] { return dbValue(u"SELECT COUNT(*) FROM Wohnungen"_s).toInt(); };
    const std::function<void()> moves[] = {
        [&] { program->click(RecordNavigator::Cancel); },
        [&] { program->click(RecordNavigator::Next); },
        [&] { program->click(RecordNavigator::Last); },
        [&] { grid->setCurrentIndex(grid->model()->index(2, grid->columnOf("Ort"))); },
        [&] { program->click(RecordNavigator::Insert); },
    };
    for (const auto &move : moves) {
        program->click(RecordNavigator::First);
        program->click(RecordNavigator::Insert);
        ASSERT_EQ(program->table().state(), ListingTable::State::Insert);
        move();
        if (program->table().state() == ListingTable::State::Insert)
            program->click(RecordNavigator::Cancel);
        EXPECT_EQ(program->table().state(), ListingTable::State::Browse);
        EXPECT_EQ(count(), 4);
        EXPECT_EQ(grid->currentIndex().row(), program->table().currentRow());
    }
    program->click(RecordNavigator::First);
    program->click(RecordNavigator::Insert);
    program->click(RecordNavigator::Cancel);
    EXPECT_EQ(program->currentWohnung(), u"Altbau Nord"_s);
    program->click(RecordNavigator::Insert);
    QTest::keyClicks(program->child<QLineEdit>("dbeWohnung"), u"Neubau"_s);
    program->click(RecordNavigator::Next);
    EXPECT_EQ(count(), 5);
    EXPECT_EQ(dbValue(u"SELECT COUNT(*) FROM Wohnungen WHERE Wohnung = 'Neubau' AND Timestamp IS NOT NULL"_s).toInt(), 1);
    EXPECT_TRUE(program->desktop.messageBoxes().empty());
}

TEST_F(MainWindowTest, ClearingTheDateStoresAnEmptyColumn)
{
    auto program = startOnFixture();
    auto *date = program->child<DateEdit>("dbeZuMietenAb");
    EXPECT_EQ(date->text(), u"01.09.2025"_s);
    QTest::keyClick(date, Qt::Key_Delete);
    EXPECT_TRUE(date->isEmpty());
    EXPECT_EQ(program->table().state(), ListingTable::State::Edit);
    program->click(RecordNavigator::Post);
    EXPECT_TRUE(dbValue(u"SELECT ZuMietenAb FROM Wohnungen WHERE Id = 1"_s).isNull());
    EXPECT_TRUE(date->text().trimmed().isEmpty());

    // Bungalow has no date: the picker is empty, not today.
    program->click(RecordNavigator::Next);
    EXPECT_EQ(program->currentWohnung(), u"Bungalow"_s);
    EXPECT_TRUE(date->isEmpty());
}

TEST_F(MainWindowTest, AnEditThatCannotBeSavedKeepsTheWindowOpen)
{
    auto program = startOnFixture();
    auto *area = program->child<NumberEdit>("dbeFlaeche");
    area->selectAll();
    QTest::keyClicks(area, u"groß"_s);
    EXPECT_FALSE(program->window->close());
    EXPECT_FALSE(program->closed);
    ASSERT_EQ(program->desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(program->desktop.messageBoxes()[0].text, u"'groß' ist kein gültiger Gleitkommawert."_s);

    // A sort that cannot post first keeps the sort and its check marks.
    program->trigger("miSortOrt");
    EXPECT_EQ(program->desktop.messageBoxes().size(), 2u);
    EXPECT_EQ(program->window->sortField(), u"Wohnung"_s);
    EXPECT_EQ(program->table().sort(), u"Wohnung ASC"_s);
    EXPECT_EQ(program->checkedSortItems(), (std::set<std::string>{"miSortWohnung", "miSortAufsteigend"}));
    program->click(RecordNavigator::Cancel);
    EXPECT_TRUE(program->window->close());
    EXPECT_TRUE(program->closed);
}

TEST_F(MainWindowTest, DeleteAsksAndCancelKeepsTheRow)
{
    auto program = startOnFixture();
    program->desktop.buttonAnswers = {QMessageBox::Cancel, QMessageBox::Ok};
    program->click(RecordNavigator::Delete);
    EXPECT_EQ(dbValue(u"SELECT COUNT(*) FROM Wohnungen"_s).toInt(), 4);
    EXPECT_EQ(program->currentWohnung(), u"Altbau Nord"_s);
    program->click(RecordNavigator::Delete);
    EXPECT_EQ(dbValue(u"SELECT COUNT(*) FROM Wohnungen"_s).toInt(), 3);
    EXPECT_EQ(program->currentWohnung(), u"Bungalow"_s);
    for (const auto &box : program->desktop.messageBoxes()) {
        EXPECT_EQ(box.caption, u"Bestätigung"_s);
        EXPECT_EQ(box.text, u"Datensatz löschen?"_s);
        EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
}

TEST_F(MainWindowTest, EditorsShowTheCurrentListingInTheColumnsFormats)
{
    auto program = startOnFixture();
    EXPECT_EQ(program->child<NumberEdit>("dbeFlaeche")->text(), u"80,5"_s);
    EXPECT_EQ(program->child<NumberEdit>("dbeMiete")->text(), u"1.234,50"_s);
    EXPECT_EQ(program->child<NumberEdit>("dbeNebenkosten")->text(), u"210,00"_s);
    EXPECT_EQ(program->child<QPlainTextEdit>("dbeBeschreibung")->toPlainText(), u"Hell\nund ruhig"_s);
    auto *status = program->child<StatusCheckBox>("DBCheckBox1");
    EXPECT_EQ(status->checkState(), Qt::Checked);

    const struct {
        const char *editor;
        int maxLength;
    } lengths[] = {{"dbeWohnung", 80}, {"dbeStrasse", 50}, {"dbePLZ", 8}, {"dbeOrt", 35}};
    for (const auto &l : lengths)
        EXPECT_EQ(program->child<QLineEdit>(l.editor)->maxLength(), l.maxLength) << l.editor;

    // An empty Status shows greyed; a click makes it true, never empty again.
    program->click(RecordNavigator::Last);
    program->click(RecordNavigator::Prior);
    EXPECT_EQ(program->currentWohnung(), u"Cityloft"_s);
    EXPECT_EQ(status->checkState(), Qt::PartiallyChecked);
    QTest::mouseClick(status, Qt::LeftButton);
    EXPECT_EQ(status->checkState(), Qt::Checked);
    program->click(RecordNavigator::Post);
    EXPECT_EQ(dbValue(u"SELECT Status FROM Wohnungen WHERE Id = 3"_s).toInt(), 1);

    // Typing a number edits the plain value; leaving shows the format again.
    auto *rent = program->child<NumberEdit>("dbeMiete");
    rent->setFocus();
    rent->selectAll();
    QTest::keyClicks(rent, u"1499,9"_s);
    program->click(RecordNavigator::Post);
    EXPECT_DOUBLE_EQ(dbValue(u"SELECT Miete FROM Wohnungen WHERE Id = 3"_s).toDouble(), 1499.9);

    // Text that is no number is refused, and the listing stays in edit.
    rent->selectAll();
    QTest::keyClicks(rent, u"teuer"_s);
    program->click(RecordNavigator::Post);
    ASSERT_FALSE(program->desktop.messageBoxes().empty());
    EXPECT_EQ(program->desktop.messageBoxes().back().text, u"'teuer' ist kein gültiger Gleitkommawert."_s);
    EXPECT_EQ(program->table().state(), ListingTable::State::Edit);
    program->click(RecordNavigator::Cancel);
    EXPECT_EQ(rent->text(), u"1499,9"_s); // still focused: the plain number
    program->child<QLineEdit>("dbeOrt")->setFocus();
    EXPECT_EQ(rent->text(), u"1.499,90"_s);
}

TEST_F(MainWindowTest, NavigatorEnablesWhatMakesSenseInTheState)
{
    using N = RecordNavigator;
    const auto enabled = [](Program &program) {
        std::set<int> on;
        for (int b = 0; b < N::buttonCount; ++b) {
            if (program.child<N>("DBNavigator1")->button(N::Button(b))->isEnabled())
                on.insert(b);
        }
        return on;
    };
    {
        writeSettings(QString());
        auto closed = startProgram();
        EXPECT_EQ(enabled(*closed), std::set<int>{});
        EXPECT_FALSE(closed->child<QLineEdit>("dbeWohnung")->isEnabled());
    }
    auto program = startOnFixture();
    EXPECT_EQ(enabled(*program), (std::set<int>{N::Next, N::Last, N::Insert, N::Delete, N::Edit, N::Refresh}));
    program->click(N::Last);
    EXPECT_EQ(enabled(*program), (std::set<int>{N::First, N::Prior, N::Insert, N::Delete, N::Edit, N::Refresh}));
    QTest::keyClicks(program->child<QLineEdit>("dbeOrt"), u"x"_s);
    EXPECT_EQ(enabled(*program),
              (std::set<int>{N::First, N::Prior, N::Insert, N::Delete, N::Post, N::Cancel, N::Refresh}));
    program->click(N::Cancel);
    EXPECT_EQ(program->child<QLineEdit>("dbeOrt")->text(), u"München"_s);

    const QStringList hints = {u"Erster Datensatz"_s, u"Vorheriger Datensatz"_s, u"Nächster Datensatz"_s,
                               u"Letzter Datensatz"_s, u"Datensatz einfügen"_s, u"Datensatz löschen"_s,
                               u"Datensatz bearbeiten"_s, u"Übernehmen"_s, u"Bearbeiten abbrechen"_s,
                               u"Daten aktualisieren"_s};
    for (int b = 0; b < N::buttonCount; ++b)
        EXPECT_EQ(program->child<N>("DBNavigator1")->button(N::Button(b))->toolTip(), hints[b]);
}

// ------------------------------------------------------------------- layout

TEST_F(MainWindowTest, MenusCarryTheirCaptions)
{
    Program program(m_ws.settingsFile);
    const auto titles = [&](const char *menu) {
        QStringList texts;
        for (QAction *action : program.child<QMenu>(menu)->actions())
            texts << (action->isSeparator() ? u"-"_s : action->text());
        return texts;
    };
    EXPECT_EQ(titles("mnuDatei"), (QStringList{u"Optionen ..."_s, u"-"_s, u"Beenden"_s}));
    EXPECT_EQ(titles("mnuSortierung"), (QStringList{u"Feldname     "_s, u"Reihenfolge   "_s}));
    EXPECT_EQ(titles("mnuFeldname"), (QStringList{u"Wohnung"_s, u"Strasse"_s, u"Ort"_s, u"Aktiv"_s}));
    EXPECT_EQ(titles("mnuReihenfolge"), (QStringList{u"aufsteigend"_s, u"absteigend"_s}));
    EXPECT_EQ(titles("mnuProjekt"), (QStringList{u"HTML erzeugen"_s, u"HTML anzeigen"_s, u"FTP Upload"_s}));
    EXPECT_EQ(program.child<QAction>("acOptionen")->text(), u"Optionen"_s);
    QStringList menuBar;
    for (QAction *action : program.window->menuBar()->actions())
        menuBar << action->text();
    EXPECT_EQ(menuBar, (QStringList{u"&Datei"_s, u"&Sortierung"_s, u"&Projekt"_s}));
    for (QAction *action : program.window->findChildren<QAction *>())
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->objectName().toStdString();
}

TEST_F(MainWindowTest, TabRunsThroughTheEditorsAndReachesTheAreaLast)
{
    // Without the photo strip, which would follow the area.
    writeSettings(createDatabase());
    dbValue(u"DROP TABLE \"Bilder\""_s);
    auto program = startProgram();
    program->window->activateWindow();
    QApplication::setActiveWindow(program->window);
    program->child<QLineEdit>("dbeWohnung")->setFocus();
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        // The date picker's text field stands for the picker.
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        order << (focus ? focus->objectName() : QString());
    }
    EXPECT_EQ(order, (QStringList{u"dbeWohnung"_s, u"dbeStrasse"_s, u"dbePLZ"_s, u"dbeOrt"_s,
                                  u"dbeBeschreibung"_s, u"dbeMiete"_s, u"dbeNebenkosten"_s, u"dbeZuMietenAb"_s,
                                  u"DBCheckBox1"_s, u"dbeFlaeche"_s, u"dbeWohnung"_s}));
}

TEST_F(MainWindowTest, OptionsCommandPostsShowsTheTemplatePageAndChecksTheTable)
{
    auto program = startOnFixture();
    QTest::keyClicks(program->child<QLineEdit>("dbePLZ"), u"9"_s);
    program->trigger("miOptionen");
    EXPECT_EQ(program->events, QStringList{u"options|0"_s});
    EXPECT_EQ(dbValue(u"SELECT PLZ FROM Wohnungen WHERE Id = 1"_s).toString(), u"101159"_s);
    EXPECT_TRUE(program->table().isOpen());
}

TEST_F(MainWindowTest, GridShowsSixColumnsAndGrowsWithTheWindow)
{
    auto program = startOnFixture();
    auto *grid = program->child<ListingGrid>("DBGrid1");
    const QAbstractItemModel *model = grid->model();
    const struct {
        QString title;
        int width;
        Qt::Alignment alignment;
    } expected[] = {{u"Wohnung"_s, 185, Qt::AlignLeft}, {u"qm"_s, 45, Qt::AlignHCenter},
                    {u"Strasse"_s, 185, Qt::AlignLeft}, {u"PLZ"_s, 45, Qt::AlignLeft},
                    {u"Ort"_s, 130, Qt::AlignLeft},     {u"Aktiv"_s, 50, Qt::AlignHCenter}};
    QHeaderView *header = grid->horizontalHeader();
    int visible = 0;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (header->isSectionHidden(logical))
            continue;
        ASSERT_LT(visible, 6);
        const auto &e = expected[visible++];
        EXPECT_EQ(model->headerData(logical, Qt::Horizontal).toString(), e.title);
        EXPECT_EQ(header->sectionSize(logical), e.width) << e.title.toStdString();
        EXPECT_TRUE(model->headerData(logical, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>()
                    & e.alignment);
    }
    EXPECT_EQ(visible, 6);
    EXPECT_EQ(grid->geometry(), QRect(8, 6, 674, 198));

    // Rows alternate in two pale yellows; the current row is navy.
    const QImage image = grid->grab().toImage();
    const auto colourOfRow = [&](int row) {
        const QRect cell = grid->visualRect(grid->model()->index(row, grid->columnOf("Status")));
        return image.pixelColor(grid->viewport()->mapTo(grid, cell.topLeft() + QPoint(3, 3)));
    };
    EXPECT_EQ(colourOfRow(0), QColor(0, 0, 128));
    EXPECT_EQ(colourOfRow(1), QColor(255, 255, 244));
    EXPECT_EQ(colourOfRow(2), QColor(255, 255, 217));

    // Enter moves to the next cell like Tab.
    grid->setFocus();
    const QModelIndex before = grid->currentIndex();
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex().row(), before.row());
    EXPECT_NE(grid->currentIndex().column(), before.column());

    // The grid takes the extra width and height; what lies below it keeps
    // to the bottom, and goes back with the window.
    const QRect wohnung = program->child<QLineEdit>("dbeWohnung")->geometry();
    const QRect panel = program->child<QFrame>("pnlNavigator")->geometry();
    EXPECT_EQ(wohnung, QRect(160, 272, 289, 21));
    const QSize initial = program->window->size();
    program->window->resize(initial + QSize(100, 300));
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->geometry(), QRect(8, 6, 774, 498));
    EXPECT_EQ(program->child<QLineEdit>("dbeWohnung")->geometry(), wohnung.translated(0, 300));
    EXPECT_EQ(program->child<QFrame>("pnlNavigator")->geometry(), panel.translated(0, 300));
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 0); // four rows fit
    program->window->resize(initial);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->geometry(), QRect(8, 6, 674, 198));
    EXPECT_EQ(program->child<QLineEdit>("dbeWohnung")->geometry(), wohnung);
}

TEST_F(MainWindowTest, GridCellsAreEditedAndPostedLikeTheEditors)
{
    auto program = startOnFixture();
    auto *grid = program->child<ListingGrid>("DBGrid1");
    program->window->activateWindow();
    QApplication::setActiveWindow(program->window);
    grid->setFocus();
    const auto cell = [grid](int row, const char *field) { return grid->model()->index(row, grid->columnOf(field)); };
    const auto openEditor = [grid](int row, const char *field) -> QLineEdit * {
        grid->setCurrentIndex(grid->model()->index(row, grid->columnOf(field)));
        QTest::keyClick(grid, Qt::Key_F2);
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        EXPECT_TRUE(grid->isEditingCell());
        EXPECT_TRUE(editor && editor->parentWidget() == grid->viewport());
        if (editor)
            editor->selectAll();
        return editor;
    };
    const auto sql = [this](const char *query) { return dbValue(QString::fromLatin1(query)); };
    auto *status = program->child<StatusCheckBox>("DBCheckBox1");

    // Typing starts the edit, Enter moves on like Tab, Space toggles Aktiv;
    // moving to the next row posts both changes.
    QLineEdit *ort = openEditor(0, "Ort");
    ASSERT_NE(ort, nullptr);
    EXPECT_EQ(ort->maxLength(), 35);
    QTest::keyClicks(ort, u"Potsdam"_s);
    EXPECT_EQ(program->table().state(), ListingTable::State::Edit);
    QTest::keyClick(ort, Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex(), cell(0, "Status"));
    EXPECT_FALSE(grid->isEditingCell());
    EXPECT_EQ(program->child<QLineEdit>("dbeOrt")->text(), u"Potsdam"_s);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(status->checkState(), Qt::Unchecked);
    EXPECT_EQ(sql("SELECT Ort FROM Wohnungen WHERE Id = 1").toString(), u"Berlin"_s);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex(), cell(1, "Wohnung"));
    EXPECT_EQ(program->table().state(), ListingTable::State::Browse);
    EXPECT_EQ(program->currentWohnung(), u"Bungalow"_s);
    EXPECT_EQ(sql("SELECT Ort FROM Wohnungen WHERE Id = 1").toString(), u"Potsdam"_s);
    EXPECT_EQ(sql("SELECT Status FROM Wohnungen WHERE Id = 1").toInt(), 0);

    // An area that is no number keeps its editor open with the error shown;
    // a number moves on, and the navigator's post takes it.
    QLineEdit *area = openEditor(1, "Flaeche");
    ASSERT_NE(area, nullptr);
    QTest::keyClicks(area, u"groß"_s);
    QTest::keyClick(area, Qt::Key_Return);
    ASSERT_EQ(program->desktop.messageBoxes().size(), 1u);
    EXPECT_EQ(program->desktop.messageBoxes()[0].text, u"'groß' ist kein gültiger Gleitkommawert."_s);
    EXPECT_EQ(program->desktop.messageBoxes()[0].caption, u"kaviro_app_tests"_s);
    EXPECT_TRUE(grid->isEditingCell());
    area->selectAll();
    QTest::keyClicks(area, u"121,5"_s);
    QTest::keyClick(area, Qt::Key_Tab);
    EXPECT_EQ(grid->currentIndex(), cell(1, "Strasse"));
    EXPECT_TRUE(grid->isEditingCell());
    program->click(RecordNavigator::Post);
    EXPECT_FALSE(grid->isEditingCell());
    EXPECT_EQ(program->table().state(), ListingTable::State::Browse);
    EXPECT_DOUBLE_EQ(sql("SELECT Flaeche FROM Wohnungen WHERE Id = 2").toDouble(), 121.5);
    EXPECT_EQ(sql("SELECT Strasse FROM Wohnungen WHERE Id = 2").toString(), u"Am Deich 5"_s);

    // A click on an empty Aktiv box ticks it; the navigator's cancel undoes
    // it, also an edit still open in a cell.
    grid->setCurrentIndex(cell(2, "Status"));
    EXPECT_EQ(status->checkState(), Qt::PartiallyChecked);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell(2, "Status")).center());
    EXPECT_EQ(status->checkState(), Qt::Checked);
    EXPECT_EQ(program->table().state(), ListingTable::State::Edit);
    QLineEdit *plz = openEditor(2, "PLZ");
    ASSERT_NE(plz, nullptr);
    EXPECT_EQ(plz->maxLength(), 8);
    QTest::keyClicks(plz, u"99999"_s);
    program->click(RecordNavigator::Cancel);
    EXPECT_FALSE(grid->isEditingCell());
    EXPECT_EQ(status->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(cell(2, "PLZ").data().toString(), u"60313"_s);
    EXPECT_TRUE(sql("SELECT Status FROM Wohnungen WHERE Id = 3").isNull());
    EXPECT_EQ(program->desktop.messageBoxes().size(), 1u);
}

// ------------------------------------------------------------ usability

namespace {

void activate(QWidget *window)
{
    window->activateWindow();
    QApplication::setActiveWindow(window);
}

// A click where the user sees the point: the window finds the widget there.
void clickAt(QWidget *widget, QPoint point)
{
    QWidget *window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window, point));
}

} // namespace

TEST_F(MainWindowTest, EveryEditorTakesTheClicksMeantForIt)
{
    auto program = startOnFixture();
    activate(program->window);
    EXPECT_EQ(test::inputsHiddenFromClicks(program->window), QStringList());

    // Typing after a click lands in the editor clicked, also where a label
    // stands over it.
    for (const char *name : {"dbeWohnung", "dbeFlaeche", "dbeStrasse", "dbePLZ", "dbeOrt", "dbeBeschreibung",
                             "dbeMiete", "dbeNebenkosten", "dbeZuMietenAb", "DBCheckBox1"}) {
        auto *editor = program->child<QWidget>(name);
        program->child<QWidget>("dbeWohnung")->setFocus();
        clickAt(editor, editor->rect().center());
        QWidget *focus = QApplication::focusWidget();
        EXPECT_TRUE(focus == editor || editor->isAncestorOf(focus)) << name;
    }
    auto *status = program->child<StatusCheckBox>("DBCheckBox1");
    const Qt::CheckState before = status->checkState();
    clickAt(status, status->rect().center());
    EXPECT_NE(status->checkState(), before);
}

TEST_F(MainWindowTest, ADateTypedAfterTabIsStoredAsTyped)
{
    auto program = startOnFixture();
    activate(program->window);
    program->child<QLineEdit>("dbeNebenkosten")->setFocus();
    QWindow *window = program->window->windowHandle();
    QTest::keyClick(window, Qt::Key_Tab);
    for (const QChar c : u"15.09.2026"_s)
        QTest::keyClick(window, c.toLatin1());
    QTest::keyClick(window, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), program->child<QWidget>("DBCheckBox1"));
    program->click(RecordNavigator::Post);
    EXPECT_EQ(dbValue(u"SELECT ZuMietenAb FROM Wohnungen WHERE Id = 1"_s).toString().left(10), u"2026-09-15"_s);
}

TEST_F(MainWindowTest, TitleClicksSortAsTheMenuDoes)
{
    auto program = startOnFixture();
    auto *grid = program->child<ListingGrid>("DBGrid1");
    QHeaderView *header = grid->horizontalHeader();
    const auto clickTitle = [&](const char *field) {
        const int column = grid->columnOf(field);
        const QPoint point(header->sectionViewportPosition(column) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
    };
    const struct {
        const char *title;
        QString sort;
        std::set<std::string> checked;
    } steps[] = {
        {"Ort", u"Ort ASC"_s, {"miSortOrt", "miSortAufsteigend"}},
        {"Ort", u"Ort DESC"_s, {"miSortOrt", "miSortAbsteigend"}},
        {"Status", u"Status DESC"_s, {"miSortAktiv", "miSortAbsteigend"}},
        {"Flaeche", u"Status DESC"_s, {"miSortAktiv", "miSortAbsteigend"}},
        {"Status", u"Status ASC"_s, {"miSortAktiv", "miSortAufsteigend"}},
        {"Strasse", u"Strasse ASC"_s, {"miSortStrasse", "miSortAufsteigend"}},
        {"Wohnung", u"Wohnung ASC"_s, {"miSortWohnung", "miSortAufsteigend"}},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.title);
        clickTitle(step.title);
        EXPECT_EQ(program->table().sort(), step.sort);
        EXPECT_EQ(program->checkedSortItems(), step.checked);
        const bool descending = step.sort.endsWith(u"DESC"_s);
        EXPECT_EQ(header->sortIndicatorSection(), grid->columnOf(step.sort.section(u' ', 0, 0).toLatin1()));
        EXPECT_EQ(header->sortIndicatorOrder(), descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

TEST_F(MainWindowTest, TypingInTheGridEditsTheFramedCurrentCell)
{
    auto program = startOnFixture();
    auto *grid = program->child<ListingGrid>("DBGrid1");
    activate(program->window);
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, grid->columnOf("Wohnung")));
    for (const auto key : {Qt::Key_Return, Qt::Key_Return, Qt::Key_Down, Qt::Key_Return})
        QTest::keyClick(grid, key);
    const QModelIndex current = grid->currentIndex();
    EXPECT_EQ(current.row(), 1);
    EXPECT_EQ(current.column(), grid->columnOf("PLZ"));

    // The frame is drawn on the current cell, not on the rest of its row.
    QCoreApplication::processEvents();
    const QImage image = grid->viewport()->grab().toImage();
    const auto framed = [&](const QModelIndex &cell) {
        const QPoint corner = grid->visualRect(cell).topLeft();
        for (int x = 1; x < 8; ++x) {
            if (image.pixelColor(corner + QPoint(x, 1)) == QColor(Qt::white))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(framed(current));
    EXPECT_FALSE(framed(grid->model()->index(1, grid->columnOf("Ort"))));

    QTest::keyClicks(QApplication::focusWidget(), u"X"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    program->click(RecordNavigator::Post);
    EXPECT_EQ(dbValue(u"SELECT PLZ FROM Wohnungen WHERE Id = 2"_s).toString(), u"X"_s);
}

TEST_F(MainWindowTest, OkWithANewConnectionStringOpensTheListings)
{
    // First start: the user builds the string and presses "OK".
    const QString connection = createDatabase();
    {
        Program program(m_ws.settingsFile);
        program.onOptions = [&](OptionsDialog &options) {
            options.findChild<QLineEdit *>(u"txtConnectionString"_s)->setText(connection);
            options.findChild<QPushButton *>(u"btnOK"_s)->click();
        };
        program.start();
        EXPECT_EQ(program.events, QStringList{u"options|2"_s});
        EXPECT_TRUE(program.table().isOpen());
        EXPECT_EQ(program.table().sort(), u"Wohnung ASC"_s);
        EXPECT_EQ(program.checkedSortItems(), (std::set<std::string>{"miSortWohnung", "miSortAufsteigend"}));
        EXPECT_EQ(program.currentWohnung(), u"Altbau Nord"_s);
        EXPECT_EQ(program.child<ListingGrid>("DBGrid1")->model()->rowCount(), 4);
    }
    // Later, a string that cannot connect says so as start-up does.
    auto program = startProgram();
    program->onOptions = [&](OptionsDialog &options) {
        options.findChild<QLineEdit *>(u"txtConnectionString"_s)
            ->setText(u"Provider=SQLite;Data Source="_s + path(u"fehlt/x.db"_s));
        options.findChild<QPushButton *>(u"btnOK"_s)->click();
    };
    program->trigger("miOptionen");
    EXPECT_EQ(program->events, (QStringList{u"options|0"_s, u"Fehler !|"_s + connectionFailed}));
    EXPECT_FALSE(program->table().isOpen());
}

TEST_F(MainWindowTest, MenusOpenByKeyboard)
{
    Program program(m_ws.settingsFile);
    program.window->show();
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char *menu;
    } keys[] = {{Qt::Key_S, Qt::AltModifier, "mnuSortierung"},
                {Qt::Key_P, Qt::AltModifier, "mnuProjekt"},
                {Qt::Key_D, Qt::AltModifier, "mnuDatei"},
                {Qt::Key_F10, Qt::NoModifier, "mnuDatei"}};
    for (const auto &k : keys) {
        SCOPED_TRACE(k.menu);
        activate(program.window);
        QTest::keyClick(program.window, k.key, k.modifiers);
        auto *menu = program.child<QMenu>(k.menu);
        EXPECT_TRUE(test::waitFor([menu] { return menu->isVisible(); }));
        menu->hide();
        QCoreApplication::processEvents();
    }
}

TEST_F(MainWindowTest, RowsAreReadAsTheyAreShown)
{
    const QString connection = createDatabase();
    dbValue(u"WITH RECURSIVE n(i) AS (SELECT 5 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
            "INSERT INTO Wohnungen (Id, Wohnung, Status) SELECT i, printf('W%05d', i), 1 FROM n"_s);
    writeSettings(connection);
    auto program = startProgram();
    auto *grid = program->child<ListingGrid>("DBGrid1");
    const int shown = grid->model()->rowCount();
    EXPECT_LT(shown, 1000);
    const auto *nav = program->child<RecordNavigator>("DBNavigator1");
    EXPECT_TRUE(nav->button(RecordNavigator::Next)->isEnabled());
    EXPECT_EQ(grid->model()->rowCount(), shown);

    // Scrolling to the bottom reads the next rows; "Letzter" reads them all.
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    EXPECT_GT(grid->model()->rowCount(), shown);
    program->click(RecordNavigator::Last);
    EXPECT_EQ(grid->model()->rowCount(), 2000);
    EXPECT_EQ(program->currentWohnung(), u"W02000"_s);
    EXPECT_FALSE(nav->button(RecordNavigator::Next)->isEnabled());
}

TEST_F(MainWindowTest, ScreenshotsOfTheDemoListings)
{
    writeSettings(createDatabase(true));
    auto program = startProgram();
    ASSERT_TRUE(program->table().isOpen());
    QCoreApplication::processEvents();
    EXPECT_TRUE(program->window->grab().save(test::artifactPath(u"mainwindow-demo.png"_s)));

    // The sort menu with its check marks after "absteigend".
    program->trigger("miSortAbsteigend");
    auto *order = program->child<QMenu>("mnuReihenfolge");
    order->popup(QPoint(0, 0));
    QCoreApplication::processEvents();
    EXPECT_TRUE(order->grab().save(test::artifactPath(u"mainwindow-sortmenu.png"_s)));
    order->hide();

    // A listing being edited, its Status empty.
    program->trigger("miSortAktiv");
    program->trigger("miSortAufsteigend");
    QTest::keyClicks(program->child<QLineEdit>("dbeOrt"), u" (Mitte)"_s);
    QCoreApplication::processEvents();
    EXPECT_TRUE(program->window->grab().save(test::artifactPath(u"mainwindow-editing.png"_s)));
    program->click(RecordNavigator::Cancel);

    // A cell of the grid being edited in place.
    auto *grid = program->child<ListingGrid>("DBGrid1");
    grid->setCurrentIndex(grid->model()->index(2, grid->columnOf("Ort")));
    QTest::keyClick(grid, Qt::Key_F2);
    ASSERT_TRUE(grid->isEditingCell());
    QCoreApplication::processEvents();
    EXPECT_TRUE(program->window->grab().save(test::artifactPath(u"mainwindow-gridedit.png"_s)));
    program->click(RecordNavigator::Cancel);
}

TEST_F(MainWindowTest, ExtraColumnsAreEditedUnderWeitereAngaben)
{
    const QString connection = createDatabase(true);
    QFile script(QStringLiteral(KAVIRO_SOURCE_DIR "/examples/weitere-angaben-sqlite.sql"));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    for (const QString &statement : splitSqlScript(QString::fromUtf8(script.readAll())))
        dbValue(statement);
    dbValue(u"UPDATE \"Wohnungen\" SET \"Zimmer\" = 3, \"Kaution\" = 3540, \"Baujahr\" = 1905, "
            "\"Energieausweis\" = 'Verbrauchsausweis', \"Energiekennwert\" = 131.5, "
            "\"Energietraeger\" = 'Fernwärme', \"Effizienzklasse\" = 'E'"_s);
    writeSettings(connection);
    auto program = startProgram();
    ASSERT_TRUE(program->table().isOpen());
    QCoreApplication::processEvents();

    auto *group = program->child<QGroupBox>("grpWeitereAngaben");
    EXPECT_TRUE(group->isVisible());
    EXPECT_EQ(group->title(), u"Weitere Angaben"_s);
    QStringList labels;
    for (const QLabel *label : group->findChildren<QLabel *>())
        labels.append(label->text());
    EXPECT_EQ(labels, (QStringList{u"Zimmer"_s, u"Kaution"_s, u"Heizkosten"_s, u"Baujahr"_s, u"Energieausweis"_s,
                                   u"Energiekennwert"_s, u"Energietraeger"_s, u"Effizienzklasse"_s}));
    // Below the editors of the fixed layout, inside the window.
    const QWidget *central = program->window->centralWidget();
    EXPECT_GT(group->y(), program->child<QLabel>("dbtTimestamp")->geometry().bottom());
    EXPECT_LE(group->geometry().bottom(), central->height());
    EXPECT_EQ(program->child<QLineEdit>("dbeBaujahr")->text(), u"1905"_s);
    EXPECT_EQ(program->child<QLineEdit>("dbeKaution")->text(), u"3.540,00"_s);
    EXPECT_TRUE(program->window->grab().save(test::artifactPath(u"mainwindow-weitere-angaben.png"_s)));

    // An edit goes to the database like any other.
    const QString wohnung = program->currentWohnung();
    auto *zimmer = program->child<QLineEdit>("dbeZimmer");
    zimmer->setFocus();
    zimmer->selectAll();
    QTest::keyClicks(zimmer, u"4"_s);
    auto *traeger = program->child<QLineEdit>("dbeEnergietraeger");
    traeger->setFocus();
    traeger->selectAll();
    QTest::keyClicks(traeger, u"Erdgas"_s);
    program->click(RecordNavigator::Post);
    const QString where = u" FROM \"Wohnungen\" WHERE \"Wohnung\" = '%1'"_s.arg(wohnung);
    EXPECT_EQ(dbValue(u"SELECT \"Zimmer\""_s + where).toInt(), 4);
    EXPECT_EQ(dbValue(u"SELECT \"Energietraeger\""_s + where).toString(), u"Erdgas"_s);
}

TEST_F(MainWindowTest, WarnsOfUnknownTemplateNamesAfterWritingThePages)
{
    writeSettings(createDatabase());
    QFile templ(path(u"liste.templ"_s));
    ASSERT_TRUE(templ.open(QIODevice::WriteOnly));
    templ.write("<repeat name=Loop>\r\n<macro name=Wohnug/>\r\n</repeat name=Loop>\r\n");
    templ.close();
    auto program = startProgram();
    EXPECT_FALSE(program->child<QGroupBox>("grpWeitereAngaben")->isVisible()) << "no extra columns";
    program->desktop.calls.clear();
    program->desktop.buttonAnswers = {QMessageBox::Ok, QMessageBox::No};
    program->trigger("acGenerate");
    const std::vector<test::DesktopCall> &calls = program->desktop.calls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].caption, u"Warnung"_s);
    EXPECT_EQ(calls[0].icon, QMessageBox::Warning);
    EXPECT_EQ(calls[0].text,
              u"Die Vorlage enthält Namen, die Kaviro nicht kennt:\r\n\r\nZeile 2: unbekanntes Makro \"Wohnug\""_s);
    EXPECT_EQ(calls[1].text, generatedQuestion);
    EXPECT_TRUE(QFile::exists(path(u"out/liste.html"_s)));
}

} // namespace
} // namespace kaviro
