#include "session/publishjob.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace kaviro {
namespace {

// The pages take the locale's separator; one that Windows-1252 cannot hold
// as a single byte gives ".", in the desktop program and the publisher alike.
TEST(PageDecimalSeparator, IsTheLocalesOrAPointWhenItIsNoSingleByte)
{
    const struct {
        QLocale::Language language;
        QLocale::Territory territory;
        char separator;
    } cases[] = {
        {QLocale::German, QLocale::Germany, ','},
        {QLocale::English, QLocale::UnitedStates, '.'},
        {QLocale::French, QLocale::France, ','},
        {QLocale::Arabic, QLocale::Egypt, '.'},
        {QLocale::Persian, QLocale::Iran, '.'},
    };
    for (const auto &c : cases) {
        const QLocale locale(c.language, c.territory);
        EXPECT_EQ(pageDecimalSeparator(locale), c.separator) << locale.name().toStdString();
    }
}

} // namespace
} // namespace kaviro
