// Mutated templates must either expand or fail with one of the engine's
// errors: never crash, hang, or leave the engine in a run.

#include "generator/templateengine.h"

#include "tests/generator/enginecases.h"
#include "tests/generator/scriptedengine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

namespace kaviro::test {
namespace {

std::string printable(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string mutate(std::string text, std::mt19937 &rng)
{
    static const std::vector<std::string> pieces = {
        "<", ">", "/", "/>", "=", "\"", "#", "#4", " ", "\t", "\r\n", "\n", "\r", "x", "\xE4",
        "<macro name=M/>", "<macro name=@P/>", "<if name=A>", "<if name=F>", "</if name=A>", "<else name=A/>",
        "<repeat name=L>", "</repeat name=L>", "</repeat>", "<repeat name=P>", "</repeat name=P>",
        "<comment name=c>", "</comment name=c>", "<params>", "</params>", "<code>", "</code>", "<param name=p>",
        "</param>", "<translation name=t default>", "</translation name=t>", "<replace string=a>", "</replace>",
    };
    auto below = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
    const int edits = 1 + static_cast<int>(below(4));
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = below(text.size() + 1);
        switch (below(4)) {
        case 0:
            text.insert(at, pieces[below(pieces.size())]);
            break;
        case 1:
            text.erase(at, 1 + below(6));
            break;
        case 2:
            if (at < text.size())
                text[at] = static_cast<char>(below(256));
            break;
        default: {
            const std::size_t from = below(text.size() + 1);
            text.insert(at, text.substr(from, below(30)));
            break;
        }
        }
    }
    return text;
}

TEST(TemplateEngineRandomInput, MutatedTemplatesExpandOrFailCleanly)
{
    std::vector<std::string> seeds;
    for (const ExpansionCase &c : expansionCases())
        seeds.push_back(crlf(c.templ));
    seeds.push_back(crlf("<if name=Page1>\nhead\n</if name=Page1>\n<repeat name=O>\n<repeat name=P>\n"
                         "<macro name=@P/>\n</repeat name=P>\n</repeat name=O>\nfoot"));

    std::mt19937 rng(20261210);
    int failures = 0;
    int expanded = 0;
    for (int i = 0; i < 4000 && failures < 5; ++i) {
        const std::string templ = mutate(seeds[rng() % seeds.size()], rng);
        ScriptedEngine engine;
        configureStandard(engine);
        engine.pageLoop = "P";
        engine.perPage = 2;
        engine.onProgress = [](ScriptedEngine &e) {
            if (e.progressCalls > 100000)
                throw std::logic_error("no end in sight");
        };
        bool ran = false;
        try {
            // Half of them as one line, so that lone CR and LF stay in the text.
            if (i % 2 == 0)
                engine.setTemplateText(templ);
            else
                engine.setTemplateLines({templ});
            ran = true;
            engine.run();
            ++expanded;
        } catch (const Error &) {
            // One of the engine's errors: fine.
        } catch (const std::exception &e) {
            ++failures;
            ADD_FAILURE() << e.what() << " for template \"" << printable(templ) << '"';
        }
        EXPECT_FALSE(engine.running());
        EXPECT_EQ(engine.loopCount(), 0);
        if (ran) {
            ASSERT_FALSE(engine.calls.empty());
            EXPECT_EQ(engine.calls.back(), "finish");
            const auto begins = std::count_if(engine.calls.begin(), engine.calls.end(),
                                              [](const std::string &c) { return c.rfind("begin", 0) == 0; });
            const auto ends = std::count_if(engine.calls.begin(), engine.calls.end(),
                                            [](const std::string &c) { return c.rfind("end", 0) == 0; });
            EXPECT_EQ(begins, ends) << printable(templ);
        }
    }
    // The mutations should not all be fatal, or the test would only see errors.
    EXPECT_GT(expanded, 400);
}

} // namespace
} // namespace kaviro::test
