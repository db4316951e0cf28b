#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

// Ordered name/value list: the parameters of a tag (names may repeat there)
// and the parameters a template declares. Names compare exactly.
class StringParameters {
public:
    struct Pair {
        std::string name;
        std::string value;
        bool operator==(const Pair &) const = default;
    };

    int count() const { return static_cast<int>(m_count); }
    bool empty() const { return m_count == 0; }
    // Callers give valid indexes.
    const std::string &name(int index) const { return m_items[static_cast<std::size_t>(index)].name; }
    const std::string &value(int index) const { return m_items[static_cast<std::size_t>(index)].value; }

    // Index of the first pair of that name, -1 when none.
    int indexOf(std::string_view name) const;
    // Value of the first pair of that name, nullptr when none.
    const std::string *find(std::string_view name) const;
    // Appends text to the value of the pair of that name, or adds the pair.
    int addOrAppend(std::string_view name, std::string_view text);
    // Adds a pair at the end even when the name exists (the tag reader).
    void add(std::string_view name, std::string_view value);
    // Adds an empty pair at the end and returns it for filling in.
    Pair &addEmpty();
    void appendToValue(int index, std::string_view text) { m_items[static_cast<std::size_t>(index)].value.append(text); }
    // Keeps the storage of the pairs: the tag reader refills the same list
    // for every tag without allocating.
    void clear() { m_count = 0; }

    // One "name=value" line per pair, in order.
    std::vector<std::string> toLines() const;

    bool operator==(const StringParameters &other) const;

private:
    std::vector<Pair> m_items; // the first m_count are the list
    std::size_t m_count = 0;
};

// A named list of search-string/replacement pairs. Search strings are never
// empty. Besides the pairs it chains, per first byte, the pairs whose search
// string starts with it (in table order), so that translating long values
// tries only the pairs that can match and copies runs of other bytes at once.
class TranslationTable {
public:
    explicit TranslationTable(std::string name = {}) : m_name(std::move(name)) { m_first.fill(-1); }

    const std::string &name() const { return m_name; }
    const StringParameters &pairs() const { return m_pairs; }
    int addOrAppend(std::string_view search, std::string_view replacement);
    void appendToReplacement(int index, std::string_view text)
    {
        m_pairs.appendToValue(index, text);
        m_longestReplacement = std::max(m_longestReplacement, m_pairs.value(index).size());
    }
    std::size_t longestReplacement() const { return m_longestReplacement; }

    // First pair whose search string starts with c, -1 when none; the next
    // one after pair index, -1 when none.
    int firstCandidate(unsigned char c) const { return m_first[c]; }
    int nextCandidate(int index) const { return m_next[static_cast<std::size_t>(index)]; }
    // Whether eight bytes can be checked at once for first bytes: so when at
    // most four distinct ASCII bytes ("&", "<", ...) start search strings;
    // any bytes above 127 (umlauts) are checked by their high bit.
    bool canSkipEight() const { return m_asciiStartCount <= kMaxAsciiStarts; }
    // Of the eight bytes at p (in memory order, little-endian), the high bit
    // of a byte is set where a match may start; the lowest set bit marks the
    // first such byte exactly. Zero when none of them can start a match.
    std::uint64_t eightStartMask(const unsigned char *p) const
    {
        constexpr std::uint64_t ones = 0x0101010101010101ULL;
        constexpr std::uint64_t high = 0x8080808080808080ULL;
        std::uint64_t eight;
        std::memcpy(&eight, p, 8);
        std::uint64_t mask = m_highStart ? eight & high : 0;
        for (int k = 0; k < m_asciiStartCount; ++k) {
            const std::uint64_t x = eight ^ m_asciiStarts[static_cast<std::size_t>(k)];
            mask |= (x - ones) & ~x & high; // bytes equal to the start byte
        }
        return mask;
    }

    bool operator==(const TranslationTable &other) const
    {
        return m_name == other.m_name && m_pairs == other.m_pairs;
    }

private:
    std::string m_name;
    StringParameters m_pairs;
    std::array<int, 256> m_first;
    std::vector<int> m_next;
    std::size_t m_longestReplacement = 0;
    static constexpr int kMaxAsciiStarts = 4;
    bool m_highStart = false;
    int m_asciiStartCount = 0; // above kMaxAsciiStarts: no skipping
    std::array<std::uint64_t, kMaxAsciiStarts> m_asciiStarts{}; // each start byte in all eight places
};

// The tables a template declares, in declaration order; names are unique and
// compare exactly. At most one table is the default table.
class TranslationTables {
public:
    int count() const { return static_cast<int>(m_tables.size()); }
    const TranslationTable &at(int index) const { return m_tables[static_cast<std::size_t>(index)]; }
    TranslationTable &at(int index) { return m_tables[static_cast<std::size_t>(index)]; }
    int indexOf(std::string_view name) const;

    // Throws Error "Duplicate translation table name." for a taken name.
    TranslationTable &add(std::string_view name);
    void clear();

    int defaultIndex() const { return m_defaultIndex; }
    // -1 for no default table; anything else outside the tables throws.
    void setDefault(int index);
    const TranslationTable *defaultTable() const
    {
        return m_defaultIndex < 0 ? nullptr : &m_tables[static_cast<std::size_t>(m_defaultIndex)];
    }

private:
    std::vector<TranslationTable> m_tables;
    int m_defaultIndex = -1;
};

// Replaces, from left to right, the first pair (in table order) whose search
// string stands at the current place; replacements are never looked at again.
std::string translate(const TranslationTable &table, std::string_view text);
// The same without a copy where nothing matches: returns text itself then,
// and otherwise a view of the result at the start of buffer (which may hold
// more bytes after it; keep buffer for the next call, it only grows).
std::string_view translate(const TranslationTable &table, std::string_view text, std::string &buffer);

} // namespace kaviro
