// The declarations pass: reads the "params" block (parameters and translation
// tables) and the "code" blocks of the template whenever it changes.

#include "generator/templateengine.h"

namespace kaviro {

namespace {

// Mismatched "/translation": the second half of the message is bytes of the
// code page as the message always had them.
std::string mismatchedTranslationMessage(const std::string &closing, const std::string &open)
{
    return "Trying to close not previously opened translation table \"" + closing +
           "\". \xCE\xE6\xE8\xE4\xE0\xE5\xF2\xF1\xFF \xE7\xE0\xEA\xF0\xFB\xF2\xE8\xE5 \"" + open + "\".";
}

} // namespace

void TemplateEngine::parseDeclarations()
{
    struct RunningFlag {
        bool &flag;
        explicit RunningFlag(bool &f) : flag(f) { flag = true; }
        ~RunningFlag() { flag = false; }
    } runningFlag(m_running);

    m_params.clear();
    m_translationTables.clear();
    m_codeLines.clear();
    std::string code;

    const std::string_view text = m_text;
    std::size_t pending = 0;
    m_pos = 0;
    bool commentOpen = false;
    std::string commentName;
    bool paramsOpen = false;
    bool codeOpen = false;
    int table = -1;   // open translation table
    int param = -1;   // open parameter element (index in m_params)
    int replace = -1; // open replace element (entry of the open table)

    // The text of the body that is open, if any, grows by text.
    auto appendToBody = [&](std::string_view piece) {
        if (piece.empty())
            return;
        if (paramsOpen && table >= 0 && replace >= 0)
            m_translationTables.at(table).appendToReplacement(replace, piece);
        else if (paramsOpen && param >= 0)
            m_params.appendToValue(param, piece);
        else if (codeOpen)
            code.append(piece);
    };
    auto optional = [this](std::string_view key) -> std::string_view {
        const std::string *value = m_tagParams->find(key);
        return value ? std::string_view(*value) : std::string_view();
    };

    TagName tag;
    while (findTag(text, m_pos, false, m_nameScratch, tag)) {
        const std::string_view name = tag.name;
        const std::string_view before = text.substr(pending, tag.open - pending);
        bool taken = true;
        if (commentOpen) {
            if (name == "/comment") {
                if (readParams(tag))
                    fail("Error in '/comment' tag declaration.");
                const std::string *closing = m_tagParams->find("name");
                if (closing && *closing == commentName) {
                    commentOpen = false;
                    m_pos = skipBlankRestOfLine(text, m_pos);
                }
            } else {
                taken = false;
            }
        } else if (name == "comment") {
            const bool selfClosed = readParams(tag);
            commentName = requiredName("Name of 'comment' tag must be specified.");
            // A body keeps its text before a comment; a comment on lines of
            // its own leaves nothing behind, as it does in the pages.
            const std::size_t indent = tagIndentStart(text, pending, tag.open);
            if (indent != std::string_view::npos) {
                appendToBody(text.substr(pending, indent - pending));
                m_pos = skipBlankRestOfLine(text, m_pos);
            } else {
                appendToBody(before);
            }
            commentOpen = !selfClosed;
        } else if (paramsOpen && table >= 0 && replace >= 0) {
            if (name == "/replace") {
                if (readParams(tag))
                    fail("Error in '/replace' tag declaration.");
                appendToBody(before);
                replace = -1;
                m_pos = skipBlankRestOfLine(text, m_pos);
            } else {
                taken = false;
            }
        } else if (paramsOpen && table >= 0 && name == "/translation") {
            if (readParams(tag))
                fail("Error in '/translation' tag declaration.");
            const std::string &closing = requiredName("Name of '/translation' tag must be specified.");
            const std::string &open = m_translationTables.at(table).name();
            if (closing != open)
                fail(mismatchedTranslationMessage(closing, open));
            table = -1;
        } else if (paramsOpen && table >= 0 && name == "replace") {
            const bool selfClosed = readParams(tag);
            const std::string *search = m_tagParams->find("string");
            if (!search || search->empty())
                fail("String in 'replace' tag must be specified.");
            const int entry = m_translationTables.at(table).addOrAppend(*search, optional("with"));
            replace = selfClosed ? -1 : entry;
            m_pos = skipBlankRestOfLine(text, m_pos);
        } else if (paramsOpen && param >= 0) {
            if (name == "/param") {
                if (readParams(tag))
                    fail("Error in '/param' tag declaration.");
                appendToBody(before);
                param = -1;
                m_pos = skipBlankRestOfLine(text, m_pos);
            } else {
                taken = false;
            }
        } else if (paramsOpen && name == "/params") {
            if (readParams(tag))
                fail("Error in '/params' tag declaration.");
            paramsOpen = false;
        } else if (paramsOpen && name == "translation") {
            const bool selfClosed = readParams(tag);
            const std::string &tableName = requiredName("Name of 'translation' tag must be specified.");
            m_translationTables.add(tableName);
            const int index = m_translationTables.count() - 1;
            if (m_tagParams->indexOf("default") >= 0)
                m_translationTables.setDefault(index);
            table = selfClosed ? -1 : index;
        } else if (paramsOpen && name == "param") {
            const bool selfClosed = readParams(tag);
            const std::string &paramName = requiredName("Name of 'param' tag must be specified.");
            const int index = m_params.addOrAppend(paramName, optional("value"));
            param = selfClosed ? -1 : index;
            m_pos = skipBlankRestOfLine(text, m_pos);
        } else if (codeOpen) {
            if (name == "/code") {
                if (readParams(tag))
                    fail("Error in '/code' tag declaration");
                appendToBody(before);
                codeOpen = false;
                m_pos = skipBlankRestOfLine(text, m_pos);
            } else {
                taken = false;
            }
        } else if (name == "params") {
            if (!readParams(tag))
                paramsOpen = true;
        } else if (name == "code") {
            if (!readParams(tag))
                codeOpen = true;
            m_pos = skipBlankRestOfLine(text, m_pos);
        } else {
            taken = false;
        }

        if (!taken) {
            // Inside a body the "<" is text of the body.
            m_pos = tag.open + 1;
            if (!commentOpen)
                appendToBody(text.substr(pending, m_pos - pending));
        }
        pending = m_pos;
    }

    if (paramsOpen || table >= 0 || param >= 0 || replace >= 0)
        throw Error("Error in template params declaration.");
    m_codeLines = splitLines(code);
}

} // namespace kaviro
