#pragma once

#include "store/connectionstring.h"

#include <QCollator>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <string_view>

class QSqlDatabase;

namespace kaviro {

// Text in the order German readers expect (DIN 5007, variant 1): umlauts
// with their base letter, case only where nothing else differs ("apfel,
// Äpfel, Ärger, Bach"). QCollator for de_DE decides; since a sort compares
// every row many times, printable ASCII is compared by weights read off that
// same collator once, so both ways give the same order.
class GermanCollation {
public:
    GermanCollation();

    // Negative, 0 or positive, as a before, equal to or after b.
    int compare(std::string_view utf8a, std::string_view utf8b) const;

private:
    int compareWhole(std::string_view utf8a, std::string_view utf8b) const;

    static constexpr char first = ' ';
    static constexpr char last = '~';
    static constexpr std::size_t printableCount = last - first + 1;

    QCollator m_collator;
    std::array<std::uint8_t, printableCount> m_primary{}; // letters share theirs with their capitals
};

// Makes German order available to ORDER BY on an open connection and
// returns the collation's name as SQL writes it after COLLATE: on SQLite a
// collation registered on the connection, on PostgreSQL a German collation
// of the server when it has one. Empty when there is none: the database's
// own order then applies.
QString useGermanCollation(const QSqlDatabase &db, Provider provider);

} // namespace kaviro
