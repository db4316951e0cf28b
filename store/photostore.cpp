#include "store/photostore.h"

#include "common/error.h"
#include "store/listingtable.h"
#include "store/windows1252.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <unordered_map>

namespace kaviro {

namespace {

const QString photoTable = QStringLiteral("Bilder");

PreparedImage encoded(QImageReader &reader, int longSide, const QString &name)
{
    reader.setAutoTransform(true);
    // Scaled while decoding: a large JPEG is then read at a fraction of
    // its cost.
    const QSize size = reader.size();
    if (size.isValid() && std::max(size.width(), size.height()) > longSide) {
        QSize scaled = size;
        // The orientation may swap the sides; the long side stays the long side.
        scaled.scale(longSide, longSide, Qt::KeepAspectRatio);
        reader.setScaledSize(scaled);
    }
    QImage image = reader.read();
    if (image.isNull())
        throw windows1252Error(QStringLiteral("Die Datei \"%1\" ist kein Bild, das Kaviro lesen kann.").arg(name));
    if (std::max(image.width(), image.height()) > longSide)
        image = image.scaled(longSide, longSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (image.hasAlphaChannel()) {
        // JPEG has no transparency: transparent parts become white, not black.
        QImage opaque(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter(&opaque).drawImage(0, 0, image);
        image = opaque;
    }
    PreparedImage prepared;
    QBuffer buffer(&prepared.jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    if (!writer.write(image))
        throw windows1252Error(QStringLiteral("Das Bild \"%1\" konnte nicht umgewandelt werden.").arg(name));
    prepared.width = image.width();
    prepared.height = image.height();
    return prepared;
}

QSqlQuery run(const QSqlDatabase &db, const QString &statement, const QVariantList &values = {})
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        throw windows1252Error(query.lastError().text().trimmed());
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw windows1252Error(query.lastError().text().trimmed());
    return query;
}

// One transaction; rolled back unless committed.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db) : m_db(std::move(db)), m_open(m_db.transaction()) {}
    ~Transaction()
    {
        if (m_open)
            m_db.rollback();
    }
    void commit()
    {
        if (m_open && !m_db.commit())
            throw windows1252Error(m_db.lastError().text().trimmed());
        m_open = false;
    }

private:
    QSqlDatabase m_db;
    bool m_open;
};

} // namespace

PreparedImage prepareImageFile(const QString &path, int longSide)
{
    QImageReader reader(path);
    return encoded(reader, longSide, QFileInfo(path).fileName());
}

PreparedImage scaledImage(const QByteArray &jpeg, int longSide)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return encoded(reader, longSide, QStringLiteral("Bilder"));
}

void addPhotosToSnapshot(const QSqlDatabase &db, WebData &snapshot)
{
    std::unordered_map<std::string, WebDataRow *> byKey;
    for (WebDataRow &row : snapshot) {
        if (!row.key.empty())
            byKey.emplace(row.key, &row);
    }
    if (byKey.empty())
        return;
    const auto name = [&db](const char *field) {
        return db.driver()->escapeIdentifier(QString::fromLatin1(field), QSqlDriver::FieldName);
    };
    QSqlQuery query = run(db, QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6 ORDER BY %1, %7, %2")
                                  .arg(name("WohnungId"), name("Id"), name("Titel"), name("Breite"), name("Hoehe"),
                                       db.driver()->escapeIdentifier(photoTable, QSqlDriver::TableName),
                                       name("Position")));
    while (query.next()) {
        const auto row = byKey.find(query.value(0).toString().toStdString());
        if (row == byKey.end())
            continue;
        row->second->photos.push_back({query.value(1).toLongLong(), toWindows1252(query.value(2).toString()),
                                       query.value(3).toInt(), query.value(4).toInt()});
    }
}

bool PhotoStore::available(const QSqlDatabase &db)
{
    // The table's columns, not the list of tables: PostgreSQL lists tables
    // outside the public schema with their schema's name, though the search
    // path finds them by their own.
    return !db.record(photoTable).isEmpty();
}

qint64 PhotoStore::currentListingKey(const ListingTable &table)
{
    const QStringList key = table.query().primaryKey();
    if (key.size() != 1)
        throw windows1252Error(QStringLiteral(
            "Die Tabelle \"Wohnungen\" hat keinen Schlüssel (Spalte \"Id\"); ohne ihn lassen sich keine Fotos speichern."));
    bool ok = false;
    const qint64 value = table.value(key.first()).toLongLong(&ok);
    if (!ok)
        throw windows1252Error(QStringLiteral("Das Angebot ist noch nicht gespeichert."));
    return value;
}

QString PhotoStore::table() const
{
    return m_db.driver()->escapeIdentifier(photoTable, QSqlDriver::TableName);
}

QString PhotoStore::field(const char *name) const
{
    return m_db.driver()->escapeIdentifier(QString::fromLatin1(name), QSqlDriver::FieldName);
}

QList<StoredPhoto> PhotoStore::photos(qint64 listing) const
{
    QSqlQuery query = run(m_db,
                          QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE %6 = ? ORDER BY %7, %1")
                              .arg(field("Id"), field("Titel"), field("Breite"), field("Hoehe"), table(),
                                   field("WohnungId"), field("Position")),
                          {listing});
    QList<StoredPhoto> list;
    while (query.next())
        list.append({query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toInt(),
                     query.value(3).toInt()});
    return list;
}

QByteArray PhotoStore::image(qint64 photo) const
{
    QSqlQuery query =
        run(m_db, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(field("Bild"), table(), field("Id")), {photo});
    if (!query.next())
        throw windows1252Error(QStringLiteral("Das Foto %1 gibt es nicht mehr.").arg(photo));
    return query.value(0).toByteArray();
}

StoredPhoto PhotoStore::add(qint64 listing, const QString &path, const QString &title)
{
    const PreparedImage prepared = prepareImageFile(path);
    Transaction transaction(m_db);
    QSqlQuery last = run(m_db, QStringLiteral("SELECT MAX(%1) FROM %2 WHERE %3 = ?")
                                   .arg(field("Position"), table(), field("WohnungId")),
                         {listing});
    const int position = last.next() ? last.value(0).toInt() + 1 : 1;
    QSqlQuery insert = run(m_db,
                           QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5, %6, %7) VALUES (?, ?, ?, ?, ?, ?)")
                               .arg(table(), field("WohnungId"), field("Position"), field("Titel"), field("Bild"),
                                    field("Breite"), field("Hoehe")),
                           {listing, position, title, prepared.jpeg, prepared.width, prepared.height});
    qint64 id = insert.lastInsertId().toLongLong();
    if (id == 0) {
        QSqlQuery newest = run(m_db, QStringLiteral("SELECT MAX(%1) FROM %2 WHERE %3 = ?")
                                         .arg(field("Id"), table(), field("WohnungId")),
                               {listing});
        id = newest.next() ? newest.value(0).toLongLong() : 0;
    }
    transaction.commit();
    return {id, title, prepared.width, prepared.height};
}

void PhotoStore::remove(qint64 photo)
{
    run(m_db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table(), field("Id")), {photo});
}

qint64 PhotoStore::listingOf(qint64 photo) const
{
    QSqlQuery query = run(m_db, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(field("WohnungId"), table(), field("Id")),
                          {photo});
    if (!query.next())
        throw windows1252Error(QStringLiteral("Das Foto %1 gibt es nicht mehr.").arg(photo));
    return query.value(0).toLongLong();
}

void PhotoStore::move(qint64 photo, int steps)
{
    const qint64 listing = listingOf(photo);
    QList<qint64> order;
    for (const StoredPhoto &stored : photos(listing))
        order.append(stored.id);
    const qsizetype from = order.indexOf(photo);
    const qsizetype to = std::clamp<qsizetype>(from + steps, 0, order.size() - 1);
    if (from == to)
        return;
    order.move(from, to);
    renumber(listing, order);
}

void PhotoStore::renumber(qint64 listing, const QList<qint64> &order)
{
    Transaction transaction(m_db);
    const QString statement = QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND %4 = ?")
                                  .arg(table(), field("Position"), field("Id"), field("WohnungId"));
    for (qsizetype i = 0; i < order.size(); ++i)
        run(m_db, statement, {int(i + 1), order[i], listing});
    transaction.commit();
}

void PhotoStore::setTitle(qint64 photo, const QString &title)
{
    run(m_db, QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?").arg(table(), field("Titel"), field("Id")),
        {title.isEmpty() ? QVariant() : QVariant(title), photo});
}

std::string PhotoStore::largeImage(std::int64_t photoId) const
{
    return image(photoId).toStdString();
}

std::string PhotoStore::thumbnailOf(const std::string &large) const
{
    return scaledImage(QByteArray::fromStdString(large), thumbnailSide).jpeg.toStdString();
}

} // namespace kaviro
