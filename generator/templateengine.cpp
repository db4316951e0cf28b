#include "generator/templateengine.h"

#include <algorithm>
#include <cstring>

namespace kaviro {

namespace {

constexpr std::size_t npos = std::string_view::npos;

} // namespace

namespace detail {
enum class TagWord { Other, Comment, EndComment, Macro, Repeat, EndRepeat, If, Else, EndIf, Params, EndParams, Code, EndCode };
}

namespace {

using Word = detail::TagWord;

// Compares with a constant-size memcmp, which the compiler turns into a few
// integer compares; classify() runs for every "<" of the template.
template <std::size_t N>
bool is(std::string_view name, const char (&word)[N])
{
    return std::memcmp(name.data(), word, N - 1) == 0;
}

Word classify(std::string_view name)
{
    switch (name.size()) {
    case 2:
        return is(name, "if") ? Word::If : Word::Other;
    case 3:
        return is(name, "/if") ? Word::EndIf : Word::Other;
    case 4:
        return is(name, "else") ? Word::Else : is(name, "code") ? Word::Code : Word::Other;
    case 5:
        return is(name, "macro") ? Word::Macro : is(name, "/code") ? Word::EndCode : Word::Other;
    case 6:
        return is(name, "repeat") ? Word::Repeat : is(name, "params") ? Word::Params : Word::Other;
    case 7:
        return is(name, "comment")   ? Word::Comment
               : is(name, "/repeat") ? Word::EndRepeat
               : is(name, "/params") ? Word::EndParams
                                     : Word::Other;
    case 8:
        return is(name, "/comment") ? Word::EndComment : Word::Other;
    default:
        return Word::Other;
    }
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

TemplateEngine::TemplateEngine() = default;
TemplateEngine::~TemplateEngine() = default;

void TemplateEngine::setTemplateLines(std::vector<std::string> lines)
{
    if (m_running)
        throw Error("Can't change template during execution.");
    m_lines = std::move(lines);
    std::size_t size = 0;
    for (const std::string &line : m_lines)
        size += line.size() + 2;
    m_text.clear();
    m_text.reserve(size);
    for (const std::string &line : m_lines) {
        m_text += line;
        m_text += "\r\n";
    }
    forgetScannedTags();
    parseDeclarations();
}

void TemplateEngine::setTemplateText(std::string_view text)
{
    setTemplateLines(splitLines(text));
}

int TemplateEngine::loopCounter(int index) const
{
    return loopAt(index).counter;
}

int TemplateEngine::loopPageCounter(int index) const
{
    return loopAt(index).pageCounter;
}

const std::string &TemplateEngine::loopName(int index) const
{
    return loopAt(index).name;
}

const TemplateEngine::Loop &TemplateEngine::loopAt(int index) const
{
    if (index < 0 || index >= loopCount())
        throw Error("Index out of range.");
    return m_loops[static_cast<std::size_t>(index)];
}

int TemplateEngine::loopCounterByName(std::string_view name) const
{
    const int index = indexOfLoop(name);
    if (index < 0)
        throw Error("Loop name is not found.");
    return m_loops[static_cast<std::size_t>(index)].counter;
}

int TemplateEngine::indexOfLoop(std::string_view name) const
{
    for (std::size_t i = 0; i < m_loops.size(); ++i) {
        if (m_loops[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

void TemplateEngine::requestNewPage()
{
    if (m_newPageRequested || m_resumePending)
        throw Error("Repeated request for new page is not allowed.");
    m_newPageRequested = true;
    m_saved.clear();
    for (const Loop &loop : m_loops)
        m_saved.push_back(SavedLoop{loop.name, loop.start, loop.counter});
}

void TemplateEngine::isCustomTag(const std::string &name, bool &result)
{
    result = std::any_of(m_customTags.begin(), m_customTags.end(),
                         [&](const std::string &tag) { return equalsIgnoringAsciiCase(tag, name); });
}

void TemplateEngine::progress() {}

void TemplateEngine::handleCustomTag(const std::string &, bool, const StringParameters &) {}

void TemplateEngine::fail(std::string_view reason) const
{
    TemplateError::raise(reason, m_text, m_pos, this);
}

bool TemplateEngine::readParams(const TagName &tag)
{
    // Parameters start after the "<" and the tag word, as the tag reader
    // defines it (also when blanks stood between "<" and the name).
    m_pos = tag.open + 1 + tag.name.size();
    m_tagParams = &m_declarationParams;
    return readTagParams(m_text, m_pos, m_declarationParams, this);
}

bool TemplateEngine::readParams(ScannedTag &tag)
{
    if (!tag.paramsRead) {
        m_pos = tag.open + 1 + tag.name.size();
        tag.selfClosed = readTagParams(m_text, m_pos, tag.params, this);
        tag.end = m_pos;
        tag.paramsRead = true;
    }
    m_pos = tag.end;
    m_tagParams = &tag.params;
    return tag.selfClosed;
}

TemplateEngine::ScannedTag *TemplateEngine::nextTag(std::size_t from)
{
    if (from < m_nextTag.size() && m_nextTag[from])
        return m_nextTag[from];
    const std::size_t open = m_text.find('<', from);
    if (open == npos)
        return nullptr;
    ScannedTag *&tag = m_nextTag[open];
    if (!tag) {
        TagName name;
        findTag(m_text, open, true, m_nameScratch, name);
        tag = &m_scannedTags.emplace_back();
        tag->open = open;
        tag->name.assign(name.name);
        tag->word = classify(name.name);
    }
    m_nextTag[from] = tag;
    return tag;
}

void TemplateEngine::forgetScannedTags()
{
    m_scannedTags.clear();
    m_nextTag.assign(m_text.size(), nullptr);
}

const std::string &TemplateEngine::requiredName(std::string_view reason) const
{
    const std::string *name = m_tagParams->find("name");
    if (!name || name->empty())
        fail(reason);
    return *name;
}

void TemplateEngine::resetModes()
{
    m_skipLoop.clear();
    m_commentName.clear();
    m_commentOpen = false;
    m_codeBlock = false;
    m_paramsBlock = false;
    m_conditionSkip = false;
}

void TemplateEngine::clearRunState()
{
    m_loops.clear();
    m_conditions.clear();
    m_saved.clear();
    m_newPageRequested = false;
    m_resumePending = false;
    resetModes();
}

void TemplateEngine::run()
{
    // A hook that starts the run again would pull the text from under the
    // running pass.
    if (m_running)
        throw Error("Template engine is already running.");
    m_running = true;
    m_pageNumber = 0;
    m_stopRequest = false;
    // A run that failed half-way may have left a resumption pending; the next
    // run must not inherit it.
    clearRunState();

    auto finish = [this] {
        clearRunState();
        m_running = false;
    };
    try {
        runStarting();
        for (;;) {
            progress();
            if (m_stopRequest)
                break;
            if (!runPage())
                break;
        }
    } catch (...) {
        finish();
        try {
            runFinished();
        } catch (...) {
            // The error that ended the run is the one to report.
        }
        throw;
    }
    finish();
    runFinished();
}

bool TemplateEngine::runPage()
{
    m_newPageRequested = false;
    m_resumePending = !m_saved.empty();
    ++m_pageNumber;
    m_loops.clear();
    m_conditions.clear();
    resetModes();
    const int page = m_pageNumber;
    bool stopped = false;
    try {
        beginPage(page);
        stopped = !scan();
        if (!stopped)
            checkAllClosed();
    } catch (...) {
        try {
            endPage(page);
        } catch (...) {
            // Keep the error that ended the page.
        }
        throw;
    }
    endPage(page);
    return !stopped && m_newPageRequested;
}

void TemplateEngine::checkAllClosed() const
{
    if (!m_loops.empty())
        throw Error("Error in template: " + std::to_string(m_loops.size()) + " loops were not closed.");
    if (!m_conditions.empty())
        throw Error("Error in template: " + std::to_string(m_conditions.size()) + " conditions were not closed.");
    if (m_conditionSkip || m_commentOpen || m_paramsBlock)
        throw Error("Error in template. Not all tags have been closed.");
}

bool TemplateEngine::outputMode() const
{
    return !m_commentOpen && !m_codeBlock && !m_paramsBlock && m_skipLoop.empty() && !m_conditionSkip;
}

bool TemplateEngine::scan()
{
    const std::string_view text = m_text;
    // Literal text waits from pending on. Text before an unexamined "<" is
    // handed out together with the next tag's chunk; flushable marks how much
    // of it was already due, so that a stop or an error still delivers it.
    std::size_t pending = 0;
    std::size_t flushable = 0;
    m_pos = 0;
    try {
        for (;;) {
            progress();
            if (m_stopRequest) {
                const std::size_t from = pending;
                pending = flushable;
                if (flushable > from)
                    emitText(text.substr(from, flushable - from));
                return false;
            }
            ScannedTag *const found = nextTag(m_pos);
            if (!found) {
                // Only output mode has text to give; what follows an unclosed
                // code block (or any other skipped region) is not output.
                if (outputMode() && pending < text.size()) {
                    const std::size_t from = pending;
                    pending = flushable = text.size();
                    emitText(text.substr(from));
                }
                return true;
            }
            ScannedTag &tag = *found;
            if (outputMode()) {
                std::string_view macroText;
                if (!handleOutputTag(tag, macroText)) {
                    m_pos = tag.open + 1;
                    flushable = m_pos;
                    continue;
                }
                std::size_t chunkEnd = tag.open;
                if (macroText.empty()) {
                    const std::size_t indent = tagIndentStart(text, pending, tag.open);
                    if (indent != npos) {
                        chunkEnd = indent;
                        m_pos = skipBlankRestOfLine(text, m_pos);
                    }
                }
                const std::size_t from = pending;
                pending = flushable = m_pos;
                if (chunkEnd > from)
                    emitText(text.substr(from, chunkEnd - from));
                if (!macroText.empty())
                    emitText(macroText);
            } else {
                bool endedSkip = false;
                if (!handleSkippedTag(tag, endedSkip))
                    m_pos = tag.open + 1;
                else if (endedSkip)
                    m_pos = skipBlankRestOfLine(text, m_pos);
                pending = flushable = m_pos;
            }
        }
    } catch (...) {
        if (flushable > pending)
            emitText(text.substr(pending, flushable - pending));
        throw;
    }
}

bool TemplateEngine::handleOutputTag(ScannedTag &tag, std::string_view &macroText)
{
    switch (tag.word) {
    case Word::Comment: {
        const bool selfClosed = readParams(tag);
        const std::string &name = requiredName("Name of 'comment' tag must be specified.");
        if (!selfClosed) {
            m_commentOpen = true;
            m_commentName = name;
        }
        return true;
    }
    case Word::Macro: {
        if (!readParams(tag))
            fail("Error in macro declaration.");
        const std::string &name = requiredName("Name of macro must be specified.");
        m_macroValue.clear();
        bool translate = true;
        getMacroValue(name, *m_tagParams, m_macroValue, translate);
        macroText = m_macroValue;
        if (translate) {
            if (const TranslationTable *table = m_translationTables.defaultTable())
                macroText = kaviro::translate(*table, m_macroValue, m_translated);
        }
        return true;
    }
    case Word::Repeat:
        openLoop(tag);
        return true;
    case Word::EndRepeat:
        endIteration(tag);
        return true;
    case Word::If: {
        if (readParams(tag))
            fail("Error in 'if' tag declaration.");
        const std::string &name = requiredName("Name of 'if' tag must be specified.");
        bool result = true;
        evaluateCondition(name, *m_tagParams, result);
        m_conditions.push_back(name);
        m_conditionSkip = !result;
        return true;
    }
    case Word::Else: {
        const std::string &name = readElse(tag);
        if (!m_conditions.empty() && m_conditions.back() == name)
            m_conditionSkip = true;
        return true;
    }
    case Word::EndIf: {
        const std::string &name = readEndIf(tag);
        if (m_conditions.empty() || m_conditions.back() != name)
            fail("Condition was not declared, or closing tag for inner condition is skipped.");
        m_conditions.pop_back();
        return true;
    }
    case Word::Params:
        m_paramsBlock = !readParams(tag);
        return true;
    case Word::Code:
        m_codeBlock = !readParams(tag);
        return true;
    case Word::Other: {
        bool custom = false;
        isCustomTag(tag.name, custom);
        if (!custom)
            return false;
        const bool selfClosed = readParams(tag);
        handleCustomTag(tag.name, selfClosed, *m_tagParams);
        return true;
    }
    case Word::EndComment:
    case Word::EndParams:
    case Word::EndCode:
        return false;
    }
    return false;
}

bool TemplateEngine::handleSkippedTag(ScannedTag &tag, bool &endedSkip)
{
    const Word word = tag.word;
    if (m_commentOpen) {
        if (word != Word::EndComment)
            return false;
        if (readParams(tag))
            fail("Error in '/comment' tag declaration.");
        const std::string *name = m_tagParams->find("name");
        if (name && *name == m_commentName) {
            m_commentOpen = false;
            m_commentName.clear();
            endedSkip = true;
        }
        return true;
    }
    if (word == Word::Comment) {
        std::string_view unused;
        return handleOutputTag(tag, unused);
    }
    if (m_codeBlock) {
        if (word != Word::EndCode)
            return false;
        if (readParams(tag))
            fail("Error in '/code' tag declaration");
        m_codeBlock = false;
        endedSkip = true;
        return true;
    }
    if (m_paramsBlock) {
        if (word != Word::EndParams)
            return false;
        if (readParams(tag))
            fail("Error in '/params' tag declaration.");
        m_paramsBlock = false;
        endedSkip = true;
        return true;
    }
    if (!m_skipLoop.empty()) {
        if (word != Word::EndRepeat)
            return false;
        if (readParams(tag))
            fail("Error in '/repeat' tag declaration.");
        const std::string *name = m_tagParams->find("name");
        if (name && *name == m_skipLoop) {
            const int index = indexOfLoop(m_skipLoop);
            if (index >= 0)
                m_loops.resize(static_cast<std::size_t>(index));
            m_skipLoop.clear();
            endedSkip = true;
        }
        return true;
    }
    // Condition skip.
    if (word == Word::Else) {
        const std::string &name = readElse(tag);
        if (!m_conditions.empty() && m_conditions.back() == name) {
            m_conditionSkip = false;
            endedSkip = true;
        }
        return true;
    }
    if (word == Word::EndIf) {
        const std::string &name = readEndIf(tag);
        if (!m_conditions.empty() && m_conditions.back() == name) {
            m_conditions.pop_back();
            m_conditionSkip = false;
            endedSkip = true;
        }
        return true;
    }
    return false;
}

const std::string &TemplateEngine::readElse(ScannedTag &tag)
{
    if (!readParams(tag))
        fail("Error in 'else' tag declaration.");
    return requiredName("Name of 'else' tag must be specified.");
}

const std::string &TemplateEngine::readEndIf(ScannedTag &tag)
{
    if (readParams(tag))
        fail("Error in '/if' tag declaration.");
    return requiredName("Name of '/if' tag must be specified.");
}

void TemplateEngine::openLoop(ScannedTag &tag)
{
    if (readParams(tag))
        fail("Error in 'repeat' tag declaration.");
    const std::string &name = requiredName("Name of 'repeat' tag must be specified.");
    if (indexOfLoop(name) >= 0)
        fail("Duplicate loop name '" + name + "'.");

    const std::size_t index = m_loops.size();
    int counter = 0;
    if (m_resumePending && !m_saved.empty()) {
        const bool onTheWayBack = (index == 0 ? name : m_loops.front().name) == m_saved.front().name;
        if (onTheWayBack) {
            if (index >= m_saved.size() || m_saved[index].name != name)
                fail("Unable to find point to return.");
            counter = m_saved[index].counter;
            if (index + 1 >= m_saved.size())
                m_resumePending = false;
        } else if (std::any_of(m_saved.begin(), m_saved.end(),
                               [&](const SavedLoop &saved) { return saved.name == name; })) {
            fail("Unable to find point to return. Possible reason is duplicated loop name.");
        }
    }
    m_loops.push_back(Loop{name, m_pos, counter, 0});

    bool finished = false;
    checkLoop(static_cast<int>(index), m_loops[index].name, *m_tagParams, finished);
    if (finished)
        m_skipLoop = m_loops[index].name;
}

void TemplateEngine::endIteration(ScannedTag &tag)
{
    if (readParams(tag))
        fail("Error in '/repeat' tag declaration.");
    const std::string *name = m_tagParams->find("name");
    const int found = name ? indexOfLoop(*name) : loopCount() - 1;
    if (found < 0)
        fail("'/repeat' tag doesn't have matching 'repeat' tag");
    const std::size_t index = static_cast<std::size_t>(found);
    ++m_loops[index].counter;
    ++m_loops[index].pageCounter;

    bool finished = true;
    checkLoop(found, m_loops[index].name, *m_tagParams, finished);
    if (!finished && m_newPageRequested) {
        // The loop that asked for the new page (or one around it) ends here;
        // the next page takes it up again.
        const std::size_t shared = std::min(m_saved.size(), m_loops.size());
        for (std::size_t j = 0; j < shared && !finished; ++j)
            finished = m_saved[j].name == m_loops[index].name && m_loops[j].start == m_saved[j].start;
    }
    if (finished) {
        m_loops.resize(index);
    } else {
        m_loops.resize(index + 1);
        m_pos = m_loops[index].start;
    }
}

} // namespace kaviro
