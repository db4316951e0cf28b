#include "app/editors.h"
#include "tests/support/guitest.h"

#include <gtest/gtest.h>

#include <QTest>

using namespace Qt::StringLiterals;

namespace kaviro {
namespace {

class DateEditTest : public ::testing::Test {
protected:
    void SetUp() override { test::guiApplication(); }
};

// What a German types into the picker, from empty and over a date it holds.
TEST_F(DateEditTest, DatesArriveAsTyped)
{
    const struct {
        QString typed;
        QDate start; // invalid: the picker is empty
        QDate expected;
    } cases[] = {
        {u"15.09.2026"_s, {}, {2026, 9, 15}},
        {u"15/09/2026"_s, {}, {2026, 9, 15}},
        {u"1.9.2026"_s, {}, {2026, 9, 1}},
        {u"31.12.2026"_s, {}, {2026, 12, 31}},
        {u"01092026"_s, {}, {2026, 9, 1}},
        {u"15.09.2026"_s, {2025, 8, 15}, {2026, 9, 15}},
        {u"3.11.1999"_s, {2025, 8, 15}, {1999, 11, 3}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString() + (c.start.isValid() ? " over a date" : " into an empty picker"));
        DateEdit date;
        date.setValue(c.start.isValid() ? QVariant(QDateTime(c.start, QTime(0, 0))) : QVariant());
        date.setSelectedSection(date.sectionAt(0));
        QTest::keyClicks(&date, c.typed);
        EXPECT_EQ(date.value().toDateTime().date(), c.expected) << date.text().toStdString();
    }
}

TEST_F(DateEditTest, ClearingGivesNoDateAndUntouchedGivesTheValueBack)
{
    DateEdit date;
    const QVariant stored(QDateTime(QDate(2025, 8, 15), QTime(9, 30)));
    date.setValue(stored);
    EXPECT_EQ(date.value(), stored);
    QTest::keyClick(&date, Qt::Key_Delete);
    EXPECT_TRUE(date.isEmpty());
    EXPECT_TRUE(date.value().isNull());
    EXPECT_TRUE(date.text().trimmed().isEmpty());
}

} // namespace
} // namespace kaviro
