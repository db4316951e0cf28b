#include "store/windows1252.h"

#include "common/cp1252.h"

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

// The conversions without Qt (common/cp1252.h) agree with the Qt ones.
TEST(Windows1252, ConversionsWithoutQtAgreeWithTheQtOnes)
{
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, char(byte));
        EXPECT_EQ(cp1252ToUtf8(one), fromWindows1252(one).toStdString()) << byte;
        EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(one)), one) << byte;
    }
    for (const QString &text : {QStringLiteral("Größe: 5 m² – Küche für 45 €"), QStringLiteral("„Zitat“ … Ÿ ™"),
                                QStringLiteral("Łódź Ω"), QStringLiteral("Haus 🏠!")})
        EXPECT_EQ(utf8ToCp1252(text.toStdString()), toWindows1252(text)) << text.toStdString();
    // Bytes that are no UTF-8 (a Latin-1 name, a cut or overlong sequence,
    // an encoded surrogate) stay as they are.
    EXPECT_EQ(utf8ToCp1252("Gr\xF6\xDF" "e \xC3"), "Gr\xF6\xDF" "e \xC3");
    EXPECT_EQ(utf8ToCp1252("\xC0\xAF \xED\xA0\x80"), "\xC0\xAF \xED\xA0\x80");
}

TEST(Windows1252, ErrorMessagesAreWindows1252)
{
    const Error error = windows1252Error(QStringLiteral("Größe: 45 €"));
    EXPECT_STREQ(error.what(), "Gr\xF6\xDF" "e: 45 \x80");
    EXPECT_EQ(exceptionText(error), QStringLiteral("Größe: 45 €"));
    // Any other exception speaks UTF-8.
    EXPECT_EQ(exceptionText(std::runtime_error("Größe: 45 €")), QStringLiteral("Größe: 45 €"));
}

} // namespace
} // namespace kaviro
