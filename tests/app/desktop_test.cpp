#include "desktop/desktop.h"
#include "common/error.h"
#include "tests/support/guitest.h"
#include "tests/support/scripteddesktop.h"

#include <gtest/gtest.h>

#include <QAbstractButton>

using namespace Qt::StringLiterals;

namespace kaviro {
namespace {

TEST(DefaultErrorBox, AppendsAPointOnlyAfterACharacterSortingAfterIt)
{
    const struct {
        QString message;
        QString shown;
    } cases[] = {
        {u"Open error!"_s, u"Open error!"_s},
        {u"Datei fehlt"_s, u"Datei fehlt."_s},
        {u"Ende."_s, u"Ende."_s},
        {u"Zeile 3"_s, u"Zeile 3."_s},
        {u"Pfad: /tmp/"_s, u"Pfad: /tmp/."_s},
        {u"Wert -"_s, u"Wert -"_s},
        {u"Klammer)"_s, u"Klammer)"_s},
        {u"Grüße"_s, u"Grüße."_s},
        {QString(), QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QString::fromUtf8(defaultErrorText(c.message.toStdString())), c.shown) << c.message.toStdString();
}

TEST(DefaultErrorBox, ShowsTheMessageUnderTheProgramsNameWithOkAndErrorIcon)
{
    test::guiApplication();
    EXPECT_EQ(applicationTitle(), u"kaviro_app_tests"_s);

    test::ScriptedDesktop desktop;
    // Every kaviro::Error speaks Windows-1252, even where its bytes would
    // pass for UTF-8; the standard library and Qt UTF-8.
    EXPECT_FALSE(runCommand(desktop, nullptr, [] { throw Error("Datei \xfc" "berschrieben"); }));
    EXPECT_FALSE(runCommand(desktop, nullptr, [] { throw std::runtime_error("Gr\xc3\xb6\xc3\x9f" "e"); }));
    EXPECT_FALSE(runCommand(desktop, nullptr, [] { throw Error("\xc3\xbc"); }));
    EXPECT_TRUE(runCommand(desktop, nullptr, [] {}));

    const auto boxes = desktop.messageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, u"kaviro_app_tests"_s);
    EXPECT_EQ(boxes[0].text, u"Datei überschrieben."_s);
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[1].text, u"Größe."_s);
    EXPECT_EQ(boxes[2].text, u"Ã¼."_s);
}

TEST(GermanStandardButtons, ReadJaNeinOkAbbrechen)
{
    test::guiApplication();
    ASSERT_TRUE(installGermanStandardButtons());
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    const struct {
        QMessageBox::StandardButton button;
        QString text;
    } cases[] = {{QMessageBox::Yes, u"Ja"_s},
                 {QMessageBox::No, u"Nein"_s},
                 {QMessageBox::Ok, u"OK"_s},
                 {QMessageBox::Cancel, u"Abbrechen"_s}};
    for (const auto &c : cases)
        EXPECT_EQ(box.button(c.button)->text().remove(u'&'), c.text);
}

} // namespace
} // namespace kaviro
