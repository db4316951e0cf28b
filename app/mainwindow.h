#pragma once

#include "app/recordnavigator.h"
#include "store/extracolumns.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <vector>

class QDataWidgetMapper;

namespace Ui {
class MainWindow;
}

namespace kaviro {

class Desktop;
class ExtraFieldsGroup;
class ListingTable;
class OptionsDialog;
class PhotoStrip;
class Session;
class UploadDialog;

// "Kaviro", then " - ", then the product version; the numeric version when
// the version string is empty.
QString windowCaption(const QString &storedCaption, const QString &productVersion,
                      const QString &numericVersion);

// The program's working surface: the listing grid, the record navigator and
// the editor of the current listing, all following the data module's table;
// the menus "Datei", "Sortierung" and "Projekt".
//
// Commands are public so that the options dialog and tests can run them as
// the menus do; each shows its failures itself and never throws.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The dialogs are used only by the commands (see DesktopProgram).
    MainWindow(Desktop &desktop, Session &session, OptionsDialog &options, UploadDialog &upload,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    // Pages have been generated in this run.
    bool generated() const { return m_generated; }
    const QString &sortField() const { return m_sortField; }
    const QString &sortOrder() const { return m_sortOrder; }
    // The start-up sequence of the first showing has run.
    bool startupDone() const { return m_startupDone; }

    // Start-up: settings, connection, table check, initial sort. Runs once,
    // queued after the window is first shown.
    void formShow();
    // Opens the listing table and reports when that fails.
    void checkTableOpen();
    // Hands what the editors and an open grid cell hold to the listing being
    // edited or entered, without writing it; throws for an area or amount
    // that is no number. Moving to another row then writes a changed
    // listing and drops an unchanged new one, as the table does.
    void submitEditors();
    // Writes the listing being edited or entered, if any, changed or not.
    // Throws what the table throws; the commands below call it first.
    void postPendingEdit();

    void applySort();
    void setSortField(const QString &field);
    void setSortOrder(const QString &order);

    void acOptionenExecute();
    void acBeendenExecute();
    void acGenerateExecute();
    // The template check's findings, after a generation.
    void showUnknownNames(const QStringList &lines);
    void acHTMLshowExecute();
    void asFTPuploadExecute();
    void miProjektClick();
    // An upload began or ended: one generation per upload, and the settings
    // it reads stay as they are.
    void setUploadRunning(bool running);

signals:
    // The main window was closed: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ListingTable *table() const;
    void bindTable();
    void mapEditors();
    void layOutBelowEditors();
    // Connects with the string given; says so and gives false when that fails.
    bool connectDatabase(const QString &connectionString);
    // Shows the options dialog on the page given. After "OK" with another
    // connection string than the window had, connects with it and opens the
    // table as start-up does; true then.
    bool showOptions(int page);
    void sortByTitle(const QString &field);
    void changeSort(QString &half, const QString &value);
    void setSortMarks();
    void navigatorClicked(RecordNavigator::Button which);
    void gridRowChosen(int row);
    void editorEdited();
    void showCurrentRow();
    // The one place that decides which navigator buttons, editors and
    // commands are enabled.
    void updateControls();
    template<typename Command>
    void command(Command &&run);

    Desktop &m_desktop;
    Session &m_session;
    OptionsDialog &m_options;
    UploadDialog &m_upload;
    std::unique_ptr<Ui::MainWindow> m_ui;
    QDataWidgetMapper *m_mapper = nullptr;
    QString m_sortField;
    QString m_sortOrder;
    bool m_generated = false;
    bool m_shown = false;
    bool m_startupDone = false;
    bool m_syncing = false;
    bool m_uploadRunning = false;
    int m_belowGridShift = 0; // how far the controls below the grid moved down
    ExtraFieldsGroup *m_extraFields = nullptr;
    PhotoStrip *m_photos = nullptr;
    int m_belowEditorsHeight = 0; // what the window grew by for the groups below the editors
    ListingTable *m_boundTable = nullptr;
};

} // namespace kaviro
