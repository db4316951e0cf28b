#pragma once

#include "store/photostore.h"

#include <QCache>
#include <QGroupBox>
#include <QIcon>

#include <functional>
#include <optional>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kaviro {

class Desktop;

// The group "Fotos" below the editors: the current listing's photos as
// thumbnails in their order, and the commands to add photos (file dialog, or
// files dropped on the group), remove, move and retitle them. Each command
// changes the database at once, in its own transaction, and shows its
// failures itself. Hidden for a database without the table Bilder.
class PhotoStrip : public QGroupBox {
    Q_OBJECT
public:
    explicit PhotoStrip(Desktop &desktop, QWidget *parent = nullptr);
    ~PhotoStrip() override;

    // Where the photos are; an invalid database or one without the table
    // hides the strip.
    void setDatabase(const QSqlDatabase &db);
    bool available() const { return m_store.has_value(); }
    // The listing whose photos are shown; nothing for one that has no key
    // (yet): then adding asks keyForAdding.
    void showListing(std::optional<qint64> listing);
    // Reads the shown listing's photos again, as others may have changed them.
    void refresh();
    // Writes the pending listing and gives its key, or throws a German
    // kaviro::Error saying why the listing can hold no photos.
    void setKeyForAdding(std::function<qint64()> key) { m_keyForAdding = std::move(key); }
    // Editing a listing is allowed; the commands follow.
    void setCommandsEnabled(bool enabled);

    // The commands, as the buttons and a drop run them.
    void addPhotos();
    void addFiles(const QStringList &paths);
    void removeSelected();
    void moveSelected(int steps);
    // Writes a changed title of the chosen photo; also run before the strip
    // shows another listing and before the window's commands.
    void retitleSelected();

    QListWidget *photoList() const { return m_list; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void reload(std::optional<qint64> select = std::nullopt);
    QIcon thumbnail(const StoredPhoto &photo);
    std::optional<qint64> selectedPhoto() const;
    void updateButtons();

    Desktop &m_desktop;
    std::optional<PhotoStore> m_store;
    std::optional<qint64> m_listing;
    std::function<qint64()> m_keyForAdding;
    bool m_enabled = false;
    QCache<qint64, QIcon> m_thumbnails;
    QListWidget *m_list;
    QPushButton *m_add;
    QPushButton *m_remove;
    QPushButton *m_left;
    QPushButton *m_right;
    QLineEdit *m_title;
};

} // namespace kaviro
