#pragma once

#include "generator/photosource.h"
#include "generator/webdata.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace kaviro {

class ListingTable;

// Fills the photos of each snapshot row from the table Bilder (titles and
// sizes; the bytes stay in the database until the files are written).
void addPhotosToSnapshot(const QSqlDatabase &db, WebData &snapshot);

// A photo as the table Bilder holds it.
struct StoredPhoto {
    qint64 id = 0;
    QString title;
    int width = 0;
    int height = 0;
};

// An image as Kaviro stores it: JPEG, no metadata.
struct PreparedImage {
    QByteArray jpeg;
    int width = 0;
    int height = 0;
};

inline constexpr int largePhotoSide = 2000;
inline constexpr int thumbnailSide = 400;

// The file's image turned upright by its EXIF orientation, scaled so its
// long side is at most longSide, as JPEG of quality 85 (which keeps no
// metadata, no GPS position). A file that is no readable image throws
// kaviro::Error naming it.
PreparedImage prepareImageFile(const QString &path, int longSide = largePhotoSide);
// The same for stored JPEG bytes (the thumbnails).
PreparedImage scaledImage(const QByteArray &jpeg, int longSide);

// The photos of the listings in the table Bilder beside Wohnungen. A
// database without that table has no photos; every call then throws, so ask
// available() first. Each change is one transaction. Errors are
// kaviro::Error with German texts.
class PhotoStore : public PhotoSource {
public:
    explicit PhotoStore(QSqlDatabase db) : m_db(std::move(db)) {}

    static bool available(const QSqlDatabase &db);
    // The key of the table's current listing; throws when the table has no
    // single key column or the listing is not stored yet.
    static qint64 currentListingKey(const ListingTable &table);

    // In their order.
    QList<StoredPhoto> photos(qint64 listing) const;
    QByteArray image(qint64 photo) const;
    // Appended after the listing's other photos.
    StoredPhoto add(qint64 listing, const QString &path, const QString &title = {});
    void remove(qint64 photo);
    // Moves the photo steps places on (negative: towards the front), within
    // the listing's photos.
    void move(qint64 photo, int steps);
    void setTitle(qint64 photo, const QString &title);

    std::string largeImage(std::int64_t photoId) const override;
    std::string thumbnailOf(const std::string &large) const override;

private:
    QString table() const;
    QString field(const char *name) const;
    qint64 listingOf(qint64 photo) const;
    void renumber(qint64 listing, const QList<qint64> &order);

    QSqlDatabase m_db;
};

} // namespace kaviro
