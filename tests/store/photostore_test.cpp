// Photos in the table Bilder: what is stored for a file, the order and
// titles a later connection reads, and the photos the snapshot carries.

#include "common/error.h"
#include "store/listingdatabase.h"
#include "store/photostore.h"
#include "store/windows1252.h"
#include "tests/store/storefixture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace kaviro::test {
namespace {

// A JPEG of 3000 x 1000 pixels, red on its left third, whose EXIF block says
// it must be turned 90 degrees clockwise to stand upright (orientation 6).
QByteArray sidewaysJpeg()
{
    QImage image(3000, 1000, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 1000; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    const char exif[] = "\xFF\xE1\x00\x22" "Exif\0\0" "MM\x00\x2A\x00\x00\x00\x08"
                        "\x00\x01" "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" "\x00\x00\x00\x00";
    jpeg.insert(2, QByteArray(exif, sizeof exif - 1));
    return jpeg;
}

class PhotoStoreTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // A new SQLite database has the table already.
        if (isPostgres())
            runSqlScript(m_admin->database(), exampleScript(ExampleScript::PostgresqlPhotos));
        addListing(u"Altbau"_s, u"Freiburg"_s, u"TRUE"_s);
        addListing(u"Neubau"_s, u"Basel"_s, u"TRUE"_s);
        addListing(u"Vermietet"_s, u"Bern"_s, u"FALSE"_s);
        connect(m_module);
        m_module.table().setSort(u"Wohnung ASC"_s);
        m_module.table().first();
        m_listing = PhotoStore::currentListingKey(m_module.table());
    }

    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile out(m_dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return out.fileName();
    }

    QString smallJpeg(const QString &name, Qt::GlobalColor color = Qt::green)
    {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(color);
        image.save(m_dir.filePath(name), "JPEG");
        return m_dir.filePath(name);
    }

    DataModule m_module;
    qint64 m_listing = 0;
};

TEST_P(PhotoStoreTest, ARotatedPhotoIsStoredUprightAtMost2000PixelsWithoutMetadata)
{
    PhotoStore photos(m_module.connection().database());
    const StoredPhoto added = photos.add(m_listing, file(u"seitlich.jpg"_s, sidewaysJpeg()), u"Küche"_s);
    EXPECT_EQ(added.width, 666); // 1000 * 2000 / 3000, rounded down
    EXPECT_EQ(added.height, 2000);

    const QByteArray stored = photos.image(added.id);
    EXPECT_FALSE(stored.contains("Exif"));
    QImage image = QImage::fromData(stored, "JPEG");
    ASSERT_EQ(image.size(), QSize(666, 2000));
    // Turned clockwise, the red left third is now the top third.
    EXPECT_GT(qRed(image.pixel(333, 300)), 200);
    EXPECT_LT(qRed(image.pixel(333, 1700)), 60);

    const QList<StoredPhoto> list = photos.photos(m_listing);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].title, u"Küche"_s);
    EXPECT_EQ(list[0].width, 666);
}

TEST_P(PhotoStoreTest, AFileThatIsNoImageIsRefusedByName)
{
    PhotoStore photos(m_module.connection().database());
    try {
        photos.add(m_listing, file(u"notiz.txt"_s, "Kein Bild, nur Text."));
        FAIL() << "stored";
    } catch (const Error &error) {
        EXPECT_EQ(fromWindows1252(error.what()), u"Die Datei \"notiz.txt\" ist kein Bild, das Kaviro lesen kann."_s);
    }
    EXPECT_TRUE(photos.photos(m_listing).isEmpty());
}

TEST_P(PhotoStoreTest, OrderAndTitlesSurviveAReload)
{
    QList<qint64> ids;
    {
        PhotoStore photos(m_module.connection().database());
        for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s, u"d.jpg"_s})
            ids.append(photos.add(m_listing, smallJpeg(name), name).id);
        photos.move(ids[2], -5); // to the front, however far
        photos.move(ids[0], 1);
        photos.setTitle(ids[3], u"Blick über den Hof"_s);
        photos.remove(ids[1]);
    }
    DataModule other;
    connect(other);
    const QList<StoredPhoto> list = PhotoStore(other.connection().database()).photos(m_listing);
    QStringList titles;
    for (const StoredPhoto &photo : list)
        titles.append(photo.title);
    EXPECT_EQ(titles, (QStringList{u"c.jpg"_s, u"a.jpg"_s, u"Blick über den Hof"_s}));
}

TEST_P(PhotoStoreTest, DeletingAListingTakesItsPhotosAndANewListingStartsWithNone)
{
    ListingTable &table = m_module.table();
    table.last();
    const qint64 last = PhotoStore::currentListingKey(table);
    PhotoStore photos(m_module.connection().database());
    photos.add(last, smallJpeg(u"a.jpg"_s));
    table.deleteRow();
    QSqlQuery count(m_module.connection().database());
    ASSERT_TRUE(count.exec(u"SELECT COUNT(*) FROM \"Bilder\""_s) && count.next());
    EXPECT_EQ(count.value(0).toInt(), 0);

    // SQLite may hand the freed key to the next listing.
    table.insert();
    table.setValue(u"Wohnung"_s, u"Neu"_s);
    table.post();
    EXPECT_TRUE(photos.photos(PhotoStore::currentListingKey(table)).isEmpty());
}

TEST_P(PhotoStoreTest, TheSnapshotCarriesEachActiveListingsPhotosAndKey)
{
    PhotoStore photos(m_module.connection().database());
    photos.add(m_listing, smallJpeg(u"1.jpg"_s), u"Flur"_s);
    photos.add(m_listing, smallJpeg(u"2.jpg"_s), u"Bad"_s);
    ASSERT_TRUE(m_module.buildWebData());
    ASSERT_EQ(m_module.webDataCount(), 2);
    const WebDataRow &altbau = m_module.webDataRow(0);
    EXPECT_EQ(altbau.key, std::to_string(m_listing));
    ASSERT_EQ(altbau.photos.size(), 2u);
    EXPECT_EQ(altbau.photos[0].title, "Flur");
    EXPECT_EQ(altbau.photos[1].width, 40);
    EXPECT_TRUE(m_module.webDataRow(1).photos.empty());

    const std::string large = photos.largeImage(altbau.photos[0].id);
    EXPECT_EQ(large, photos.image(altbau.photos[0].id).toStdString());
    EXPECT_EQ(QImage::fromData(QByteArray::fromStdString(photos.thumbnailOf(large))).size(), QSize(40, 30));
}

TEST_P(PhotoStoreTest, ThumbnailsAreAtMost400Pixels)
{
    const PreparedImage thumbnail = scaledImage(prepareImageFile(file(u"s.jpg"_s, sidewaysJpeg())).jpeg, thumbnailSide);
    EXPECT_EQ(QSize(thumbnail.width, thumbnail.height), QSize(133, 400));
}

INSTANTIATE_TEST_SUITE_P(Databases, PhotoStoreTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto &info) { return info.param; });

class NoPhotoTableTest : public StoreTest {};

TEST_P(NoPhotoTableTest, ADatabaseWithoutBilderHasNoPhotosAndATableWithoutKeySaysSo)
{
    exec(u"DROP TABLE IF EXISTS \"Bilder\""_s);
    addListing(u"Altbau"_s, u"Freiburg"_s, u"TRUE"_s);
    DataModule module;
    connect(module);
    EXPECT_FALSE(PhotoStore::available(module.connection().database()));
    ASSERT_TRUE(module.buildWebData());
    EXPECT_TRUE(module.webDataRow(0).photos.empty());

    useTableWithoutKey();
    addListing(u"Altbau"_s, u"Freiburg"_s, u"TRUE"_s);
    DataModule keyless;
    connect(keyless);
    keyless.table().first();
    try {
        PhotoStore::currentListingKey(keyless.table());
        FAIL() << "a key";
    } catch (const Error &error) {
        EXPECT_TRUE(fromWindows1252(error.what()).contains(u"keinen Schlüssel"_s)) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, NoPhotoTableTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kaviro::test
