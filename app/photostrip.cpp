#include "app/photostrip.h"

#include "desktop/desktop.h"
#include "store/windows1252.h"

#include <QBuffer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kaviro {

namespace {

constexpr QSize thumbnailSize(120, 90);
// Thumbnails kept decoded: a few listings' worth, so that paging through
// the table does not read every photo again.
constexpr int cachedThumbnails = 200;
constexpr int photoIdRole = Qt::UserRole;
constexpr int photoTitleRole = Qt::UserRole + 1;

QStringList localFiles(const QMimeData *mime)
{
    QStringList files;
    if (!mime)
        return files;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    return files;
}

QString imagePatterns()
{
    QStringList patterns;
    for (const QByteArray &suffix : QImageReader::supportedImageFormats())
        patterns << u"*."_s + QString::fromLatin1(suffix);
    return patterns.join(u';');
}

} // namespace

PhotoStrip::PhotoStrip(Desktop &desktop, QWidget *parent)
    : QGroupBox(u"Fotos"_s, parent), m_desktop(desktop), m_thumbnails(cachedThumbnails),
      m_list(new QListWidget(this)), m_add(new QPushButton(u"Hinzufügen ..."_s, this)),
      m_remove(new QPushButton(u"Entfernen"_s, this)), m_left(new QPushButton(u"◀"_s, this)),
      m_right(new QPushButton(u"▶"_s, this)), m_title(new QLineEdit(this))
{
    setObjectName(u"grpFotos"_s);
    m_list->setObjectName(u"lstFotos"_s);
    m_list->setViewMode(QListView::IconMode);
    m_list->setFlow(QListView::LeftToRight);
    m_list->setWrapping(false);
    m_list->setMovement(QListView::Static);
    m_list->setIconSize(thumbnailSize);
    m_list->setGridSize(thumbnailSize + QSize(12, 28));
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setFixedHeight(thumbnailSize.height() + 50);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAcceptDrops(false);
    m_add->setObjectName(u"btnFotoHinzufuegen"_s);
    m_remove->setObjectName(u"btnFotoEntfernen"_s);
    m_left->setObjectName(u"btnFotoLinks"_s);
    m_right->setObjectName(u"btnFotoRechts"_s);
    for (QPushButton *arrow : {m_left, m_right})
        arrow->setFixedWidth(arrow->sizeHint().height() + 8);
    m_left->setToolTip(u"Foto nach links"_s);
    m_right->setToolTip(u"Foto nach rechts"_s);
    m_title->setObjectName(u"edtFotoTitel"_s);
    m_title->setMaxLength(200);
    setAcceptDrops(true);

    auto *title = new QLabel(u"Titel"_s, this);
    title->setBuddy(m_title);
    auto *commands = new QHBoxLayout;
    commands->addWidget(m_add);
    commands->addWidget(m_remove);
    commands->addWidget(m_left);
    commands->addWidget(m_right);
    commands->addSpacing(8);
    commands->addWidget(title);
    commands->addWidget(m_title, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(commands);

    connect(m_add, &QPushButton::clicked, this, &PhotoStrip::addPhotos);
    connect(m_remove, &QPushButton::clicked, this, &PhotoStrip::removeSelected);
    connect(m_left, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(m_right, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(m_title, &QLineEdit::editingFinished, this, &PhotoStrip::retitleSelected);
    connect(m_list, &QListWidget::currentItemChanged, this, [this] {
        const QListWidgetItem *item = m_list->currentItem();
        m_title->setText(item ? item->data(photoTitleRole).toString() : QString());
        updateButtons();
    });
    setVisible(false);
    updateButtons();
}

PhotoStrip::~PhotoStrip() = default;

void PhotoStrip::setDatabase(const QSqlDatabase &db)
{
    m_store.reset();
    m_thumbnails.clear();
    m_listing.reset();
    m_list->clear();
    if (db.isValid() && db.isOpen() && PhotoStore::available(db))
        m_store.emplace(db);
    setVisible(available());
    updateButtons();
}

void PhotoStrip::showListing(std::optional<qint64> listing)
{
    // The window shows its current row more than once per move; the list
    // already holds this listing's photos then.
    if (listing == m_listing)
        return;
    // The navigator takes no focus, so a title typed without Enter is
    // written here rather than lost.
    retitleSelected();
    m_listing = listing;
    reload();
}

void PhotoStrip::refresh()
{
    reload();
}

void PhotoStrip::setCommandsEnabled(bool enabled)
{
    m_enabled = enabled;
    updateButtons();
}

void PhotoStrip::reload(std::optional<qint64> select)
{
    if (!select)
        select = selectedPhoto();
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    if (m_store && m_listing) {
        runCommand(m_desktop, this, [&] {
            for (const StoredPhoto &photo : m_store->photos(*m_listing)) {
                auto *item = new QListWidgetItem(thumbnail(photo), photo.title, m_list);
                item->setData(photoIdRole, photo.id);
                item->setData(photoTitleRole, photo.title);
                item->setToolTip(u"%1 (%2 × %3)"_s.arg(photo.title).arg(photo.width).arg(photo.height).trimmed());
                if (select == photo.id)
                    m_list->setCurrentItem(item);
            }
        });
    }
    const QListWidgetItem *item = m_list->currentItem();
    m_title->setText(item ? item->data(photoTitleRole).toString() : QString());
    updateButtons();
}

QIcon PhotoStrip::thumbnail(const StoredPhoto &photo)
{
    if (const QIcon *cached = m_thumbnails.object(photo.id))
        return *cached;
    QBuffer bytes;
    bytes.setData(m_store->image(photo.id));
    bytes.open(QIODevice::ReadOnly);
    QImageReader reader(&bytes);
    // JPEG decodes straight to a small size, far faster than at full size.
    if (photo.width > 0 && photo.height > 0)
        reader.setScaledSize(QSize(photo.width, photo.height).scaled(thumbnailSize, Qt::KeepAspectRatio));
    auto *icon = new QIcon(QPixmap::fromImage(reader.read()));
    m_thumbnails.insert(photo.id, icon);
    return *icon;
}

std::optional<qint64> PhotoStrip::selectedPhoto() const
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return std::nullopt;
    return item->data(photoIdRole).toLongLong();
}

void PhotoStrip::updateButtons()
{
    const int row = m_list->currentRow();
    const bool chosen = m_enabled && row >= 0;
    m_add->setEnabled(m_enabled && m_store);
    m_remove->setEnabled(chosen);
    m_left->setEnabled(chosen && row > 0);
    m_right->setEnabled(chosen && row < m_list->count() - 1);
    m_title->setEnabled(chosen);
}

void PhotoStrip::addPhotos()
{
    if (!m_store || !m_enabled)
        return;
    Desktop::OpenFileRequest request;
    request.title = u"Fotos hinzufügen"_s;
    request.filters = {{u"Bilder"_s, imagePatterns()}, {u"Alle Dateien (*.*)"_s, u"*.*"_s}};
    addFiles(m_desktop.openFileNames(window(), request));
}

void PhotoStrip::addFiles(const QStringList &paths)
{
    if (!m_store || !m_enabled || paths.isEmpty())
        return;
    std::optional<qint64> listing = m_listing;
    if (!listing && !runCommand(m_desktop, this, [&] { listing = m_keyForAdding(); }))
        return;
    m_listing = listing;

    QProgressDialog progress(u"Fotos werden hinzugefügt ..."_s, u"Abbrechen"_s, 0, int(paths.size()), window());
    progress.setWindowTitle(applicationTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    QStringList refused;
    std::optional<qint64> added;
    for (qsizetype i = 0; i < paths.size() && !progress.wasCanceled(); ++i) {
        progress.setValue(int(i));
        try {
            added = m_store->add(*listing, paths.at(i)).id;
        } catch (const std::exception &error) {
            refused << exceptionText(error);
        }
    }
    progress.setValue(int(paths.size()));
    reload(added);
    if (!refused.isEmpty())
        showDefaultError(m_desktop, window(), refused.join(u"\r\n"_s));
}

void PhotoStrip::removeSelected()
{
    const std::optional<qint64> photo = selectedPhoto();
    if (!m_store || !m_enabled || !photo)
        return;
    const QString title = m_list->currentItem()->data(photoTitleRole).toString();
    const QString question = title.isEmpty() ? u"Foto löschen?"_s : u"Foto \"%1\" löschen?"_s.arg(title);
    if (m_desktop.messageBox(window(), u"Bestätigung"_s, question, QMessageBox::Ok | QMessageBox::Cancel,
                             QMessageBox::Question)
        != QMessageBox::Ok)
        return;
    // The neighbour takes the selection, so that several can go in a row.
    const int row = m_list->currentRow();
    const QListWidgetItem *next = m_list->item(row + 1) ? m_list->item(row + 1) : m_list->item(row - 1);
    const std::optional<qint64> neighbour =
        next ? std::optional<qint64>(next->data(photoIdRole).toLongLong()) : std::nullopt;
    runCommand(m_desktop, window(), [&] { m_store->remove(*photo); });
    m_thumbnails.remove(*photo);
    m_list->setCurrentItem(nullptr);
    reload(neighbour);
}

void PhotoStrip::moveSelected(int steps)
{
    const std::optional<qint64> photo = selectedPhoto();
    if (!m_store || !m_enabled || !photo)
        return;
    runCommand(m_desktop, window(), [&] { m_store->move(*photo, steps); });
    reload(photo);
}

void PhotoStrip::retitleSelected()
{
    QListWidgetItem *item = m_list->currentItem();
    if (!m_store || !m_enabled || !item)
        return;
    const QString title = m_title->text().trimmed();
    if (title == item->data(photoTitleRole).toString())
        return;
    if (runCommand(m_desktop, window(), [&] { m_store->setTitle(item->data(photoIdRole).toLongLong(), title); })) {
        item->setText(title);
        item->setData(photoTitleRole, title);
    }
}

void PhotoStrip::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_store && m_enabled && !localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void PhotoStrip::dropEvent(QDropEvent *event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Not inside the drop: the drag's source waits until the drop returns.
    QTimer::singleShot(0, this, [this, files] { addFiles(files); });
}

} // namespace kaviro
