// Helper of photo_bench.sh: gives each listing of an SQLite database made by
// kaviro-createdb PER photos of 2000 x 1333 pixels, JPEG of quality 85, as
// the photo store keeps a camera's photo. The pictures are the demo photos
// scaled up with a grain of noise on every pixel, so that they compress like
// photographs rather than like drawings. They are stored as bytes: the
// store would encode each once more, which takes minutes for thousands and
// is no part of a generation.
// Usage: kaviro_photo_bench_data DB PER_LISTING

#include "store/photostore.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int photoWidth = kaviro::largePhotoSide;
constexpr int photoHeight = photoWidth * 2 / 3;

QByteArray photograph(const QString &picture, quint32 seed)
{
    QImage image = QImage(picture)
                       .scaled(photoWidth, photoHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB32);
    quint32 state = seed;
    const auto grain = [&state](int value) {
        state = state * 1664525u + 1013904223u;
        return std::clamp(value + int(state >> 27) - 16, 0, 255);
    };
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(grain(qRed(line[x])), grain(qGreen(line[x])), grain(qBlue(line[x])));
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    if (!writer.write(image) || image.isNull())
        std::exit(1);
    return jpeg;
}

bool fail(const QString &what, const QSqlError &error)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(what), qPrintable(error.text()));
    return false;
}

bool addPhotos(QSqlDatabase &db, const QList<QByteArray> &pictures, int perListing)
{
    QSqlQuery keys(QStringLiteral("SELECT \"Id\" FROM \"Wohnungen\" ORDER BY \"Id\""), db);
    QList<qint64> listings;
    while (keys.next())
        listings.append(keys.value(0).toLongLong());
    if (!db.transaction())
        return fail(QStringLiteral("BEGIN"), db.lastError());
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO \"Bilder\" (\"WohnungId\", \"Position\", \"Titel\", \"Bild\", "
                                  "\"Breite\", \"Hoehe\") VALUES (?, ?, ?, ?, ?, ?)"));
    qsizetype next = 0;
    for (const qint64 listing : listings) {
        for (int position = 1; position <= perListing; ++position) {
            insert.addBindValue(listing);
            insert.addBindValue(position);
            insert.addBindValue(QStringLiteral("Foto %1 der Wohnung %2").arg(position).arg(listing));
            insert.addBindValue(pictures[next++ % pictures.size()]);
            insert.addBindValue(photoWidth);
            insert.addBindValue(photoHeight);
            if (!insert.exec())
                return fail(QStringLiteral("INSERT"), insert.lastError());
        }
    }
    if (!db.commit())
        return fail(QStringLiteral("COMMIT"), db.lastError());
    std::printf("%lld Fotos\n", static_cast<long long>(listings.size()) * perListing);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int perListing = argc == 3 ? std::atoi(argv[2]) : 0;
    if (perListing <= 0) {
        std::fputs("Aufruf: kaviro_photo_bench_data DB FOTOS_JE_WOHNUNG\n", stderr);
        return 2;
    }
    QList<QByteArray> pictures;
    quint32 seed = 1;
    qsizetype bytes = 0;
    for (const char *name : {"fassade", "wohnzimmer", "kueche", "bad", "balkon", "schlafzimmer", "grundriss", "strasse"}) {
        pictures.append(photograph(QStringLiteral(":/kaviro/examples/demo-bilder/%1.jpg").arg(QLatin1String(name)), seed++));
        bytes += pictures.last().size();
    }
    std::printf("Fotos von %d x %d Pixeln, im Mittel %lld KB\n", photoWidth, photoHeight,
                static_cast<long long>(bytes / pictures.size() / 1024));
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setDatabaseName(QString::fromLocal8Bit(argv[1]));
        done = db.open() ? addPhotos(db, pictures, perListing) : fail(QStringLiteral("open"), db.lastError());
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return done ? 0 : 1;
}
