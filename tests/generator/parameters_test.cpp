#include "generator/parameters.h"
#include "generator/tagreader.h"
#include "tests/support/failure.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace kaviro {
namespace {

using test::failureOf;

TEST(StringParameters, AddOrAppendIndexOfAndLines)
{
    StringParameters params;
    EXPECT_EQ(params.addOrAppend("a", "1"), 0);
    EXPECT_EQ(params.addOrAppend("b", ""), 1);
    EXPECT_EQ(params.addOrAppend("a", "2"), 0);
    params.add("b", "x"); // the tag reader keeps repeated names
    EXPECT_EQ(params.indexOf("b"), 1);
    EXPECT_EQ(params.indexOf("A"), -1);
    EXPECT_EQ(*params.find("a"), "12");
    EXPECT_EQ(params.find("c"), nullptr);
    EXPECT_EQ(params.toLines(), (std::vector<std::string>{"a=12", "b=", "b=x"}));

    StringParameters copy = params;
    EXPECT_EQ(copy, params);
    params.clear();
    EXPECT_EQ(params.count(), 0);
    EXPECT_EQ(copy.count(), 3);
}

TEST(TranslationTables, AddDefaultAndClear)
{
    TranslationTables tables;
    tables.add("a");
    tables.add("b").addOrAppend("x", "y");
    EXPECT_EQ(failureOf([&] { tables.add("a"); }), "Duplicate translation table name.");
    EXPECT_EQ(tables.indexOf("b"), 1);
    EXPECT_EQ(tables.indexOf("B"), -1);
    EXPECT_EQ(tables.defaultTable(), nullptr);

    tables.setDefault(1);
    EXPECT_EQ(tables.defaultTable(), &tables.at(1));
    for (int bad : {2, -2}) {
        EXPECT_EQ(failureOf([&] { tables.setDefault(bad); }), "Can not set default Translation Table. Index out of range.");
        EXPECT_EQ(tables.defaultIndex(), 1);
    }

    TranslationTables copy = tables;
    EXPECT_EQ(copy.defaultIndex(), 1);
    EXPECT_EQ(copy.at(1), tables.at(1));

    tables.clear();
    EXPECT_EQ(tables.count(), 0);
    EXPECT_EQ(tables.defaultIndex(), -1);
    EXPECT_EQ(copy.count(), 2);
}

TEST(Translate, FirstPairInOrderWins)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> pairs;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {{{"a", "1"}, {"ab", "2"}}, "ab", "1b"},
        {{{"ab", "2"}, {"a", "1"}}, "ab a", "2 1"},
        {{{"a", "b"}, {"b", "c"}}, "ab", "bc"}, // replacements are not looked at again
        {{{"ab", "X"}}, "xa", "xa"},             // a search string running past the end
        {{{"\xE4", "&auml;"}, {"\xF6", "&ouml;"}}, "K\xE4se \xF6l", "K&auml;se &ouml;l"},
        {{{"<", "&lt;"}}, "", ""},
        {{}, "abc", "abc"},
    };
    for (const Case &c : cases) {
        TranslationTable table("t");
        for (const auto &[search, replacement] : c.pairs)
            table.addOrAppend(search, replacement);
        EXPECT_EQ(translate(table, c.text), c.expected) << c.text;
    }
}

TEST(Translate, ViewAvoidsCopyWhenNothingMatches)
{
    TranslationTable table("t");
    table.addOrAppend("\xE4", "&auml;");
    table.addOrAppend("\xE4\xE4", "never");
    std::string buffer = "stale";
    const std::string plain = "no umlaut here, but a long run of plain ASCII text";
    EXPECT_EQ(translate(table, plain, buffer).data(), plain.data());
    const std::string mixed = "plain ASCII first, then \xE4\xE4 and \xC4 at the end \xE4";
    EXPECT_EQ(translate(table, mixed, buffer), "plain ASCII first, then &auml;&auml; and \xC4 at the end &auml;");
    EXPECT_EQ(buffer.rfind("plain ASCII first, then &auml;&auml;", 0), 0u);

    // Beyond the bound for writing straight into the buffer.
    TranslationTable big("big");
    big.addOrAppend("x", std::string(5000, 'y'));
    const std::string many(300, 'x');
    EXPECT_EQ(translate(big, many, buffer), std::string(1500000, 'y'));
    EXPECT_EQ(translate(big, "axb", buffer), "a" + std::string(5000, 'y') + "b");
    const std::string noX = "no letter after w here";
    EXPECT_EQ(translate(big, noX, buffer).data(), noX.data());

    // Search strings starting with plain ASCII: up to four are checked eight
    // bytes at a time, more turn that off.
    const std::string text = "abcdefgh & \" < > = x y \xE4 ";
    table.addOrAppend("&", "[&]");
    EXPECT_EQ(translate(table, text, buffer), "abcdefgh [&] \" < > = x y &auml; ");
    for (const char *start : {"\"", "<", ">", "=", "x"})
        table.addOrAppend(start, std::string("[") + start + "]");
    EXPECT_EQ(translate(table, text, buffer), "abcdefgh [&] [\"] [<] [>] [=] [x] y &auml; ");
}

TEST(Translate, SameAsTryingEveryPairAtEveryByte)
{
    // The plain reading of the rule, against which the fast path is checked.
    auto reference = [](const TranslationTable &table, const std::string &text) {
        std::string out;
        for (std::size_t i = 0; i < text.size();) {
            int match = -1;
            for (int p = 0; p < table.pairs().count() && match < 0; ++p) {
                if (text.compare(i, table.pairs().name(p).size(), table.pairs().name(p)) == 0)
                    match = p;
            }
            if (match < 0) {
                out += text[i++];
            } else {
                out += table.pairs().value(match);
                i += table.pairs().name(match).size();
            }
        }
        return out;
    };
    std::mt19937 rng(7);
    const std::string alphabet = "abcdef \xE4\xF6\xC4";
    auto randomText = [&](std::size_t length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i)
            text += alphabet[rng() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        TranslationTable table("t");
        for (int p = 0; p < 6; ++p)
            table.addOrAppend(randomText(1 + rng() % 3), randomText(rng() % 4));
        const std::string text = randomText(rng() % 60);
        EXPECT_EQ(translate(table, text), reference(table, text)) << round;
    }
}

TEST(TagReader, DecodeValue)
{
    const std::pair<std::string, std::string> cases[] = {
        {"#41#42#43", "ABC"}, {"#4G", "#4G"}, {"x#41yz", "xAyz"}, {"x#4", "x\x04"}, {"ab#", "ab#"},
        {"#4", "#4"},         {"#3c#3E", "<>"}, {"##41", "##41"}, {"#23#22", "#\""}, {"plain", "plain"},
    };
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(decodeValue(value), expected) << value;
    EXPECT_EQ(decodeValue("a#00b"), std::string("a\0b", 3));
}

TEST(TagReader, LineBreaksAndPositions)
{
    const std::string text = "ab\r\ncd\n\ref\r\r";
    EXPECT_EQ(skipLineBreak(text, 0), 4u);
    EXPECT_EQ(skipLineBreak(text, 4), 8u); // LF CR is one line break
    EXPECT_EQ(skipLineBreak(text, 10), 11u);
    EXPECT_EQ(skipLineBreak(text, 11), 12u); // CR CR are two
    EXPECT_EQ(skipLineBreak("abc", 0), std::string_view::npos);

    const std::pair<std::size_t, std::pair<int, int>> places[] = {
        {0, {1, 1}}, {2, {1, 3}}, {3, {1, 4}}, {4, {2, 1}}, {8, {3, 1}}, {9, {3, 2}}, {11, {4, 1}},
    };
    for (const auto &[position, expected] : places) {
        const LineColumn at = lineAndColumn(text, position);
        EXPECT_EQ(std::make_pair(at.line, at.column), expected) << position;
    }
}

TEST(TagReader, ErrorMessageForm)
{
    const std::string text = "one\r\ntwo";
    auto message = [&](std::string_view reason, std::size_t position) {
        return failureOf([&] { TemplateError::raise(reason, text, position, nullptr); });
    };
    EXPECT_EQ(message("Bad", 6), "Bad. Line: 2, Char: 2.");
    EXPECT_EQ(message("Bad.", 0), "Bad. Line: 1, Char: 1.");
    EXPECT_EQ(message("", 0), "Error. Line: 1, Char: 1.");
    EXPECT_EQ(message("Bad", 8), "Error while detecting position in line. Index (9) out of range (8).");
}

TEST(TagReader, ParametersAndSelfClosing)
{
    struct Case {
        std::string tag; // read from right after the tag word
        std::vector<std::string> params;
        bool selfClosed;
        std::string rest; // what follows the tag
    };
    const Case cases[] = {
        {" name=M/>x", {"name=M"}, true, "x"},
        {" name=\"M\"/>x", {"name=M"}, true, "x"},
        {" name=\"M\">x", {"name=M"}, false, "x"},
        {">x", {}, false, "x"},
        {"/>", {}, true, ""},
        {" a b=  c=\"\" d=>", {"a=", "b=", "c=", "d="}, false, ""},
        {"  a=1\tb=2 \t c=3 />", {"a=1", "b=2", "c=3"}, true, ""},
        {" flag/>", {"flag="}, true, ""},
        {" v=a=b<c>", {"v=a=b<c"}, false, ""},
        {" v=\"a\r\nb\n\rc\r\rd\">", {"v=a b c  d"}, false, ""},
        {" v=\"x\"w=1>", {"v=x", "w=1"}, false, ""},
    };
    for (const Case &c : cases) {
        StringParameters params;
        params.add("stale", "");
        std::size_t pos = 0;
        const bool selfClosed = readTagParams(c.tag, pos, params, nullptr);
        EXPECT_EQ(params.toLines(), c.params) << c.tag;
        EXPECT_EQ(selfClosed, c.selfClosed) << c.tag;
        EXPECT_EQ(std::string_view(c.tag).substr(pos), c.rest) << c.tag;
    }
}

TEST(TagReader, FindTagNames)
{
    struct Case {
        std::string text;
        bool stripSlash;
        std::string name;
    };
    const Case cases[] = {
        {"x<macro name=a/>", true, "macro"},  {"<code/>", true, "code"},   {"<code/>", false, "code/"},
        {"< >>if x>", true, "if"},            {"<if  x>", true, "if "},     {"<params> ", true, "params "},
        {"<params>x", true, "params"},        {"<a\tb>", true, "a\tb"},     {"<end", true, "end"},
        {"<", true, ""},                      {"</if name=A>", true, "/if"}, {"<x/ >", true, "x"},
    };
    for (const Case &c : cases) {
        std::string scratch;
        TagName tag;
        ASSERT_TRUE(findTag(c.text, 0, c.stripSlash, scratch, tag)) << c.text;
        EXPECT_EQ(tag.name, c.name) << c.text;
        EXPECT_EQ(tag.open, c.text.find('<'));
    }
    std::string scratch;
    TagName tag;
    EXPECT_FALSE(findTag("no tag", 0, true, scratch, tag));
    EXPECT_FALSE(findTag("<a>", 1, true, scratch, tag));
}

} // namespace
} // namespace kaviro
