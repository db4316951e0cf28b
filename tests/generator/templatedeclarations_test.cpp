#include "generator/templateengine.h"

#include "tests/generator/scriptedengine.h"

#include <gtest/gtest.h>

namespace kaviro::test {
namespace {

std::vector<std::pair<std::string, std::string>> pairsOf(const StringParameters &params)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 0; i < params.count(); ++i)
        pairs.emplace_back(params.name(i), params.value(i));
    return pairs;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(Declarations, NoParamsBlockDeclaresNothing)
{
    ScriptedEngine engine;
    engine.macros = {{"U", "\xE4"}};
    engine.setTemplateText("<p><macro name=U/></p>");
    EXPECT_TRUE(engine.params().empty());
    EXPECT_EQ(engine.translationTables().count(), 0);
    EXPECT_EQ(engine.translationTables().defaultIndex(), -1);
    EXPECT_TRUE(engine.codeLines().empty());
    engine.run();
    EXPECT_EQ(engine.allPages(), "<p>\xE4</p>\r\n");
}

TEST(Declarations, ParametersTablesAndCode)
{
    ScriptedEngine engine;
    engine.setTemplateText(crlf("<params>\n"
                                "  text between declarations is ignored\n"
                                "  <param name=p value=1/>\n"
                                "  <param name=p value=2/>\n"
                                "  <param name=q value=#3C>\n"
                                "    body <b>one</b>\n"
                                "  </param>\n"
                                "  <param name=r>inline</param>\n"
                                "  <translation name=first default/>\n"
                                "  <translation name=html default>\n"
                                "    <replace string=\xE4>&auml;</replace>\n"
                                "    <replace string=\xF6 with=&ouml;/>\n"
                                "    <replace string=\xFC>\n"
                                "&uuml;\n"
                                "</replace>\n"
                                "    <replace string=\xE4 with=X/>\n"
                                "  </translation name=html>\n"
                                "</params>\n"
                                "<code>\t\n"
                                "x = 1;\n"
                                "if (a <b) {}\n"
                                "</code>\n"
                                "<code>  \n"
                                "not code: a blank after \">\" makes the tag literal\n"
                                "</code>\n"
                                "<code>last</code>"));
    EXPECT_EQ(pairsOf(engine.params()),
              (Pairs{{"p", "12"}, {"q", "<    body <b>one</b>\r\n  "}, {"r", "inline"}}));
    const TranslationTables &tables = engine.translationTables();
    ASSERT_EQ(tables.count(), 2);
    EXPECT_EQ(tables.at(0).name(), "first");
    EXPECT_TRUE(tables.at(0).pairs().empty());
    EXPECT_EQ(tables.defaultIndex(), 1); // the last table marked default wins
    EXPECT_EQ(pairsOf(tables.at(1).pairs()),
              (Pairs{{"\xE4", "&auml;X"}, {"\xF6", "&ouml;"}, {"\xFC", "&uuml;\r\n"}}));
    EXPECT_EQ(engine.codeLines(), (std::vector<std::string>{"x = 1;", "if (a <b) {}", "last"}));
}

TEST(Declarations, ReplaceBodyOnOneLineOrTwo)
{
    ScriptedEngine engine;
    engine.setTemplateText(crlf("<params><translation name=t><replace string=\xE4>&auml;</replace>"
                                "<replace string=b>\n  &b;\n  </replace></translation name=t></params>"));
    EXPECT_EQ(pairsOf(engine.translationTables().at(0).pairs()), (Pairs{{"\xE4", "&auml;"}, {"b", "  &b;\r\n  "}}));
}

TEST(Declarations, CommentsHideDeclarationsButKeepBodies)
{
    ScriptedEngine engine;
    engine.setTemplateText(crlf("<params>\n"
                                "<comment name=old>\n"
                                "<param name=hidden value=1/>\n"
                                "<comment name=inner>\n"
                                "</comment name=old>\n"
                                "<param name=p>\n"
                                "keep\n"
                                "  <comment name=note>\n"
                                "  dropped\n"
                                "  </comment name=note>\n"
                                "more <comment name=x/>end\n"
                                "</param>\n"
                                "</params>"));
    // Text of a body before a comment stays; a comment on lines of its own
    // leaves nothing behind.
    EXPECT_EQ(pairsOf(engine.params()), (Pairs{{"p", "keep\r\nmore end\r\n"}}));
}

TEST(Declarations, FailedPassKeepsLinesAndWhatWasRead)
{
    ScriptedEngine engine;
    const std::string templ = crlf("<params>\n<param name=a value=1/>\n<translation name=t>\n");
    try {
        engine.setTemplateText(templ);
        FAIL();
    } catch (const Error &e) {
        EXPECT_STREQ(e.what(), "Error in template params declaration.");
    }
    EXPECT_EQ(engine.templateText(), templ);
    EXPECT_EQ(pairsOf(engine.params()), (Pairs{{"a", "1"}}));
    EXPECT_EQ(engine.translationTables().count(), 1);
    EXPECT_FALSE(engine.running());

    // The next change reads afresh.
    engine.setTemplateText("plain");
    EXPECT_TRUE(engine.params().empty());
    EXPECT_EQ(engine.translationTables().count(), 0);
}

TEST(Declarations, OpenCodeBlockIsNotOutput)
{
    ScriptedEngine engine;
    engine.setTemplateText(crlf("a\n<code>\nsecret <x>\nmore"));
    EXPECT_EQ(engine.codeLines(), (std::vector<std::string>{"secret <"}));
    engine.run();
    EXPECT_EQ(engine.allPages(), "a\r\n");
}

} // namespace
} // namespace kaviro::test
