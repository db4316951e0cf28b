#include "generator/templateengine.h"

#include "tests/generator/enginecases.h"
#include "tests/generator/scriptedengine.h"
#include "tests/support/failure.h"

#include <gtest/gtest.h>

namespace kaviro::test {
namespace {

// ---------------------------------------------------------------- expansion

class Expansion : public ::testing::TestWithParam<ExpansionCase> {};

TEST_P(Expansion, GivesExactBytes)
{
    const ExpansionCase &c = GetParam();
    ScriptedEngine engine;
    configureStandard(engine);
    engine.setTemplateText(crlf(c.templ));
    engine.run();
    ASSERT_EQ(engine.pages.size(), 1u);
    EXPECT_EQ(engine.pages[0], crlf(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, Expansion, ::testing::ValuesIn(expansionCases()),
                         [](const ::testing::TestParamInfo<ExpansionCase> &info) { return info.param.name; });

TEST(TemplateEngine, TemplateAsLinesOrText)
{
    ScriptedEngine engine;
    engine.setTemplateText("a\r\nb\nc\rd\n\re\r\n");
    EXPECT_EQ(engine.templateLines(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(engine.templateText(), "a\r\nb\r\nc\r\nd\r\ne\r\n");

    engine.setTemplateLines({"x", "", "y"});
    EXPECT_EQ(engine.templateText(), "x\r\n\r\ny\r\n");
    engine.run();
    EXPECT_EQ(engine.allPages(), "x\r\n\r\ny\r\n");

    engine.setTemplateLines({});
    engine.pages.clear();
    engine.run();
    EXPECT_EQ(engine.pages, std::vector<std::string>{""});
}

TEST(TemplateEngine, HooksInOrderAndPageNumberKept)
{
    ScriptedEngine engine;
    engine.setTemplateText("x");
    EXPECT_EQ(engine.pageNumber(), 0);
    engine.run();
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"start", "begin1", "end1", "finish"}));
    EXPECT_EQ(engine.pageNumber(), 1);
    EXPECT_FALSE(engine.running());
    // Progress before the page and before each search for a tag.
    EXPECT_EQ(engine.progressCalls, 2);
}

TEST(TemplateEngine, CustomTags)
{
    ScriptedEngine engine;
    engine.customTags() = {"Box", "/BOX"};
    engine.setTemplateText(crlf("a\n  <box size=2 title=\"x y\"/>\n<Box>b</box><boxes/>"));
    engine.run();
    EXPECT_EQ(engine.allPages(), crlf("a\nb<boxes/>\n"));
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"start", "begin1", "custom:box/ size=2 title=x y",
                                                      "custom:Box", "custom:/box", "end1", "finish"}));
}

// ---------------------------------------------------------------- errors

struct ErrorCase {
    const char *name;
    std::string templ;
    std::string message;
    bool atLoad; // thrown by the declarations pass when the template is set
};

void PrintTo(const ErrorCase &c, std::ostream *out)
{
    *out << c.name;
}

class TemplateErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(TemplateErrors, ReportExactMessage)
{
    const ErrorCase &c = GetParam();
    ScriptedEngine engine;
    configureStandard(engine);
    try {
        engine.setTemplateText(crlf(c.templ));
        EXPECT_FALSE(c.atLoad) << "loading did not fail";
        engine.run();
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_FALSE(engine.running());
    EXPECT_EQ(engine.templateLines().empty(), c.templ.empty()); // the lines stay set
    if (!c.atLoad) {
        ASSERT_GE(engine.calls.size(), 2u);
        EXPECT_EQ(engine.calls[engine.calls.size() - 2], "end1");
        EXPECT_EQ(engine.calls.back(), "finish");
    }
}

const std::string kCannotAnalyze = "Can not analyze tag. ";

// Columns count from 1; tag rules stand right after the tag, reader errors
// at the offending character.
INSTANTIATE_TEST_SUITE_P(
    Cases, TemplateErrors,
    ::testing::Values(
        // Tag rules of the expansion pass
        ErrorCase{"CommentName", "<comment>", "Name of 'comment' tag must be specified. Line: 1, Char: 10.", true},
        ErrorCase{"CommentNameRun", "<comment/>", "Name of 'comment' tag must be specified. Line: 1, Char: 11.", false},
        ErrorCase{"EndCommentSelfClosed", "<comment name=c></comment name=c/>",
                  "Error in '/comment' tag declaration. Line: 1, Char: 35.", true},
        ErrorCase{"EndCommentSelfClosedRun", "<comment name=c></comment/></comment name=c>",
                  "Error in '/comment' tag declaration. Line: 1, Char: 28.", false},
        ErrorCase{"MacroNotSelfClosed", "<macro name=M>", "Error in macro declaration. Line: 1, Char: 15.", false},
        ErrorCase{"MacroName", "<macro/>", "Name of macro must be specified. Line: 1, Char: 9.", false},
        ErrorCase{"MacroEmptyName", "x\n <macro name= />", "Name of macro must be specified. Line: 2, Char: 17.", false},
        ErrorCase{"IfSelfClosed", "<if name=A/>", "Error in 'if' tag declaration. Line: 1, Char: 13.", false},
        ErrorCase{"IfName", "<if>", "Name of 'if' tag must be specified. Line: 1, Char: 5.", false},
        ErrorCase{"ElseNotSelfClosed", "<if name=A><else name=A>", "Error in 'else' tag declaration. Line: 1, Char: 25.",
                  false},
        ErrorCase{"ElseName", "<if name=A><else/>", "Name of 'else' tag must be specified. Line: 1, Char: 19.", false},
        ErrorCase{"ElseNameWhileSkipping", "<if name=F><else/>", "Name of 'else' tag must be specified. Line: 1, Char: 19.",
                  false},
        ErrorCase{"EndIfSelfClosed", "<if name=A></if name=A/>", "Error in '/if' tag declaration. Line: 1, Char: 25.",
                  false},
        ErrorCase{"EndIfName", "<if name=A></if>", "Name of '/if' tag must be specified. Line: 1, Char: 17.", false},
        ErrorCase{"EndIfInnerSkipped", "<if name=A><if name=B>\n</if name=A>",
                  "Condition was not declared, or closing tag for inner condition is skipped. Line: 2, Char: 13.", false},
        ErrorCase{"EndIfNoneOpen", "</if name=A>",
                  "Condition was not declared, or closing tag for inner condition is skipped. Line: 1, Char: 13.", false},
        ErrorCase{"RepeatSelfClosed", "<repeat name=L/>", "Error in 'repeat' tag declaration. Line: 1, Char: 17.", false},
        ErrorCase{"RepeatName", "<repeat>", "Name of 'repeat' tag must be specified. Line: 1, Char: 9.", false},
        ErrorCase{"DuplicateLoop", "<repeat name=L><repeat name=L>", "Duplicate loop name 'L'. Line: 1, Char: 31.", false},
        ErrorCase{"EndRepeatSelfClosed", "<repeat name=L></repeat/>",
                  "Error in '/repeat' tag declaration. Line: 1, Char: 26.", false},
        ErrorCase{"EndRepeatSelfClosedWhileSkipping", "<repeat name=Z></repeat />",
                  "Error in '/repeat' tag declaration. Line: 1, Char: 27.", false},
        ErrorCase{"EndRepeatNoLoop", "</repeat>",
                  "'/repeat' tag doesn't have matching 'repeat' tag. Line: 1, Char: 10.", false},
        ErrorCase{"EndRepeatOtherName", "<repeat name=L></repeat name=X>",
                  "'/repeat' tag doesn't have matching 'repeat' tag. Line: 1, Char: 32.", false},
        ErrorCase{"EndCodeSelfClosedRun", "<code></code/>", "Error in '/code' tag declaration. Line: 1, Char: 15.", false},
        ErrorCase{"EndParamsSelfClosedRun", "<params></params/></params>",
                  "Error in '/params' tag declaration. Line: 1, Char: 19.", false},
        // End of the text
        ErrorCase{"LoopNotClosed", "<repeat name=L>", "Error in template: 1 loops were not closed.", false},
        ErrorCase{"SkippedLoopClosedWithoutName", "<repeat name=Z>\nx\n</repeat>",
                  "Error in template: 1 loops were not closed.", false},
        ErrorCase{"ConditionsNotClosed", "<if name=A>\n<if name=B>", "Error in template: 2 conditions were not closed.",
                  false},
        ErrorCase{"CommentNotClosed", "<comment name=c>\nx", "Error in template. Not all tags have been closed.", false},
        // Tag reader
        ErrorCase{"LineBreakBetweenParams", "<macro name=M\n/>", kCannotAnalyze + "Line: 1, Char: 14.", false},
        ErrorCase{"QuoteInValue", "<macro name=M\"/>", kCannotAnalyze + "Line: 1, Char: 14.", false},
        ErrorCase{"QuoteInName", "<macro na\"me=M/>", kCannotAnalyze + "Line: 1, Char: 10.", false},
        ErrorCase{"SlashInValue", "<macro name=a/b/>", kCannotAnalyze + "Line: 1, Char: 14.", false},
        ErrorCase{"SlashInName", "<macro n/x/>", kCannotAnalyze + "Line: 1, Char: 9.", false},
        ErrorCase{"EqualsWithoutName", "<macro =M/>", kCannotAnalyze + "Line: 1, Char: 8.", false},
        ErrorCase{"LessThanInName", "<macro name<M/>", kCannotAnalyze + "Line: 1, Char: 12.", false},
        ErrorCase{"FourthLine", "a\nb\nc\nxxxxxxxxx<macro =M/>", kCannotAnalyze + "Line: 4, Char: 17.", false},
        ErrorCase{"OpenQuoteAtEnd", "<macro name=\"M/>",
                  "Error while detecting position in line. Index (19) out of range (18).", false},
        // Declarations pass
        ErrorCase{"ParamName", "<params>\n<param value=1/>\n</params>",
                  "Name of 'param' tag must be specified. Line: 2, Char: 17.", true},
        ErrorCase{"EndParamSelfClosed", "<params>\n<param name=p>x</param />\n</params>",
                  "Error in '/param' tag declaration. Line: 2, Char: 26.", true},
        ErrorCase{"EndParamsSelfClosed", "<params></params />", "Error in '/params' tag declaration. Line: 1, Char: 20.",
                  true},
        ErrorCase{"TranslationName", "<params><translation>",
                  "Name of 'translation' tag must be specified. Line: 1, Char: 22.", true},
        ErrorCase{"EndTranslationSelfClosed", "<params><translation name=t></translation name=t/>",
                  "Error in '/translation' tag declaration. Line: 1, Char: 51.", true},
        ErrorCase{"EndTranslationName", "<params><translation name=t></translation>",
                  "Name of '/translation' tag must be specified. Line: 1, Char: 43.", true},
        ErrorCase{"EndTranslationOtherTable", "<params><translation name=y></translation name=x>",
                  "Trying to close not previously opened translation table \"x\". "
                  "\xCE\xE6\xE8\xE4\xE0\xE5\xF2\xF1\xFF \xE7\xE0\xEA\xF0\xFB\xF2\xE8\xE5 \"y\". Line: 1, Char: 50.",
                  true},
        ErrorCase{"ReplaceString", "<params><translation name=t><replace with=x/>",
                  "String in 'replace' tag must be specified. Line: 1, Char: 46.", true},
        ErrorCase{"EndReplaceSelfClosed", "<params><translation name=t><replace string=a>x</replace />",
                  "Error in '/replace' tag declaration. Line: 1, Char: 60.", true},
        ErrorCase{"EndCodeSelfClosed", "<code>x</code />", "Error in '/code' tag declaration. Line: 1, Char: 17.", true},
        ErrorCase{"ParamsNotClosed", "<params>\n<param name=p value=1/>", "Error in template params declaration.", true},
        ErrorCase{"ParamNotClosed", "<params>\n<param name=p>\n</params>", "Error in template params declaration.", true},
        ErrorCase{"TableNotClosed", "<params><translation name=t></params>", "Error in template params declaration.", true},
        ErrorCase{"DuplicateTable", "<params><translation name=t/><translation name=t/></params>",
                  "Duplicate translation table name.", true},
        ErrorCase{"ReaderErrorAtLoad", "<params>\n<param na\"me=p/>", kCannotAnalyze + "Line: 2, Char: 10.", true}),
    [](const ::testing::TestParamInfo<ErrorCase> &info) { return info.param.name; });

TEST(TemplateEngine, TemplateErrorCarriesPlace)
{
    ScriptedEngine engine;
    engine.setTemplateText(crlf("a\n\tb<if>"));
    try {
        engine.run();
        FAIL();
    } catch (const TemplateError &e) {
        EXPECT_EQ(e.line(), 2);
        EXPECT_EQ(e.column(), 7);
        EXPECT_EQ(e.engine(), &engine);
    }
}

TEST(TemplateEngine, OutputBeforeAnErrorStaysEmitted)
{
    ScriptedEngine engine;
    engine.setTemplateText(crlf("a\nb<b>c<i>d<macro name=M>e"));
    EXPECT_THROW(engine.run(), TemplateError);
    // Literal text up to the last "<" that was not a tag has been handed out.
    EXPECT_EQ(engine.allPages(), "a\r\nb<b>c<");
}

TEST(TemplateEngine, HookErrorsPassThroughAndEndThePage)
{
    struct Thrown {};
    ScriptedEngine engine;
    engine.setTemplateText("<if name=A>x</if name=A>");
    engine.onProgress = [](ScriptedEngine &e) {
        if (e.progressCalls == 3)
            throw Thrown{};
    };
    EXPECT_THROW(engine.run(), Thrown);
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"start", "begin1", "end1", "finish"}));
    EXPECT_FALSE(engine.running());
}

TEST(TemplateEngine, StopRequestEndsTheRunQuietly)
{
    ScriptedEngine engine;
    engine.setTemplateText("a<b>c<macro name=M/>d");
    engine.onProgress = [](ScriptedEngine &e) {
        if (e.progressCalls == 3)
            e.setStopRequest(true);
    };
    engine.run();
    EXPECT_EQ(engine.allPages(), "a<");
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"start", "begin1", "end1", "finish"}));

    // Cleared when the next run starts; a stop before the first page writes none.
    engine.onProgress = [](ScriptedEngine &e) { e.setStopRequest(true); };
    engine.pages.clear();
    engine.calls.clear();
    engine.run();
    EXPECT_TRUE(engine.pages.empty());
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"start", "finish"}));
}

TEST(TemplateEngine, NoTemplateChangeOrSecondRunDuringARun)
{
    ScriptedEngine engine;
    engine.setTemplateText("x");
    engine.onBeginPage = [](ScriptedEngine &e, int) { e.setTemplateText("y"); };
    try {
        engine.run();
        FAIL();
    } catch (const Error &e) {
        EXPECT_STREQ(e.what(), "Can't change template during execution.");
    }
    EXPECT_EQ(engine.templateText(), "x\r\n");

    engine.onBeginPage = [](ScriptedEngine &e, int) { e.run(); };
    try {
        engine.run();
        FAIL();
    } catch (const Error &e) {
        EXPECT_STREQ(e.what(), "Template engine is already running.");
    }
    EXPECT_FALSE(engine.running());
}

TEST(TemplateEngine, LoopStateQueries)
{
    ScriptedEngine engine;
    configureStandard(engine);
    std::vector<std::string> seen;
    engine.onCheckLoop = [&](ScriptedEngine &e, int index, const std::string &name, bool &) {
        seen.push_back(name + std::to_string(index) + ":" + std::to_string(e.loopCounter(index)) + "/" +
                       std::to_string(e.loopPageCounter(index)) + " " + e.loopName(0) +
                       std::to_string(e.loopCounterByName("L")) + " " + std::to_string(e.indexOfLoop("I")));
    };
    engine.setTemplateText("<repeat name=L><repeat name=I></repeat></repeat name=L>");
    engine.run();
    EXPECT_EQ(seen.front(), "L0:0/0 L0 -1");
    EXPECT_EQ(seen[1], "I1:0/0 L0 1");
    EXPECT_EQ(seen[2], "I1:1/1 L0 1");
    EXPECT_EQ(seen.back(), "L0:2/2 L2 -1");

    EXPECT_EQ(engine.loopCount(), 0);
    EXPECT_EQ(failureOf([&] { engine.loopCounter(0); }), "Index out of range.");
    EXPECT_EQ(failureOf([&] { engine.loopPageCounter(-1); }), "Index out of range.");
    EXPECT_EQ(failureOf([&] { engine.loopCounterByName("L"); }), "Loop name is not found.");
    EXPECT_EQ(engine.indexOfLoop("L"), -1);

    engine.setTemplateText("<macro name=@L/>");
    EXPECT_EQ(failureOf([&] { engine.run(); }), "Loop name is not found.");
}

// ---------------------------------------------------------------- pages

TEST(TemplateEngine, PageRequestResumesOnTheNextPage)
{
    ScriptedEngine engine;
    configureStandard(engine);
    engine.pageLoop = "P"; // five rows
    engine.perPage = 2;
    engine.setTemplateText(crlf("<if name=Page1>\nhead\n</if name=Page1>\n<repeat name=P>\n"
                                "<macro name=@P/>.<macro name=%P/>\n</repeat name=P>\nfoot"));
    engine.run();
    EXPECT_EQ(engine.pages, (std::vector<std::string>{crlf("head\n0.0\n1.1\nfoot\n"), crlf("2.0\n3.1\nfoot\n"),
                                                      crlf("4.0\nfoot\n")}));
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"start", "begin1", "end1", "begin2", "end2", "begin3", "end3",
                                                      "finish"}));
    EXPECT_EQ(engine.pageNumber(), 3);

    // Exactly full pages leave no empty page behind.
    engine.loopRows["P"] = 4;
    engine.pages.clear();
    engine.run();
    EXPECT_EQ(engine.pages.size(), 2u);
}

TEST(TemplateEngine, PageRequestInNestedLoopsResumesBoth)
{
    ScriptedEngine engine;
    configureStandard(engine);
    engine.loopRows = {{"O", 2}, {"I", 3}};
    engine.pageLoop = "I";
    engine.perPage = 2;
    engine.setTemplateText(crlf("<h1>\n<repeat name=O>\n<repeat name=I>\n<macro name=@O/>.<macro name=@I/>\n"
                                "</repeat name=I>\n</repeat name=O>\n</h1>"));
    engine.run();
    EXPECT_EQ(engine.pages, (std::vector<std::string>{crlf("<h1>\n0.0\n0.1\n</h1>\n"), crlf("<h1>\n0.2\n1.0\n1.1\n</h1>\n"),
                                                      crlf("<h1>\n1.2\n</h1>\n")}));
}

TEST(TemplateEngine, ResumingLoopsMustMatchTheSavedOnes)
{
    ScriptedEngine engine;
    configureStandard(engine);
    engine.loopRows = {{"I", 3}};
    engine.pageLoop = "I";
    engine.perPage = 1;
    auto runMessage = [&](const std::string &templ) {
        engine.setTemplateText(crlf(templ));
        engine.calls.clear();
        return failureOf([&] { engine.run(); });
    };
    // Another loop stands where the saved inner loop was.
    EXPECT_EQ(runMessage("<repeat name=O>\n<if name=Page1>\n<repeat name=I>\nx\n</repeat name=I>\n<else name=Page1/>\n"
                         "<repeat name=J>\n</repeat name=J>\n</if name=Page1>\n</repeat name=O>"),
              "Unable to find point to return. Line: 7, Char: 16.");
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"start", "begin1", "end1", "begin2", "end2", "finish"}));
    // A saved loop met outside the way back.
    EXPECT_EQ(runMessage("<if name=Page1>\n<repeat name=O>\n<repeat name=I>\nx\n</repeat name=I>\n</repeat name=O>\n"
                         "<else name=Page1/>\n<repeat name=K>\n<repeat name=I>\n</repeat name=I>\n</repeat name=K>\n"
                         "</if name=Page1>"),
              "Unable to find point to return. Possible reason is duplicated loop name. Line: 9, Char: 16.");
}

TEST(TemplateEngine, RepeatedPageRequestFails)
{
    ScriptedEngine engine;
    engine.setTemplateText("<repeat name=L></repeat>");
    engine.onCheckLoop = [](ScriptedEngine &e, int, const std::string &, bool &) {
        e.requestNewPage();
        e.requestNewPage();
    };
    EXPECT_THROW(
        {
            try {
                engine.run();
            } catch (const Error &e) {
                EXPECT_STREQ(e.what(), "Repeated request for new page is not allowed.");
                throw;
            }
        },
        Error);

    // Before the saved loop was resumed on the next page.
    bool requested = false;
    engine.onCheckLoop = [&](ScriptedEngine &e, int, const std::string &name, bool &) {
        if (name == "K" || !requested) {
            requested = true;
            e.requestNewPage();
        }
    };
    engine.setTemplateText(crlf("<if name=Page1>\n<else name=Page1/>\n<repeat name=K></repeat>\n</if name=Page1>\n"
                                "<repeat name=L></repeat>"));
    try {
        engine.run();
        FAIL();
    } catch (const Error &e) {
        EXPECT_STREQ(e.what(), "Repeated request for new page is not allowed.");
    }
    EXPECT_EQ(engine.pageNumber(), 2);
}

TEST(TemplateEngine, FailedRunLeavesNoResumptionBehind)
{
    ScriptedEngine engine;
    configureStandard(engine);
    engine.pageLoop = "L";
    engine.loopRows["L"] = 3;
    engine.perPage = 2;
    engine.setTemplateText(crlf("<repeat name=L>\n<macro name=@L/>\n</repeat name=L>"));
    engine.onBeginPage = [](ScriptedEngine &, int page) {
        if (page == 2)
            throw Error("disk full");
    };
    EXPECT_THROW(engine.run(), Error);

    engine.onBeginPage = nullptr;
    engine.pages.clear();
    engine.run();
    EXPECT_EQ(engine.pages, (std::vector<std::string>{crlf("0\n1\n"), crlf("2\n")}));
}

} // namespace
} // namespace kaviro::test
