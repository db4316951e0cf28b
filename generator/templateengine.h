#pragma once

// TemplateEngine expands a text template (HTML with the engine's own tags)
// into pages. The engine decides nothing about content: a derived class
// answers the hooks below.
//
// Using it from a derived class:
//   class MyPages : public kaviro::TemplateEngine {
//   protected:
//       void runStarting() override {}
//       void runFinished() override {}
//       void beginPage(int page) override { /* open the page's output */ }
//       void endPage(int page) override { /* close it; also called after an error */ }
//       void emitText(std::string_view text) override { /* append text to the page */ }
//       void evaluateCondition(const std::string &name, const StringParameters &tag,
//                              bool &result) override { result = ...; }
//       void checkLoop(int index, const std::string &name, const StringParameters &tag,
//                      bool &finished) override
//       {   // finished is false at "repeat", true at "/repeat"
//           finished = loopCounter(index) >= rows;
//           if (!finished && loopPageCounter(index) >= perPage) requestNewPage();
//       }
//       void getMacroValue(const std::string &name, const StringParameters &tag,
//                          std::string &value, bool &translate) override { value = ...; }
//   };
//   MyPages pages;
//   pages.setTemplateText(bytes);   // or setTemplateLines(lines); reads the declarations
//   pages.run();                    // calls the hooks page by page
//
// Errors in the template throw TemplateError (with line and column) or Error;
// errors thrown by a hook pass through unchanged. Either way endPage() has
// been called for the open page and runFinished() last. The text handed to
// emitText() arrives in pieces; the page is their concatenation.
//
// Strings are bytes (Windows-1252); the template text is the lines joined,
// each followed by CR LF. Engines cannot be copied.

#include "generator/parameters.h"
#include "generator/tagreader.h"

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

namespace detail {
enum class TagWord; // the engine's tag words
}

class TemplateEngine {
public:
    TemplateEngine();
    virtual ~TemplateEngine();
    TemplateEngine(const TemplateEngine &) = delete;
    TemplateEngine &operator=(const TemplateEngine &) = delete;

    // The template. Each change reads its declarations at once (params,
    // translation tables, code blocks) and throws their errors; the lines are
    // kept even then. Throws Error "Can't change template during execution."
    // while a run or the declarations pass works.
    void setTemplateLines(std::vector<std::string> lines);
    // Splits text at CR LF, CR or LF and sets the lines.
    void setTemplateText(std::string_view text);
    const std::vector<std::string> &templateLines() const { return m_lines; }
    // The lines joined, each followed by CR LF.
    const std::string &templateText() const { return m_text; }

    // Expands the template page by page through the hooks.
    void run();
    bool running() const { return m_running; }

    // Number of the page being written, from 1; after a run the last page's.
    int pageNumber() const { return m_pageNumber; }

    // The open loops, 0 = outermost. Counters count completed iterations:
    // over all pages, and on the current page. Bad index: Error "Index out of range.".
    int loopCount() const { return static_cast<int>(m_loops.size()); }
    int loopCounter(int index) const;
    int loopPageCounter(int index) const;
    const std::string &loopName(int index) const;
    // Error "Loop name is not found." when no open loop has that name.
    int loopCounterByName(std::string_view name) const;
    int indexOfLoop(std::string_view name) const;

    // What the declarations pass read from the template.
    const StringParameters &params() const { return m_params; }
    const TranslationTables &translationTables() const { return m_translationTables; }
    const std::vector<std::string> &codeLines() const { return m_codeLines; }

    // Names of extra tags for handleCustomTag(); compared ignoring ASCII case.
    std::vector<std::string> &customTags() { return m_customTags; }
    const std::vector<std::string> &customTags() const { return m_customTags; }

protected:
    // Called from checkLoop() when the page is full: the loop ends on this
    // page, the rest of the template is expanded, and the next page starts
    // from the top, resuming this loop (and the loops around it) with their
    // counters. Error "Repeated request for new page is not allowed." when
    // called twice on a page or before the saved loop was resumed.
    void requestNewPage();
    bool newPageRequested() const { return m_newPageRequested; }

    // Set inside progress() to end the run after the current step.
    void setStopRequest(bool stop) { m_stopRequest = stop; }
    bool stopRequest() const { return m_stopRequest; }

    // The hooks, in the order of their slots.
    // Last step of every run, also after an error.
    virtual void runFinished() = 0;
    // First step of every run.
    virtual void runStarting() = 0;
    // At each "if" in output mode; result is true on entry.
    virtual void evaluateCondition(const std::string &name, const StringParameters &tagParams, bool &result) = 0;
    // For each tag name that is not one of the engine's, in output mode.
    // Default: whether the name is in customTags().
    virtual void isCustomTag(const std::string &name, bool &result);
    // At "repeat" (finished false on entry) and "/repeat" (true on entry).
    virtual void checkLoop(int index, const std::string &name, const StringParameters &tagParams,
                           bool &finished) = 0;
    // At each "macro"; value is empty and translate true on entry. With
    // translate left true the default translation table applies to value.
    virtual void getMacroValue(const std::string &name, const StringParameters &tagParams, std::string &value,
                               bool &translate) = 0;
    virtual void beginPage(int pageNumber) = 0;
    // Also after an error on that page.
    virtual void endPage(int pageNumber) = 0;
    // Before each page and before each search for the next tag. Default: nothing.
    virtual void progress();
    // At each custom tag in output mode. Default: nothing.
    virtual void handleCustomTag(const std::string &name, bool selfClosed, const StringParameters &tagParams);
    // Each piece of expanded text, in output order.
    virtual void emitText(std::string_view text) = 0;

private:
    struct Loop {
        std::string name;
        std::size_t start; // right after its "repeat" tag
        int counter;
        int pageCounter;
    };
    struct SavedLoop {
        std::string name;
        std::size_t start;
        int counter;
    };
    using TagWord = detail::TagWord;

    // A tag as the expansion pass reads it. The text does not change while it
    // runs, and the same tags come round for every listing, so each is read
    // once: its name when the pass first meets it, its parameters when first
    // asked for.
    struct ScannedTag {
        std::size_t open = 0; // position of "<"
        std::string name;     // as findTag() reads it
        TagWord word{};
        bool paramsRead = false;
        bool selfClosed = false;
        std::size_t end = 0; // right after the tag, once its parameters are read
        StringParameters params;
    };

    // The first tag at or after from, nullptr when there is none.
    ScannedTag *nextTag(std::size_t from);
    void forgetScannedTags();
    void parseDeclarations();
    // One page; true when the next page is due.
    bool runPage();
    // Walks the text once; false when a stop request ended it.
    bool scan();
    bool outputMode() const;
    void checkAllClosed() const;
    // True when the tag is examined in the current mode.
    bool handleOutputTag(ScannedTag &tag, std::string_view &macroText);
    bool handleSkippedTag(ScannedTag &tag, bool &endedSkip);
    void openLoop(ScannedTag &tag);
    void endIteration(ScannedTag &tag);
    const std::string &readElse(ScannedTag &tag);
    const std::string &readEndIf(ScannedTag &tag);
    // Both leave m_pos after the tag and m_tagParams on its parameters; the
    // declarations pass reads its tags afresh.
    bool readParams(ScannedTag &tag);
    bool readParams(const TagName &tag);
    const std::string &requiredName(std::string_view reason) const;
    const Loop &loopAt(int index) const;
    void resetModes();
    void clearRunState();
    [[noreturn]] void fail(std::string_view reason) const;

    // Template and what its declarations hold.
    std::vector<std::string> m_lines;
    std::string m_text;
    StringParameters m_params;
    TranslationTables m_translationTables;
    std::vector<std::string> m_codeLines;
    std::vector<std::string> m_customTags;

    // Run state.
    bool m_running = false;
    bool m_stopRequest = false;
    bool m_newPageRequested = false;
    bool m_resumePending = false;
    int m_pageNumber = 0;
    std::size_t m_pos = 0;
    std::vector<Loop> m_loops;
    std::vector<SavedLoop> m_saved;
    std::vector<std::string> m_conditions;
    std::string m_skipLoop;
    std::string m_commentName;
    bool m_commentOpen = false;
    bool m_codeBlock = false;
    bool m_paramsBlock = false;
    bool m_conditionSkip = false;

    // The tags read so far (a deque keeps them in place as it grows), and
    // for each position of the text the first tag at or after it, once
    // looked up from there.
    std::deque<ScannedTag> m_scannedTags;
    std::vector<ScannedTag *> m_nextTag;
    std::string m_nameScratch;
    StringParameters m_declarationParams; // the declarations pass reads into these
    const StringParameters *m_tagParams = &m_declarationParams; // of the tag last read

    // Scratch reused from macro to macro.
    std::string m_macroValue;
    std::string m_translated;
};

} // namespace kaviro
