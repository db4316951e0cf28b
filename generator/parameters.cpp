#include "generator/parameters.h"

#include "common/error.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kaviro {

namespace {

// Names are short; a plain loop beats a call to memcmp here, and this runs
// for every parameter lookup of every tag.
bool sameText(const std::string &a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

} // namespace

int StringParameters::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < m_count; ++i) {
        if (sameText(m_items[i].name, name))
            return static_cast<int>(i);
    }
    return -1;
}

const std::string *StringParameters::find(std::string_view name) const
{
    const int index = indexOf(name);
    return index < 0 ? nullptr : &m_items[static_cast<std::size_t>(index)].value;
}

int StringParameters::addOrAppend(std::string_view name, std::string_view text)
{
    const int index = indexOf(name);
    if (index >= 0) {
        m_items[static_cast<std::size_t>(index)].value.append(text);
        return index;
    }
    add(name, text);
    return count() - 1;
}

StringParameters::Pair &StringParameters::addEmpty()
{
    if (m_count == m_items.size())
        m_items.emplace_back();
    Pair &pair = m_items[m_count++];
    pair.name.clear();
    pair.value.clear();
    return pair;
}

void StringParameters::add(std::string_view name, std::string_view value)
{
    Pair &pair = addEmpty();
    pair.name.assign(name);
    pair.value.assign(value);
}

std::vector<std::string> StringParameters::toLines() const
{
    std::vector<std::string> lines;
    lines.reserve(m_count);
    for (std::size_t i = 0; i < m_count; ++i)
        lines.push_back(m_items[i].name + '=' + m_items[i].value);
    return lines;
}

bool StringParameters::operator==(const StringParameters &other) const
{
    return m_count == other.m_count &&
           std::equal(m_items.begin(), m_items.begin() + static_cast<std::ptrdiff_t>(m_count), other.m_items.begin());
}

int TranslationTable::addOrAppend(std::string_view search, std::string_view replacement)
{
    const int before = m_pairs.count();
    const int index = m_pairs.addOrAppend(search, replacement);
    m_longestReplacement = std::max(m_longestReplacement, m_pairs.value(index).size());
    if (index == before) {
        m_next.push_back(-1);
        // An empty search string never matches, so it joins no chain.
        if (!search.empty()) {
            const auto first = static_cast<unsigned char>(search.front());
            if (m_first[first] < 0) {
                if (first >= 128) {
                    m_highStart = true;
                } else if (++m_asciiStartCount <= kMaxAsciiStarts) {
                    m_asciiStarts[static_cast<std::size_t>(m_asciiStartCount - 1)] = first * 0x0101010101010101ULL;
                }
            }
            int *link = &m_first[first];
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

namespace {

// Hands the pieces of the translated text to put(data, size) in order. When
// no pair matches it hands nothing and returns false.
template <class Put>
bool translatePieces(const TranslationTable &table, std::string_view text, Put &&put)
{
    const StringParameters &pairs = table.pairs();
    const auto *data = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t size = text.size();
    const bool skipEight = table.canSkipEight();
    std::size_t i = 0;
    std::size_t copyFrom = 0;
    bool matched = false;
    for (;;) {
        // Bytes that start no search string are copied later in one piece.
        for (;;) {
            if (skipEight) {
                while (i + 8 <= size) {
                    const std::uint64_t mask = table.eightStartMask(data + i);
                    if (mask == 0) {
                        i += 8;
                        continue;
                    }
                    if constexpr (std::endian::native == std::endian::little)
                        i += static_cast<std::size_t>(std::countr_zero(mask)) / 8;
                    break;
                }
            }
            if (i >= size || table.firstCandidate(data[i]) >= 0)
                break;
            ++i;
        }
        if (i >= size)
            break;
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
        matched = true;
        put(text.data() + copyFrom, i - copyFrom);
        const std::string &replacement = pairs.value(candidate);
        put(replacement.data(), replacement.size());
        i += pairs.name(candidate).size();
        copyFrom = i;
    }
    if (matched)
        put(text.data() + copyFrom, size - copyFrom);
    return matched;
}

} // namespace

std::string_view translate(const TranslationTable &table, std::string_view text, std::string &buffer)
{
    // No byte of text gives more than the longest replacement. Where that
    // bound is moderate the pieces are written straight into the buffer,
    // which only grows; otherwise they are appended.
    constexpr std::size_t directLimit = std::size_t(1) << 20;
    const std::size_t perByte = std::max<std::size_t>(1, table.longestReplacement());
    if (text.size() <= directLimit / perByte) {
        const std::size_t bound = text.size() * perByte;
        if (buffer.size() < bound)
            buffer.resize(bound);
        char *const start = buffer.data();
        char *end = start;
        const bool matched = translatePieces(table, text, [&end](const char *piece, std::size_t size) {
            std::memcpy(end, piece, size);
            end += size;
        });
        return matched ? std::string_view(start, static_cast<std::size_t>(end - start)) : text;
    }
    buffer.clear();
    const bool matched =
        translatePieces(table, text, [&buffer](const char *piece, std::size_t size) { buffer.append(piece, size); });
    return matched ? std::string_view(buffer) : text;
}

std::string translate(const TranslationTable &table, std::string_view text)
{
    std::string buffer;
    return std::string(translate(table, text, buffer));
}

} // namespace kaviro
