#include "store/windows1252.h"

#include <gtest/gtest.h>

namespace kaviro {
namespace {

TEST(Windows1252, EncodesCharactersOfTheCodePageAsTheirBytes)
{
    struct Case {
        QString text;
        std::string bytes;
    } cases[] = {
        {QStringLiteral("Wohnung"), "Wohnung"},
        {QStringLiteral("Größe: 5 m² – Küche für 45 €"), "Gr\xF6\xDF" "e: 5 m\xB2 \x96 K\xFC" "che f\xFCr 45 \x80"},
        {QStringLiteral("„Zitat“ ‚a‘ … Œ œ Ÿ ™"), "\x84Zitat\x93 \x82" "a\x91 \x85 \x8C \x9C \x9F \x99"},
        {QString(), ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(toWindows1252(c.text), c.bytes) << c.text.toStdString();
        EXPECT_EQ(fromWindows1252(c.bytes), c.text) << c.text.toStdString();
        EXPECT_TRUE(isWindows1252(c.text));
    }
}

TEST(Windows1252, WritesOtherCharactersAsNumericReferences)
{
    struct Case {
        QString text;
        std::string bytes;
    } cases[] = {
        {QStringLiteral("Ω"), "&#937;"},
        {QStringLiteral("Łódź"), "&#321;\xF3" "d&#378;"},
        {QStringLiteral("Haus 🏠!"), "Haus &#127968;!"},          // outside the BMP: one reference
        {QString(QChar(0xD800)) + u'x', "&#55296;x"},              // lone surrogate kept, not dropped
        {QString(QChar(0x0080)), "&#128;"},                        // the control, not the euro sign
    };
    for (const Case &c : cases) {
        EXPECT_EQ(toWindows1252(c.text), c.bytes) << c.text.toStdString();
        EXPECT_FALSE(isWindows1252(c.text)) << c.text.toStdString();
    }
}

TEST(Windows1252, EveryByteSurvivesTheRoundTrip)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all.push_back(char(byte));
    const QString text = fromWindows1252(all);
    EXPECT_TRUE(isWindows1252(text));
    EXPECT_EQ(toWindows1252(text), all);
    EXPECT_EQ(text.at(0x80), QChar(0x20AC));
    EXPECT_EQ(text.at(0x81), QChar(0x0081)); // undefined in the code page
}

} // namespace
} // namespace kaviro
