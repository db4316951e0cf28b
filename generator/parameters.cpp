#include "generator/parameters.h"

#include "common/error.h"

#include <cstring>

namespace kaviro {

int StringParameters::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

const std::string *StringParameters::find(std::string_view name) const
{
    for (const Pair &pair : m_items) {
        if (pair.name == name)
            return &pair.value;
    }
    return nullptr;
}

int StringParameters::addOrAppend(std::string_view name, std::string_view text)
{
    const int index = indexOf(name);
    if (index >= 0) {
        m_items[static_cast<std::size_t>(index)].value.append(text);
        return index;
    }
    m_items.push_back(Pair{std::string(name), std::string(text)});
    return count() - 1;
}

void StringParameters::add(std::string name, std::string value)
{
    m_items.push_back(Pair{std::move(name), std::move(value)});
}

std::vector<std::string> StringParameters::toLines() const
{
    std::vector<std::string> lines;
    lines.reserve(m_items.size());
    for (const Pair &pair : m_items)
        lines.push_back(pair.name + '=' + pair.value);
    return lines;
}

int TranslationTable::addOrAppend(std::string_view search, std::string_view replacement)
{
    if (!search.empty())
        m_starts[static_cast<unsigned char>(search.front())] = 1;
    return m_pairs.addOrAppend(search, replacement);
}

int TranslationTables::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < m_tables.size(); ++i) {
        if (m_tables[i].name() == name)
            return static_cast<int>(i);
    }
    return -1;
}

TranslationTable &TranslationTables::add(std::string_view name)
{
    if (indexOf(name) >= 0)
        throw Error("Duplicate translation table name.");
    return m_tables.emplace_back(std::string(name));
}

void TranslationTables::clear()
{
    setDefault(-1);
    m_tables.clear();
}

void TranslationTables::setDefault(int index)
{
    if (index == m_defaultIndex)
        return;
    // Below -1 is refused as well: a default index must name a table or none.
    if (index < -1 || index >= count())
        throw Error("Can not set default Translation Table. Index out of range.");
    m_defaultIndex = index;
}

void translateInto(const TranslationTable &table, std::string_view text, std::string &out)
{
    const StringParameters &pairs = table.pairs();
    const int pairCount = pairs.count();
    std::size_t i = 0;
    std::size_t copyFrom = 0;
    while (i < text.size()) {
        if (!table.mayStartMatch(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        // First pair in table order wins, not the longest.
        int match = -1;
        for (int p = 0; p < pairCount; ++p) {
            const std::string &search = pairs.name(p);
            if (!search.empty() && search.size() <= text.size() - i && std::memcmp(text.data() + i, search.data(), search.size()) == 0) {
                match = p;
                break;
            }
        }
        if (match < 0) {
            ++i;
            continue;
        }
        out.append(text.data() + copyFrom, i - copyFrom);
        out.append(pairs.value(match));
        i += pairs.name(match).size();
        copyFrom = i;
    }
    out.append(text.data() + copyFrom, text.size() - copyFrom);
}

std::string translate(const TranslationTable &table, std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    translateInto(table, text, result);
    return result;
}

} // namespace kaviro
