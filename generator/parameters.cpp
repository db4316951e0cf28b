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
    const int before = m_pairs.count();
    const int index = m_pairs.addOrAppend(search, replacement);
    if (index == before) {
        m_next.push_back(-1);
        // An empty search string never matches, so it joins no chain.
        if (!search.empty()) {
            m_asciiStart = m_asciiStart || static_cast<unsigned char>(search.front()) < 128;
            int *link = &m_first[static_cast<unsigned char>(search.front())];
            while (*link >= 0)
                link = &m_next[static_cast<std::size_t>(*link)];
            *link = index;
        }
    }
    return index;
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

std::string_view translate(const TranslationTable &table, std::string_view text, std::string &out)
{
    const StringParameters &pairs = table.pairs();
    const auto *data = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t size = text.size();
    const bool skipAscii = table.startsAbove127Only();
    std::size_t i = 0;
    std::size_t copyFrom = 0;
    for (;;) {
        // Bytes that start no search string are copied later in one piece.
        for (;;) {
            if (skipAscii) {
                constexpr std::uint64_t high = 0x8080808080808080ULL;
                std::uint64_t eight;
                while (i + 8 <= size && (std::memcpy(&eight, data + i, 8), (eight & high) == 0))
                    i += 8;
            }
            if (i >= size || table.firstCandidate(data[i]) >= 0)
                break;
            ++i;
        }
        if (i >= size) {
            if (copyFrom == 0)
                return text;
            break;
        }
        // The candidates start with this byte and come in table order, so
        // the first whose rest fits wins, not the longest.
        int candidate = table.firstCandidate(data[i]);
        for (; candidate >= 0; candidate = table.nextCandidate(candidate)) {
            const std::string &search = pairs.name(candidate);
            if (search.size() == 1 ||
                (search.size() <= size - i && std::memcmp(data + i + 1, search.data() + 1, search.size() - 1) == 0))
                break;
        }
        if (candidate < 0) {
            ++i;
            continue;
        }
        if (copyFrom == 0)
            out.clear();
        out.append(text.data() + copyFrom, i - copyFrom);
        out.append(pairs.value(candidate));
        i += pairs.name(candidate).size();
        copyFrom = i;
    }
    out.append(text.data() + copyFrom, size - copyFrom);
    return out;
}

std::string translate(const TranslationTable &table, std::string_view text)
{
    std::string buffer;
    return std::string(translate(table, text, buffer));
}

} // namespace kaviro
