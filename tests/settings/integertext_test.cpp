#include "common/integertext.h"

#include "common/error.h"

#include <gtest/gtest.h>

using kaviro::parseInteger;

TEST(IntegerText, ReadsDecimalAndHexadecimal)
{
    const struct {
        const char *text;
        std::optional<std::int32_t> expected;
    } cases[] = {
        {"21", 21},
        {"  21", 21},
        {"\t+21", 21},
        {"-21", -21},
        {"0x15", 21},
        {"0X15", 21},
        {"$15", 21},
        {"$fF", 255},
        {"-$10", -16},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"0x7FFFFFFF", 2147483647},
        {"2147483648", std::nullopt},
        {"0x80000000", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"abc", std::nullopt},
        {"21 ", std::nullopt},
        {"2 1", std::nullopt},
        {"+", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"0x1G", std::nullopt},
        {"15h", std::nullopt},
        {"+-1", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseInteger(c.text), c.expected) << '"' << c.text << '"';
}

TEST(IntegerText, ToIntegerNamesTheText)
{
    EXPECT_EQ(kaviro::toInteger(" $1F"), 31);
    try {
        kaviro::toInteger("80a");
        FAIL() << "no error";
    } catch (const kaviro::Error &e) {
        EXPECT_STREQ(e.what(), "'80a' ist kein g\xFC" "ltiger Integerwert");
    }
}
