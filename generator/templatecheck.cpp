#include "generator/templatecheck.h"

#include "generator/tagreader.h"

#include <algorithm>

namespace kaviro {

namespace {

const std::string fieldSetCondition = "Gesetzt";

bool contains(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

class NameCheck {
public:
    NameCheck(std::string_view text, const TemplateNames &known) : m_text(text), m_known(known) {}

    std::vector<UnknownName> run()
    {
        std::size_t pos = 0;
        TagName tag;
        while (findTag(m_text, pos, true, m_scratch, tag)) {
            pos = tag.open + 1;
            const std::string word(tag.name);
            if (!isExamined(word))
                continue;
            std::size_t end = tag.open + 1 + tag.name.size();
            StringParameters params;
            try {
                readTagParams(m_text, end, params, nullptr);
            } catch (const Error &) {
                continue; // the run reports it where it stands
            }
            pos = end;
            look(word, params, tag.open);
        }
        return std::move(m_unknown);
    }

private:
    enum class Block { None, Comment, Params, Code, AbsentField };

    bool isExamined(const std::string &word) const
    {
        switch (m_block) {
        case Block::Comment:
            return word == "/comment";
        case Block::Params:
            return word == "/params" || word == "comment";
        case Block::Code:
            return word == "/code" || word == "comment";
        case Block::AbsentField:
            return word == "else" || word == "/if" || word == "comment";
        case Block::None:
            break;
        }
        return word == "macro" || word == "if" || word == "repeat" || word == "comment" || word == "params"
            || word == "code";
    }

    void look(const std::string &word, const StringParameters &params, std::size_t open)
    {
        const std::string *name = params.find("name");
        if (word == "comment") {
            if (name && !name->empty() && m_block != Block::Comment) {
                m_outerBlock = m_block;
                m_block = Block::Comment;
                m_commentName = *name;
            }
        } else if (word == "/comment") {
            if (name && *name == m_commentName)
                m_block = m_outerBlock;
        } else if (word == "params" || word == "code") {
            m_block = word == "params" ? Block::Params : Block::Code;
        } else if (word == "/params" || word == "/code") {
            m_block = Block::None;
        } else if (word == "else" || word == "/if") {
            if (name && *name == fieldSetCondition)
                m_block = Block::None;
        } else if (name && !name->empty()) {
            if (word == "macro")
                note(UnknownName::Kind::Macro, *name, m_known.macros, open);
            else if (word == "repeat")
                note(UnknownName::Kind::Loop, *name, m_known.loops, open);
            else if (word == "if")
                lookAtCondition(*name, params, open);
        }
    }

    void lookAtCondition(const std::string &name, const StringParameters &params, std::size_t open)
    {
        note(UnknownName::Kind::Condition, name, m_known.conditions, open);
        const std::string *field = params.find("feld");
        if (name == fieldSetCondition && !contains(m_known.fields, field ? *field : std::string()))
            m_block = Block::AbsentField;
    }

    void note(UnknownName::Kind kind, const std::string &name, const std::vector<std::string> &known,
              std::size_t open)
    {
        if (contains(known, name))
            return;
        const bool reported = std::any_of(m_unknown.begin(), m_unknown.end(), [&](const UnknownName &u) {
            return u.kind == kind && u.name == name;
        });
        if (!reported)
            m_unknown.push_back({kind, name, lineAndColumn(m_text, open).line});
    }

    std::string_view m_text;
    const TemplateNames &m_known;
    std::string m_scratch;
    Block m_block = Block::None;
    Block m_outerBlock = Block::None;
    std::string m_commentName;
    std::vector<UnknownName> m_unknown;
};

} // namespace

std::vector<UnknownName> checkTemplateNames(std::string_view text, const TemplateNames &known)
{
    return NameCheck(text, known).run();
}

std::string describe(const UnknownName &unknown)
{
    const char *what = "";
    switch (unknown.kind) {
    case UnknownName::Kind::Macro:
        what = "unbekanntes Makro";
        break;
    case UnknownName::Kind::Condition:
        what = "unbekannte Bedingung";
        break;
    case UnknownName::Kind::Loop:
        what = "unbekannte Schleife";
        break;
    }
    return "Zeile " + std::to_string(unknown.line) + ": " + what + " \"" + unknown.name + "\"";
}

} // namespace kaviro
