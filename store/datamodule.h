#pragma once

#include "generator/listingsource.h"
#include "store/dbconnection.h"
#include "store/listingtable.h"
#include "store/snapshot.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

namespace kaviro {

// Owns the connection, the table Wohnungen, and the snapshot of active
// listings that the page generator reads.
class DataModule : public QObject, public ListingSource {
    Q_OBJECT
public:
    explicit DataModule(QObject *parent = nullptr);
    ~DataModule() override;

    DbConnection &connection() { return m_connection; }
    ListingTable &table() { return m_table; }

    // Opens the table when connected; true also when there is no connection.
    // False only when opening failed (the error is swallowed).
    bool openTable();

    // Copies the active listings (Status true), in the table's current order
    // and within its filter, into the snapshot. False, changing nothing, when
    // the table is closed. Afterwards the table stands on its first listing.
    bool buildWebData();
    // Releases the snapshot rows; webDataCount() keeps its value.
    void clearWebData();
    int webDataCount() const override { return m_webDataCount; }
    // Valid for 0 <= index < webDataCount() between a build and the next clear.
    const WebDataRow &webDataRow(int index) const override { return m_webData[std::size_t(index)]; }
    void getWebDataRow(int index, WebDataRow &row) const { row = webDataRow(index); }
    // The open table's extra columns, in the order of each row's extras.
    const std::vector<std::string> &extraFieldNames() const override { return m_extraFieldNames; }
    const WebData &webData() const { return m_webData; }
    // Values of number columns in the last snapshot that were no numbers
    // (and became 0), one German sentence each naming listing and column.
    const QStringList &numberWarnings() const { return m_numberWarnings; }

    // The locale the snapshot writes ZuMietenAb in; the system's by default.
    void setLocale(const QLocale &locale) { m_locale = locale; }
    QLocale locale() const { return m_locale; }

    // The timestamp rule, run before every post of the table: a row without
    // Timestamp gets the current local time; one with it keeps it.
    void tableBeforePost(ListingTable &table);
    // Where the current time comes from (tests fix it).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    DbConnection m_connection;
    ListingTable m_table;
    WebData m_webData;
    int m_webDataCount = 0;
    std::vector<std::string> m_extraFieldNames;
    QStringList m_numberWarnings;
    QLocale m_locale = QLocale::system();
    std::function<QDateTime()> m_clock;
};

} // namespace kaviro
