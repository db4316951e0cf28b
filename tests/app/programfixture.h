#pragma once

// The desktop program as the tests run it: built as the program entry builds
// it, on a scripted desktop, in a folder of its own.

#include "app/desktopprogram.h"
#include "app/mainwindow.h"
#include "app/recordnavigator.h"
#include "settings/inifile.h"
#include "settings/optionsdialog.h"
#include "store/datamodule.h"
#include "store/listingdatabase.h"
#include "store/windows1252.h"
#include "tests/support/guitest.h"
#include "tests/support/scripteddesktop.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>
#include <set>
#include <string>

namespace kaviro::test {

using namespace Qt::StringLiterals;

// The items of the menu "Sortierung".
inline const char *const sortItems[] = {"miSortWohnung",     "miSortStrasse",   "miSortOrt", "miSortAktiv",
                                        "miSortAufsteigend", "miSortAbsteigend"};

// Four listings whose order differs under every sort. Id 3 has an empty
// Status, id 2 no date.
inline constexpr char fixtureRows[] = R"sql(
INSERT INTO "Wohnungen" ("Id", "Wohnung", "Flaeche", "Strasse", "PLZ", "Ort", "Beschreibung", "Miete",
  "Nebenkosten", "ZuMietenAb", "Timestamp", "Status") VALUES
 (1, 'Altbau Nord', 80.5, 'Bergstraße 1', '10115', 'Berlin', 'Hell
und ruhig', 1234.5, 210, '2025-09-01 00:00:00', '2025-01-02 10:00:00', 1),
 (2, 'Bungalow', 120, 'Am Deich 5', '26506', 'Norden', NULL, 990, 150, NULL, '2025-01-03 11:00:00', 0),
 (3, 'Cityloft', 45.25, 'Zeil 10', '60313', 'Frankfurt', NULL, 1500, 300, '2025-10-15 00:00:00',
  '2025-01-04 12:00:00', NULL),
 (4, 'Dachwohnung', 64, 'Hauptstraße 3', '80331', 'München', NULL, 870, 160, '2025-08-01 00:00:00',
  '2025-01-05 13:00:00', 1);
)sql";

// One run of the program, built as the program entry builds it, with a
// scripted desktop. Every message box and every showing of the options
// dialog is logged in order; the options dialog is closed with "Abbrechen"
// as soon as it is up.
class Program {
public:
    explicit Program(const QString &settingsFile)
        : m_program(desktop, settingsFile.toStdString()), session(&m_program.session()),
          window(&m_program.mainWindow()), options(&m_program.options()), data(&session->data())
    {
        desktop.onCall = [this](const test::DesktopCall &call) {
            if (call.kind == test::DesktopCall::Kind::MessageBox)
                events << call.caption + u'|' + call.text;
            else if (call.kind == test::DesktopCall::Kind::OpenUrl)
                events << u"open|"_s + call.url.toLocalFile();
        };
        QObject::connect(&m_closer, &QTimer::timeout, [this] {
            if (QApplication::activeModalWidget() == options) {
                events << u"options|%1"_s.arg(options->currentPage());
                if (onOptions)
                    onOptions(*options);
                else
                    options->reject();
            }
        });
        m_closer.start(5);
        QObject::connect(window, &MainWindow::closed, [this] { closed = true; });
    }

    ~Program() { m_closer.stop(); }

    void start()
    {
        window->show();
        ASSERT_TRUE(test::waitFor([this] { return window->startupDone(); }));
    }

    template<typename T>
    T *child(const char *name) const
    {
        T *widget = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void trigger(const char *action) { child<QAction>(action)->trigger(); }
    void click(RecordNavigator::Button button)
    {
        child<RecordNavigator>("DBNavigator1")->button(button)->click();
    }

    // Opens and closes the "Projekt" menu, as the user does before choosing.
    void openProjectMenu()
    {
        auto *menu = child<QMenu>("mnuProjekt");
        menu->popup(window->mapToGlobal(QPoint(0, 0)));
        menu->hide();
    }

    std::set<std::string> checkedSortItems() const
    {
        std::set<std::string> checked;
        for (const char *item : sortItems) {
            if (child<QAction>(item)->isChecked())
                checked.insert(item);
        }
        return checked;
    }

    ListingTable &table() { return data->table(); }
    QString currentWohnung() { return child<QLineEdit>("dbeWohnung")->text(); }

    test::ScriptedDesktop desktop;
    QStringList events;
    // Closes the options dialog in place of "Abbrechen" when set.
    std::function<void(OptionsDialog &)> onOptions;
    bool closed = false;

private:
    DesktopProgram m_program;
    QTimer m_closer;

public:
    Session *session;
    MainWindow *window;
    OptionsDialog *options;
    DataModule *data;
};

// A folder holding a settings file and, when asked, the listing database.
class Workspace {
    QTemporaryDir m_dir; // first: the names below are made from it

public:
    Workspace() : settingsFile(path(u"kaviro.ini"_s)) {}
    ~Workspace()
    {
        if (!m_check.isEmpty())
            QSqlDatabase::removeDatabase(m_check);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // A database with the four fixture listings (or the demo listings);
    // returns its connection string.
    QString createDatabase(bool demoListings = false)
    {
        const QString file = path(u"wohnungen.db"_s);
        const QString connection = createSqliteDatabase(file, demoListings);
        if (!demoListings) {
            const QString name = u"setup:"_s + file;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
                db.setDatabaseName(file);
                EXPECT_TRUE(db.open());
                runSqlScript(db, QString::fromUtf8(fixtureRows));
            }
            QSqlDatabase::removeDatabase(name);
        }
        return connection;
    }

    // A settings file with the connection string, a template "liste.templ"
    // and an output folder "out".
    void writeSettings(const QString &connectionString)
    {
        IniFile ini(settingsFile.toStdString());
        EXPECT_TRUE(ini.writeString("Database", "ConnectionString", toWindows1252(connectionString)));
        EXPECT_TRUE(ini.writeString("Template", "Filename", toWindows1252(path(u"liste.templ"_s))));
        EXPECT_TRUE(ini.writeString("Template", "Output", toWindows1252(path(u"out"_s))));
        QFile templ(path(u"liste.templ"_s));
        EXPECT_TRUE(templ.open(QIODevice::WriteOnly));
        templ.write("<html><body>Wohnungen</body></html>\r\n");
        QDir().mkpath(path(u"out"_s));
    }

    // A value read from the database file behind the program's back.
    QVariant dbValue(const QString &sql)
    {
        if (m_check.isEmpty()) {
            m_check = u"check:"_s + path(u"wohnungen.db"_s);
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_check);
            db.setDatabaseName(path(u"wohnungen.db"_s));
            EXPECT_TRUE(db.open());
        }
        QSqlQuery query(QSqlDatabase::database(m_check));
        EXPECT_TRUE(query.exec(sql)) << query.lastError().text().toStdString();
        return query.next() ? query.value(0) : QVariant();
    }

    const QString settingsFile;

private:
    QString m_check;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { test::guiApplication(); }

    QString path(const QString &name) const { return m_ws.path(name); }
    QString createDatabase(bool demo = false) { return m_ws.createDatabase(demo); }
    void writeSettings(const QString &connectionString) { m_ws.writeSettings(connectionString); }
    QVariant dbValue(const QString &sql) { return m_ws.dbValue(sql); }

    std::unique_ptr<Program> startProgram(const Workspace &ws)
    {
        auto program = std::make_unique<Program>(ws.settingsFile);
        program->start();
        return program;
    }
    std::unique_ptr<Program> startProgram() { return startProgram(m_ws); }

    std::unique_ptr<Program> startOnFixture()
    {
        writeSettings(createDatabase());
        return startProgram();
    }

    Workspace m_ws;
};

} // namespace kaviro::test
