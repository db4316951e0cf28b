// The demo database's photos: every line of the examples' list stored, for
// listings that exist, most active listings with photos and some without.

#include "store/listingdatabase.h"

#include <QFile>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kaviro {
namespace {

using namespace Qt::StringLiterals;

int listedPhotos()
{
    QFile list(QStringLiteral(KAVIRO_EXAMPLES_DIR "/demo-bilder/bilder.txt"));
    EXPECT_TRUE(list.open(QIODevice::ReadOnly));
    int count = 0;
    for (const QString &line : QString::fromUtf8(list.readAll()).split(u'\n'))
        count += !line.trimmed().isEmpty() && !line.startsWith(u'#');
    return count;
}

TEST(DemoPhotos, TheDemoDatabaseHoldsEveryListedPhotoOfItsListing)
{
    QTemporaryDir dir;
    createSqliteDatabase(dir.filePath(u"demo.db"_s), true);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"demo-photos"_s);
        db.setDatabaseName(dir.filePath(u"demo.db"_s));
        ASSERT_TRUE(db.open());
        const auto number = [&db](const QString &statement) {
            QSqlQuery query(statement, db);
            return query.next() ? query.value(0).toInt() : -1;
        };
        EXPECT_EQ(number(u"SELECT COUNT(*) FROM Bilder"_s), listedPhotos());
        EXPECT_EQ(number(u"SELECT COUNT(*) FROM Bilder WHERE WohnungId NOT IN (SELECT Id FROM Wohnungen)"_s), 0);
        const int active = number(u"SELECT COUNT(*) FROM Wohnungen WHERE Status"_s);
        const int shown = number(u"SELECT COUNT(DISTINCT WohnungId) FROM Bilder JOIN Wohnungen "
                                 "ON Wohnungen.Id = WohnungId WHERE Status"_s);
        EXPECT_GT(shown, active / 2);
        EXPECT_LT(shown, active);

        // Each photo is an image of its stored size; titles keep their umlauts.
        QSqlQuery photos(u"SELECT Bild, Breite, Hoehe, Titel FROM Bilder ORDER BY WohnungId, Position"_s, db);
        int checked = 0;
        while (photos.next()) {
            const QImage image = QImage::fromData(photos.value(0).toByteArray(), "JPEG");
            EXPECT_EQ(image.size(), QSize(photos.value(1).toInt(), photos.value(2).toInt()));
            EXPECT_FALSE(photos.value(3).toString().isEmpty());
            if (checked++ == 1) {
                EXPECT_EQ(photos.value(3).toString(), u"Wohnküche mit Einbauküche"_s);
            }
        }
    }
    QSqlDatabase::removeDatabase(u"demo-photos"_s);
}

} // namespace
} // namespace kaviro
