#include "generator/templateengine.h"

namespace kaviro {

TemplateEngine::TemplateEngine() = default;
TemplateEngine::~TemplateEngine() = default;

void TemplateEngine::setTemplateLines(std::vector<std::string> lines)
{
    if (m_running)
        throw Error("Can't change template during execution.");
    m_lines = std::move(lines);
    m_text.clear();
    for (const std::string &line : m_lines) {
        m_text += line;
        m_text += "\r\n";
    }
    parseDeclarations();
}

void TemplateEngine::setTemplateText(std::string_view text) { setTemplateLines(splitLines(text)); }

void TemplateEngine::run() { throw Error("not implemented"); }

int TemplateEngine::loopCounter(int) const { throw Error("not implemented"); }
int TemplateEngine::loopPageCounter(int) const { throw Error("not implemented"); }
const std::string &TemplateEngine::loopName(int) const { throw Error("not implemented"); }
int TemplateEngine::loopCounterByName(std::string_view) const { throw Error("not implemented"); }
int TemplateEngine::indexOfLoop(std::string_view) const { return -1; }
void TemplateEngine::requestNewPage() { throw Error("not implemented"); }
void TemplateEngine::isCustomTag(const std::string &, bool &result) { result = false; }
void TemplateEngine::progress() {}
void TemplateEngine::handleCustomTag(const std::string &, bool, const StringParameters &) {}
void TemplateEngine::parseDeclarations() {}

} // namespace kaviro
