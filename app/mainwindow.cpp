#include "app/mainwindow.h"
#include "app/extrafieldsgroup.h"
#include "app/photostrip.h"

#include "ui_mainwindow.h"

#include "desktop/labels.h"
#include "common/cp1252.h"
#include "common/error.h"
#include "common/version.h"
#include "desktop/desktop.h"
#include "publish/uploaddialog.h"
#include "session/messages.h"
#include "session/session.h"
#include "settings/optionsdialog.h"
#include "store/windows1252.h"

#include <algorithm>

#include <QCloseEvent>
#include <QDataWidgetMapper>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kaviro {

QString windowCaption(const QString &storedCaption, const QString &productVersion,
                      const QString &numericVersion)
{
    return storedCaption + u" - "_s + (productVersion.isEmpty() ? numericVersion : productVersion);
}

namespace {

// Height of the window's working area in the reference layout; the grid
// takes whatever the window has beyond it.
constexpr int referenceHeight = 543;
constexpr int referenceGridHeight = 198;
// Where the groups below the editors (extra columns, photos) start, below
// the timestamp line, and the room kept under each.
constexpr QPoint belowEditorsTopLeft(48, 545);
constexpr int belowEditorsWidth = 497;
constexpr int belowEditorsMargin = 8;

const QString connectionFailedText = QString::fromUtf8(messages::connectionFailed);
const QString tableFailedText = QString::fromUtf8(messages::tableFailed);

// Restores the normal cursor however generation ends.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// Hands the editors their column's value as it is, null included, and
// takes back what they hold; text editors deliver an empty text for null.
class EditorDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        const QVariant value = index.data(Qt::EditRole);
        if (auto *number = qobject_cast<NumberEdit *>(editor))
            number->setValue(value);
        else if (auto *date = qobject_cast<DateEdit *>(editor))
            date->setValue(value);
        else if (auto *status = qobject_cast<StatusCheckBox *>(editor))
            status->setValue(value);
        else if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setText(value.toString());
        else if (auto *memo = qobject_cast<QPlainTextEdit *>(editor)) {
            if (memo->toPlainText() != value.toString())
                memo->setPlainText(value.toString());
        }
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        QVariant value;
        if (auto *number = qobject_cast<NumberEdit *>(editor))
            value = number->value();
        else if (auto *date = qobject_cast<DateEdit *>(editor))
            value = date->value();
        else if (auto *status = qobject_cast<StatusCheckBox *>(editor))
            value = status->value();
        else if (auto *line = qobject_cast<QLineEdit *>(editor))
            value = line->text();
        else if (auto *memo = qobject_cast<QPlainTextEdit *>(editor))
            value = memo->toPlainText();
        model->setData(index, value, Qt::EditRole);
    }
};

// The pages are written; which values they show as 0. A long list is cut
// so that the box still fits on the screen.
QString numberWarningText(const QStringList &warnings)
{
    constexpr qsizetype shown = 15;
    QString text = u"Einige Werte in Zahlenfeldern sind keine Zahlen und wurden als 0 veröffentlicht:\r\n"_s;
    for (qsizetype i = 0; i < std::min(shown, warnings.size()); ++i)
        text += u"\r\n"_s + warnings.at(i);
    if (warnings.size() > shown)
        text += u"\r\n... und %1 weitere."_s.arg(warnings.size() - shown);
    return text;
}

// The key of the table's current listing; nothing when the table has no
// single key or the listing has none.
std::optional<qint64> storedListingKey(const ListingTable &listings)
{
    try {
        return PhotoStore::currentListingKey(listings);
    } catch (const Error &) {
        return std::nullopt;
    }
}

} // namespace

MainWindow::MainWindow(Desktop &desktop, Session &session, OptionsDialog &options, UploadDialog &upload,
                       QWidget *parent)
    : QMainWindow(parent), m_desktop(desktop), m_session(session), m_options(options), m_upload(upload),
      m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    letLabelsPassClicks(this);
    setWindowTitle(windowCaption(windowTitle(), QString::fromLatin1(version::productVersion),
                                 QString::fromLatin1(version::fileVersion)));

    // Editors: flat single-line border, navy while focused, and a pale
    // yellow background.
    setStyleSheet(u"QLineEdit, QPlainTextEdit, QDateEdit {"
                  " border: 1px solid rgb(160, 160, 160); background: rgb(255, 255, 244); }"
                  "QLineEdit:focus, QPlainTextEdit:focus, QDateEdit:focus { border-color: navy; }"_s);
    m_ui->DBCheckBox1->setText({});

    m_extraFields = new ExtraFieldsGroup(m_ui->centralWidget);
    connect(m_extraFields, &ExtraFieldsGroup::edited, this, &MainWindow::editorEdited);
    m_photos = new PhotoStrip(desktop, m_ui->centralWidget);
    m_photos->setKeyForAdding([this] {
        postPendingEdit();
        return PhotoStore::currentListingKey(*table());
    });

    // The grid takes what the window grows by; the rest keeps to the bottom.
    m_ui->centralWidget->installEventFilter(this);
    resize(690, referenceHeight + menuBar()->sizeHint().height());

    auto *firstMenu = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(firstMenu, &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(m_ui->mnuDatei->menuAction()); });

    connect(m_ui->miOptionen, &QAction::triggered, m_ui->acOptionen, &QAction::trigger);
    connect(m_ui->acOptionen, &QAction::triggered, this, &MainWindow::acOptionenExecute);
    connect(m_ui->acBeenden, &QAction::triggered, this, &MainWindow::acBeendenExecute);
    connect(m_ui->acGenerate, &QAction::triggered, this, &MainWindow::acGenerateExecute);
    connect(m_ui->acHTMLshow, &QAction::triggered, this, &MainWindow::acHTMLshowExecute);
    connect(m_ui->asFTPupload, &QAction::triggered, this, &MainWindow::asFTPuploadExecute);
    connect(m_ui->mnuProjekt, &QMenu::aboutToShow, this, &MainWindow::miProjektClick);

    const auto sortItem = [this](QAction *item, auto set, const QString &value) {
        connect(item, &QAction::triggered, this, [this, set, value] { (this->*set)(value); });
    };
    sortItem(m_ui->miSortWohnung, &MainWindow::setSortField, u"Wohnung"_s);
    sortItem(m_ui->miSortStrasse, &MainWindow::setSortField, u"Strasse"_s);
    sortItem(m_ui->miSortOrt, &MainWindow::setSortField, u"Ort"_s);
    sortItem(m_ui->miSortAktiv, &MainWindow::setSortField, u"Status"_s);
    sortItem(m_ui->miSortAufsteigend, &MainWindow::setSortOrder, u"ASC"_s);
    sortItem(m_ui->miSortAbsteigend, &MainWindow::setSortOrder, u"DESC"_s);

    connect(m_ui->DBNavigator1, &RecordNavigator::clicked, this, &MainWindow::navigatorClicked);
    connect(m_ui->DBGrid1, &ListingGrid::cellEdited, this, &MainWindow::editorEdited);
    connect(m_ui->DBGrid1, &ListingGrid::titleClicked, this, &MainWindow::sortByTitle);
    connect(m_ui->DBGrid1, &ListingGrid::cellRejected, this,
            [this](const QString &message) { showDefaultError(m_desktop, this, message); });
    connect(m_ui->dbeFlaeche, &NumberEdit::valueEdited, this, &MainWindow::editorEdited);
    connect(m_ui->dbeMiete, &NumberEdit::valueEdited, this, &MainWindow::editorEdited);
    connect(m_ui->dbeNebenkosten, &NumberEdit::valueEdited, this, &MainWindow::editorEdited);
    connect(m_ui->dbeZuMietenAb, &DateEdit::valueEdited, this, &MainWindow::editorEdited);
    connect(m_ui->DBCheckBox1, &StatusCheckBox::valueEdited, this, &MainWindow::editorEdited);
    for (QLineEdit *edit : {m_ui->dbeWohnung, m_ui->dbeStrasse, m_ui->dbePLZ, m_ui->dbeOrt})
        connect(edit, &QLineEdit::textEdited, this, &MainWindow::editorEdited);
    connect(m_ui->dbeBeschreibung, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_syncing && m_ui->dbeBeschreibung->document()->isModified())
            editorEdited();
    });

    m_ui->acHTMLshow->setEnabled(false);
    m_ui->asFTPupload->setEnabled(false);
    setSortMarks();
    updateControls();
}

MainWindow::~MainWindow() = default;

template<typename Command>
void MainWindow::command(Command &&run)
{
    runCommand(m_desktop, this, std::forward<Command>(run));
}

ListingTable *MainWindow::table() const
{
    return &m_session.data().table();
}

// ------------------------------------------------------------------ start-up

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (const QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // Start once the window is on screen, so that the messages of the
    // start-up sequence appear over it.
    QTimer::singleShot(0, this, &MainWindow::formShow);
}

void MainWindow::formShow()
{
    bindTable();
    command([this] {
        m_options.loadSettings();
        if (!m_session.settingsFileExists()) {
            // First start: the user creates the connection string.
            showOptions(OptionsDialog::DatabasePage);
            return;
        }
        if (!connectDatabase(m_session.storedConnectionString()))
            showOptions(OptionsDialog::DatabasePage);
        checkTableOpen();
        m_sortField = u"Wohnung"_s;
        m_sortOrder = u"ASC"_s;
        applySort();
    });
    m_startupDone = true;
}

bool MainWindow::connectDatabase(const QString &connectionString)
{
    if (m_session.connectDatabase(connectionString))
        return true;
    m_desktop.errorMessage(this, connectionFailedText);
    return false;
}

bool MainWindow::showOptions(int page)
{
    const QString before = m_session.data().connection().connectionString();
    m_options.showOnPage(page);
    const QString after = fromWindows1252(m_session.settings().connectionString);
    if (m_options.result() != QDialog::Accepted || after == before)
        return false;
    // The user expects the listings of the database just chosen, not an
    // empty window until the next start.
    connectDatabase(after);
    checkTableOpen();
    if (m_sortField.isEmpty() && m_sortOrder.isEmpty()) {
        m_sortField = u"Wohnung"_s;
        m_sortOrder = u"ASC"_s;
    }
    applySort();
    return true;
}

void MainWindow::checkTableOpen()
{
    if (!m_session.openTable())
        m_desktop.errorMessage(this, tableFailedText);
    updateControls();
}

// ------------------------------------------------------------------- sorting

void MainWindow::setSortField(const QString &field)
{
    changeSort(m_sortField, field);
}

void MainWindow::setSortOrder(const QString &order)
{
    changeSort(m_sortOrder, order);
}

// Sets one half of the sort and applies it; when that fails the half and
// the check marks return to what the table is sorted by.
void MainWindow::changeSort(QString &half, const QString &value)
{
    const QString previous = half;
    half = value;
    command([this, &half, &previous] {
        try {
            applySort();
        } catch (...) {
            half = previous;
            setSortMarks();
            throw;
        }
    });
}

void MainWindow::setSortMarks()
{
    m_ui->miSortWohnung->setChecked(m_sortField == u"Wohnung"_s);
    m_ui->miSortStrasse->setChecked(m_sortField == u"Strasse"_s);
    m_ui->miSortOrt->setChecked(m_sortField == u"Ort"_s);
    m_ui->miSortAktiv->setChecked(m_sortField == u"Status"_s);
    m_ui->miSortAufsteigend->setChecked(m_sortOrder == u"ASC"_s);
    m_ui->miSortAbsteigend->setChecked(m_sortOrder == u"DESC"_s);
    m_ui->DBGrid1->showSortColumn(m_sortField, m_sortOrder == u"DESC"_s);
}

// A title click does what the "Sortierung" menu does: a new column keeps
// the order, the column sorted by already reverses it.
void MainWindow::sortByTitle(const QString &field)
{
    const std::pair<const char *, QAction *> items[] = {
        {"Wohnung", m_ui->miSortWohnung}, {"Strasse", m_ui->miSortStrasse},
        {"Ort", m_ui->miSortOrt},         {"Status", m_ui->miSortAktiv}};
    for (const auto &[name, item] : items) {
        if (field.compare(QLatin1StringView(name), Qt::CaseInsensitive) != 0)
            continue;
        if (m_sortField == QLatin1StringView(name))
            (m_sortOrder == u"DESC"_s ? m_ui->miSortAufsteigend : m_ui->miSortAbsteigend)->trigger();
        else
            item->trigger();
    }
    // The header flips its own mark on any click; it shows the sort in force.
    setSortMarks();
}

void MainWindow::applySort()
{
    postPendingEdit();
    setSortMarks();
    table()->setSort(m_sortField + u' ' + m_sortOrder);
}

// ------------------------------------------------------------------ commands

namespace {

bool isEditing(const ListingTable *listings)
{
    return listings
        && (listings->state() == ListingTable::State::Edit || listings->state() == ListingTable::State::Insert);
}

} // namespace

void MainWindow::submitEditors()
{
    m_ui->DBGrid1->commitCell();
    if (!isEditing(table()))
        return;
    for (const NumberEdit *edit : {m_ui->dbeFlaeche, m_ui->dbeMiete, m_ui->dbeNebenkosten}) {
        if (!edit->hasValidText())
            throw Error(toWindows1252(edit->invalidTextMessage()));
    }
    m_syncing = true;
    m_mapper->submit();
    m_syncing = false;
}

void MainWindow::postPendingEdit()
{
    m_photos->retitleSelected();
    submitEditors();
    if (ListingTable *listings = table(); isEditing(listings))
        listings->post();
}

void MainWindow::acOptionenExecute()
{
    command([this] {
        postPendingEdit();
        if (!showOptions(OptionsDialog::TemplatePage))
            checkTableOpen();
    });
}

void MainWindow::acBeendenExecute()
{
    command([this] {
        postPendingEdit();
        close();
    });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The close box saves the listing being edited as "Beenden" does, rather
    // than dropping it; when that fails the window stays open with the error.
    if (!runCommand(m_desktop, this, [this] { postPendingEdit(); })) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void MainWindow::acGenerateExecute()
{
    command([this] {
        postPendingEdit();
        const PublishResult result = [this] {
            const BusyCursor busy;
            return m_session.generate();
        }();
        updateControls();
        switch (result.outcome) {
        case PublishResult::Outcome::NoTable:
        case PublishResult::Outcome::NoTemplate:
            // Nothing was written: say so instead of announcing pages, and
            // leave earlier pages' commands as they were.
            m_desktop.errorMessage(this, result.message);
            return;
        case PublishResult::Outcome::Failed:
            showDefaultError(m_desktop, this, result.message);
            showUnknownNames(result.unknownNames);
            return;
        case PublishResult::Outcome::PagesWritten:
        case PublishResult::Outcome::Checked:
            break;
        }
        m_generated = true;
        showUnknownNames(result.unknownNames);
        if (!result.warnings.isEmpty())
            m_desktop.messageBox(this, u"Warnung"_s, numberWarningText(result.warnings), QMessageBox::Ok,
                                 QMessageBox::Warning);
        const auto answer = m_desktop.messageBox(
            this, u"Information"_s,
            u"Die HTML-Seiten wurden erzeugt.\r\n\r\nWollen Sie sie ansehen ?"_s,
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Information);
        if (answer == QMessageBox::Yes)
            acHTMLshowExecute();
    });
}

void MainWindow::showUnknownNames(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    m_desktop.messageBox(this, u"Warnung"_s,
                         u"Die Vorlage enthält Namen, die Kaviro nicht kennt:\r\n\r\n"_s + lines.join(u"\r\n"_s),
                         QMessageBox::Ok, QMessageBox::Warning);
}

void MainWindow::acHTMLshowExecute()
{
    if (!m_generated)
        return;
    const std::string firstPage = m_session.generator().pageFileName(1);
    m_desktop.openFile(QString::fromStdString(cp1252ToUtf8(firstPage)));
}

void MainWindow::asFTPuploadExecute()
{
    command([this] { m_upload.upload(); });
}

void MainWindow::miProjektClick()
{
    m_ui->acHTMLshow->setEnabled(m_generated);
    // One upload at a time: its waits keep this window usable meanwhile.
    m_ui->asFTPupload->setEnabled(m_generated && !m_upload.isRunning());
}

// ------------------------------------------------------------ table binding

void MainWindow::bindTable()
{
    ListingTable *listings = table();
    if (!listings || listings == m_boundTable)
        return;
    m_boundTable = listings;
    m_ui->DBGrid1->setListingModel(listings->model());

    m_mapper = new QDataWidgetMapper(this);
    m_mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    m_mapper->setItemDelegate(new EditorDelegate(m_mapper));
    m_mapper->setModel(listings->model());
    mapEditors();

    connect(listings, &ListingTable::currentRowChanged, this, &MainWindow::showCurrentRow);
    connect(listings, &ListingTable::stateChanged, this, &MainWindow::updateControls);
    connect(listings, &ListingTable::activeChanged, this, [this] {
        mapEditors();
        showCurrentRow();
    });
    connect(m_ui->DBGrid1, &ListingGrid::rowChosen, this, [this](int row) {
        if (!m_syncing)
            gridRowChosen(row);
    });
    showCurrentRow();
}

// Column positions belong to the table as opened, so the editors are mapped
// anew at each opening. Each editor is found by the name the column table
// gives it.
void MainWindow::mapEditors()
{
    ListingTable *listings = table();
    m_mapper->clearMapping();
    for (const ListingColumn &column : listingColumns) {
        auto *editor = column.editor.empty() ? nullptr : findChild<QWidget *>(QString::fromLatin1(column.editor));
        if (!editor)
            continue;
        if (auto *number = qobject_cast<NumberEdit *>(editor))
            number->setDisplayFormat(column.decimals, column.grouped);
        if (listings->isOpen())
            m_mapper->addMapping(editor, listings->columnIndex(QString::fromLatin1(column.name)));
    }
    m_extraFields->setColumns(listings->isOpen() ? listings->extraColumns() : std::vector<ExtraColumn>());
    for (const auto &[editor, name] : m_extraFields->editors())
        m_mapper->addMapping(editor, listings->columnIndex(name));
    m_photos->setDatabase(listings->isOpen() ? m_session.data().connection().database() : QSqlDatabase());
    layOutBelowEditors();
}

// The groups go below the fixed editors, whose layout stays as it is; the
// window grows by their heights, and only while they are shown.
void MainWindow::layOutBelowEditors()
{
    QPoint topLeft = belowEditorsTopLeft + QPoint(0, m_belowGridShift);
    int total = 0;
    for (QWidget *group : std::initializer_list<QWidget *>{m_extraFields, m_photos}) {
        const int height = group->isHidden() ? 0 : group->sizeHint().height();
        group->setGeometry(QRect(topLeft, QSize(belowEditorsWidth, height)));
        if (height > 0) {
            topLeft.ry() += height + belowEditorsMargin;
            total += height + belowEditorsMargin;
        }
    }
    const int growth = total - m_belowEditorsHeight;
    m_belowEditorsHeight = total;
    if (growth != 0)
        resize(width(), this->height() + growth);
}

void MainWindow::showCurrentRow()
{
    ListingTable *listings = table();
    if (!listings || !m_mapper || listings->viewsPaused())
        return;
    m_syncing = true;
    const int row = listings->isOpen() ? listings->currentRow() : -1;
    if (row >= 0) {
        m_mapper->setCurrentIndex(row);
    } else {
        for (QLineEdit *edit : {m_ui->dbeWohnung, m_ui->dbeStrasse, m_ui->dbePLZ, m_ui->dbeOrt})
            edit->clear();
        m_ui->dbeBeschreibung->clear();
        for (NumberEdit *edit : {m_ui->dbeFlaeche, m_ui->dbeMiete, m_ui->dbeNebenkosten})
            edit->setValue({});
        m_ui->dbeZuMietenAb->setValue({});
        m_ui->DBCheckBox1->setValue({});
    }
    m_ui->dbeBeschreibung->document()->setModified(false);
    const QDateTime stamp = row >= 0 ? listings->dateTime(u"Timestamp"_s) : QDateTime();
    m_ui->dbtTimestamp->setText(fromWindows1252(formatListingDate(stamp, QLocale::system())));
    m_ui->dbtTimestamp->adjustSize();
    m_photos->showListing(row >= 0 && listings->state() != ListingTable::State::Insert
                              ? storedListingKey(*listings)
                              : std::nullopt);
    if (row >= 0) {
        const QAbstractItemModel *model = m_ui->DBGrid1->model();
        int column = m_ui->DBGrid1->currentColumn();
        if (column < 0)
            column = m_ui->DBGrid1->columnOf("Wohnung");
        const QModelIndex cell = model->index(row, std::max(column, 0));
        m_ui->DBGrid1->setCurrentIndex(cell);
        m_ui->DBGrid1->scrollTo(cell);
    } else {
        m_ui->DBGrid1->setCurrentIndex({});
    }
    m_syncing = false;
    updateControls();
}

void MainWindow::gridRowChosen(int row)
{
    ListingTable *listings = table();
    if (!listings || row == listings->currentRow())
        return;
    command([this, listings, row] {
        submitEditors();
        listings->setCurrentRow(row);
    });
    showCurrentRow();
}

void MainWindow::editorEdited()
{
    ListingTable *listings = table();
    if (m_syncing || !listings || !listings->isOpen())
        return;
    if (listings->state() == ListingTable::State::Browse)
        command([listings] { listings->edit(); });
}

void MainWindow::navigatorClicked(RecordNavigator::Button which)
{
    ListingTable *listings = table();
    if (!listings)
        return;
    command([this, listings, which] {
        switch (which) {
        case RecordNavigator::First:
            submitEditors();
            listings->first();
            break;
        case RecordNavigator::Prior:
            submitEditors();
            listings->prior();
            break;
        case RecordNavigator::Next:
            submitEditors();
            listings->next();
            break;
        case RecordNavigator::Last:
            submitEditors();
            listings->last();
            break;
        case RecordNavigator::Insert:
            submitEditors();
            listings->insert();
            m_ui->dbeWohnung->setFocus();
            break;
        case RecordNavigator::Delete:
            if (m_desktop.messageBox(this, u"Bestätigung"_s, u"Datensatz löschen?"_s,
                                         QMessageBox::Ok | QMessageBox::Cancel,
                                         QMessageBox::Question)
                == QMessageBox::Ok) {
                m_ui->DBGrid1->discardCell();
                listings->deleteRow();
            }
            break;
        case RecordNavigator::Edit:
            listings->edit();
            break;
        case RecordNavigator::Post:
            postPendingEdit();
            break;
        case RecordNavigator::Cancel:
            m_ui->DBGrid1->discardCell();
            listings->cancel();
            break;
        case RecordNavigator::Refresh:
            submitEditors();
            listings->refresh();
            m_photos->refresh();
            break;
        }
    });
    showCurrentRow();
}

void MainWindow::updateControls()
{
    ListingTable *listings = table();
    const bool open = listings && listings->isOpen();
    // Only the neighbours of the current row are asked for: counting the
    // rows would read the whole table into the model.
    const bool any = open && listings->currentRow() >= 0;
    const bool before = open && listings->hasPrior();
    const bool after = open && listings->hasNext();
    const bool browsing = open && listings->state() == ListingTable::State::Browse;
    const bool editing = open && !browsing;
    RecordNavigator &nav = *m_ui->DBNavigator1;
    nav.setButtonEnabled(RecordNavigator::First, before);
    nav.setButtonEnabled(RecordNavigator::Prior, before);
    nav.setButtonEnabled(RecordNavigator::Next, after);
    nav.setButtonEnabled(RecordNavigator::Last, after);
    nav.setButtonEnabled(RecordNavigator::Insert, open);
    nav.setButtonEnabled(RecordNavigator::Delete, any);
    nav.setButtonEnabled(RecordNavigator::Edit, browsing && any);
    nav.setButtonEnabled(RecordNavigator::Post, editing);
    nav.setButtonEnabled(RecordNavigator::Cancel, editing);
    nav.setButtonEnabled(RecordNavigator::Refresh, open);

    const bool editable = any || editing;
    for (QWidget *editor : std::initializer_list<QWidget *>{
             m_ui->dbeWohnung, m_ui->dbeFlaeche, m_ui->dbeStrasse, m_ui->dbePLZ, m_ui->dbeOrt,
             m_ui->dbeBeschreibung, m_ui->dbeMiete, m_ui->dbeNebenkosten, m_ui->dbeZuMietenAb,
             m_ui->DBCheckBox1})
        editor->setEnabled(editable);
    m_extraFields->setEditorsEnabled(editable);
    m_photos->setCommandsEnabled(editable);

    m_ui->acGenerate->setEnabled(!m_uploadRunning);
    m_ui->acOptionen->setEnabled(!m_uploadRunning);
    m_ui->miOptionen->setEnabled(!m_uploadRunning);
}

void MainWindow::setUploadRunning(bool running)
{
    m_uploadRunning = running;
    updateControls();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->centralWidget && event->type() == QEvent::Resize) {
        const int extra = std::max(0, m_ui->centralWidget->height() - referenceHeight - m_belowEditorsHeight);
        QRect grid = m_ui->DBGrid1->geometry();
        grid.setWidth(std::max(0, m_ui->centralWidget->width() - 2 * grid.x()));
        grid.setHeight(referenceGridHeight + extra);
        m_ui->DBGrid1->setGeometry(grid);
        for (QWidget *control : m_ui->centralWidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (control != m_ui->DBGrid1)
                control->move(control->x(), control->y() + extra - m_belowGridShift);
        }
        m_belowGridShift = extra;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace kaviro
