// The photo strip of the main window, driven by clicks and keys as the user
// drives it; what it does is read back from the database file.

#include "store/photostore.h"
#include "tests/app/programfixture.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

namespace kaviro::test {
namespace {

const QString zimmerJpeg = QStringLiteral(KAVIRO_SOURCE_DIR "/tests/data/photos/zimmer.jpg");

class PhotoStripTest : public MainWindowTest {
protected:
    // A PNG wider than photos are kept.
    QString widePng()
    {
        QImage image(2500, 1000, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString file = path(u"breit.png"_s);
        EXPECT_TRUE(image.save(file));
        return file;
    }

    QString textFile()
    {
        const QString file = path(u"notizen.txt"_s);
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("Besichtigung am Dienstag\n");
        return file;
    }

    QStringList storedTitles(qint64 listing)
    {
        QStringList titles;
        const int count = dbValue(u"SELECT COUNT(*) FROM \"Bilder\" WHERE \"WohnungId\" = %1"_s.arg(listing)).toInt();
        for (int position = 0; position < count; ++position)
            titles << dbValue(u"SELECT COALESCE(\"Titel\", '') FROM \"Bilder\" WHERE \"WohnungId\" = %1 "
                              "ORDER BY \"Position\" LIMIT 1 OFFSET %2"_s.arg(listing).arg(position))
                          .toString();
        return titles;
    }

    static QStringList shownTitles(const QListWidget *list)
    {
        QStringList titles;
        for (int i = 0; i < list->count(); ++i)
            titles << list->item(i)->text();
        return titles;
    }

    // Key by key, umlauts included (QTest::keyClicks knows ASCII only).
    static void typeText(QWidget *widget, const QString &text)
    {
        for (const QChar character : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(character), Qt::NoModifier);
    }

    static void clickItem(QListWidget *list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
};

TEST_F(PhotoStripTest, PhotosAreAddedMovedRetitledAndRemovedByClicksAndKeys)
{
    auto program = startOnFixture();
    auto *strip = program->child<QGroupBox>("grpFotos");
    auto *list = program->child<QListWidget>("lstFotos");
    ASSERT_TRUE(strip->isVisible());
    EXPECT_GT(strip->y(), program->child<QLabel>("dbtTimestamp")->geometry().bottom());
    EXPECT_LE(strip->geometry().bottom(), program->window->centralWidget()->height());
    const qint64 listing = PhotoStore::currentListingKey(program->table());
    program->window->activateWindow();
    QApplication::setActiveWindow(program->window);
    program->child<QWidget>("dbeFlaeche")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), list) << "the strip follows the area";

    // Two images and a file that is none: the images are taken, the other
    // is named in one message.
    program->desktop.fileListAnswers = {{zimmerJpeg, widePng(), textFile()}};
    QTest::mouseClick(program->child<QPushButton>("btnFotoHinzufuegen"), Qt::LeftButton);
    const test::DesktopCall &dialog = program->desktop.calls.at(program->desktop.calls.size() - 2);
    EXPECT_EQ(dialog.caption, u"Fotos hinzufügen"_s);
    EXPECT_TRUE(dialog.openFile.filters.at(0).patterns.contains(u"*.jpg"_s));
    ASSERT_EQ(program->desktop.messageBoxes().size(), 1u);
    EXPECT_TRUE(program->desktop.messageBoxes().back().text.contains(u"notizen.txt"_s))
        << program->desktop.messageBoxes().back().text.toStdString();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(storedTitles(listing), (QStringList{QString(), QString()}));
    EXPECT_EQ(dbValue(u"SELECT MAX(\"Breite\") FROM \"Bilder\""_s).toInt(), 2000);
    EXPECT_EQ(list->currentRow(), 1) << "the last one added is chosen";

    // The wide one goes to the front and gets a title typed into the field.
    QTest::mouseClick(program->child<QPushButton>("btnFotoLinks"), Qt::LeftButton);
    EXPECT_EQ(list->currentRow(), 0);
    auto *title = program->child<QLineEdit>("edtFotoTitel");
    QTest::mouseClick(title, Qt::LeftButton);
    typeText(title, u"Blick über den Hof"_s);
    QTest::keyClick(title, Qt::Key_Return);
    EXPECT_EQ(storedTitles(listing), (QStringList{u"Blick über den Hof"_s, QString()}));
    EXPECT_EQ(dbValue(u"SELECT \"Breite\" FROM \"Bilder\" WHERE \"Position\" = 1"_s).toInt(), 2000);

    // Order and titles are read again for the listing after going away; a
    // title typed without Enter goes along.
    clickItem(list, 1);
    QTest::mouseClick(title, Qt::LeftButton);
    typeText(title, u"Küche"_s);
    program->click(RecordNavigator::Next);
    EXPECT_EQ(storedTitles(listing), (QStringList{u"Blick über den Hof"_s, u"Küche"_s}));
    EXPECT_EQ(list->count(), 0);
    program->click(RecordNavigator::Prior);
    EXPECT_EQ(shownTitles(list), (QStringList{u"Blick über den Hof"_s, u"Küche"_s}));
    EXPECT_TRUE(program->window->grab().save(test::artifactPath(u"mainwindow-fotos.png"_s)));

    // Removing asks; "Abbrechen" keeps the photo.
    clickItem(list, 0);
    program->desktop.buttonAnswers = {QMessageBox::Cancel};
    QTest::mouseClick(program->child<QPushButton>("btnFotoEntfernen"), Qt::LeftButton);
    EXPECT_EQ(program->desktop.messageBoxes().back().text, u"Foto \"Blick über den Hof\" löschen?"_s);
    EXPECT_EQ(storedTitles(listing).size(), 2);
    program->desktop.buttonAnswers = {QMessageBox::Ok};
    QTest::mouseClick(program->child<QPushButton>("btnFotoEntfernen"), Qt::LeftButton);
    EXPECT_EQ(storedTitles(listing), QStringList{u"Küche"_s});
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentRow(), 0) << "its neighbour is chosen";
}

TEST_F(PhotoStripTest, FilesDroppedOnANewListingSaveTheListingAndBecomeItsPhotos)
{
    auto program = startOnFixture();
    auto *strip = program->child<QGroupBox>("grpFotos");
    program->click(RecordNavigator::Insert);
    typeText(program->child<QLineEdit>("dbeWohnung"), u"Neubau Süd"_s);

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(zimmerJpeg)});
    const QPointF inside = QRectF(strip->rect()).center();
    QDragEnterEvent enter(inside.toPoint(), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(strip, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(inside, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(strip, &drop);
    ASSERT_TRUE(test::waitFor([&] { return program->child<QListWidget>("lstFotos")->count() == 1; }));

    EXPECT_TRUE(program->desktop.messageBoxes().empty());
    const qint64 listing = dbValue(u"SELECT \"Id\" FROM \"Wohnungen\" WHERE \"Wohnung\" = 'Neubau Süd'"_s).toLongLong();
    ASSERT_GT(listing, 0) << "the new listing was saved";
    EXPECT_EQ(storedTitles(listing).size(), 1);
    EXPECT_EQ(program->table().state(), ListingTable::State::Browse);
}

TEST_F(PhotoStripTest, WithoutBilderNoStripAndWithoutKeyAddingSaysWhy)
{
    const QString connection = createDatabase();
    dbValue(u"DROP TABLE \"Bilder\""_s);
    writeSettings(connection);
    int heightWithout = 0;
    {
        auto program = startProgram();
        ASSERT_TRUE(program->table().isOpen());
        EXPECT_FALSE(program->child<QGroupBox>("grpFotos")->isVisible());
        heightWithout = program->window->height();
    }

    dbValue(u"CREATE TABLE \"Bilder\" (\"Id\" INTEGER PRIMARY KEY, \"WohnungId\" INTEGER, \"Position\" INTEGER, "
            "\"Titel\" TEXT, \"Bild\" BLOB, \"Breite\" INTEGER, \"Hoehe\" INTEGER)"_s);
    dbValue(u"CREATE TABLE \"Ohne\" AS SELECT \"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", "
            "\"Beschreibung\", \"Miete\", \"Nebenkosten\", \"ZuMietenAb\", \"Timestamp\", \"Status\" FROM \"Wohnungen\""_s);
    dbValue(u"DROP TABLE \"Wohnungen\""_s);
    dbValue(u"ALTER TABLE \"Ohne\" RENAME TO \"Wohnungen\""_s);
    auto program = startProgram();
    ASSERT_TRUE(program->table().isOpen());
    auto *strip = program->child<QGroupBox>("grpFotos");
    ASSERT_TRUE(strip->isVisible());
    EXPECT_GT(program->window->height(), heightWithout + strip->height()) << "the window grows by the strip";
    program->desktop.fileListAnswers = {{zimmerJpeg}};
    QTest::mouseClick(program->child<QPushButton>("btnFotoHinzufuegen"), Qt::LeftButton);
    ASSERT_EQ(program->desktop.messageBoxes().size(), 1u);
    EXPECT_TRUE(program->desktop.messageBoxes().back().text.contains(u"keinen Schlüssel"_s));
    EXPECT_EQ(dbValue(u"SELECT COUNT(*) FROM \"Bilder\""_s).toInt(), 0);
}

} // namespace
} // namespace kaviro::test
