#pragma once

// A TemplateEngine whose hooks answer from memory, for the engine tests.

#include "generator/templateengine.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kaviro::test {

// Template text written with "\n" line ends, turned into CR LF.
inline std::string crlf(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

class ScriptedEngine : public TemplateEngine {
public:
    // Conditions not listed hold; "Page1" holds on page 1 only.
    std::map<std::string, bool> conditions;
    // Macro values by name. "@L" gives the counter of loop L, "%L" its page
    // counter, "Echo" the tag's parameter "text"; names in raw are not
    // translated; anything else is empty.
    std::map<std::string, std::string> macros;
    std::set<std::string> raw;
    // Iterations of the listed loops; other loops run once.
    std::map<std::string, int> loopRows;
    // When set, the loop of that name fills a page after perPage iterations.
    std::string pageLoop;
    int perPage = 0;

    // Extra behaviour for single tests.
    std::function<void(ScriptedEngine &, int page)> onBeginPage;
    std::function<void(ScriptedEngine &)> onProgress;
    std::function<void(ScriptedEngine &, int index, const std::string &name, bool &finished)> onCheckLoop;

    std::vector<std::string> pages;
    // The hooks called, in order: start, begin<n>, end<n>, finish, custom:<name>.
    std::vector<std::string> calls;
    long progressCalls = 0;

    std::string allPages() const
    {
        std::string all;
        for (const std::string &page : pages)
            all += page;
        return all;
    }

    using TemplateEngine::requestNewPage;
    using TemplateEngine::setStopRequest;

protected:
    void runStarting() override { calls.push_back("start"); }
    void runFinished() override { calls.push_back("finish"); }

    void evaluateCondition(const std::string &name, const StringParameters &, bool &result) override
    {
        if (name == "Page1") {
            result = pageNumber() == 1;
            return;
        }
        const auto it = conditions.find(name);
        if (it != conditions.end())
            result = it->second;
    }

    void checkLoop(int index, const std::string &name, const StringParameters &, bool &finished) override
    {
        const auto rows = loopRows.find(name);
        if (rows != loopRows.end()) {
            finished = loopCounter(index) >= rows->second;
            if (!finished && name == pageLoop && perPage > 0 && loopPageCounter(index) >= perPage)
                requestNewPage();
        }
        if (onCheckLoop)
            onCheckLoop(*this, index, name, finished);
    }

    void getMacroValue(const std::string &name, const StringParameters &tagParams, std::string &value,
                       bool &translate) override
    {
        if (!name.empty() && name[0] == '@')
            value = std::to_string(loopCounterByName(name.substr(1)));
        else if (!name.empty() && name[0] == '%')
            value = std::to_string(loopPageCounter(indexOfLoop(name.substr(1))));
        else if (name == "Echo")
            value = tagParams.find("text") ? *tagParams.find("text") : std::string();
        else if (const auto it = macros.find(name); it != macros.end())
            value = it->second;
        translate = raw.count(name) == 0;
    }

    void beginPage(int page) override
    {
        calls.push_back("begin" + std::to_string(page));
        pages.emplace_back();
        if (onBeginPage)
            onBeginPage(*this, page);
    }
    void endPage(int page) override { calls.push_back("end" + std::to_string(page)); }

    void progress() override
    {
        ++progressCalls;
        if (onProgress)
            onProgress(*this);
    }

    void handleCustomTag(const std::string &name, bool selfClosed, const StringParameters &tagParams) override
    {
        std::string call = "custom:" + name + (selfClosed ? "/" : "");
        for (int i = 0; i < tagParams.count(); ++i)
            call += " " + tagParams.name(i) + "=" + tagParams.value(i);
        calls.push_back(call);
    }

    void emitText(std::string_view text) override
    {
        if (pages.empty())
            pages.emplace_back(); // text outside a page would be a fault; keep it visible
        pages.back().append(text);
    }
};

// The engine the case tables run with.
inline void configureStandard(ScriptedEngine &engine)
{
    engine.conditions = {{"A", true}, {"F", false}};
    engine.macros = {{"M", "1"}, {"E", ""}, {"U", "\xE4\xF6\xFC"}, {"Raw", "\xE4"}, {"Nl", "x\r\n"}};
    engine.raw = {"Raw"};
    engine.loopRows = {{"L", 2}, {"I", 3}, {"Z", 0}, {"P", 5}};
}

} // namespace kaviro::test
