#include "store/datamodule.h"

#include "store/photostore.h"
#include "store/snapshot.h"
#include "store/windows1252.h"

namespace kaviro {

DataModule::DataModule(QObject *parent)
    : QObject(parent), m_table(m_connection), m_clock([] { return QDateTime::currentDateTime(); })
{
    m_table.setBeforePost([this](ListingTable &table) { tableBeforePost(table); });
    connect(&m_table, &ListingTable::activeChanged, this, [this] {
        m_extraFieldNames.clear();
        for (const ExtraColumn &extra : m_table.extraColumns())
            m_extraFieldNames.push_back(toWindows1252(extra.name));
    });
}

DataModule::~DataModule()
{
    // The table closes as it goes, after the names it would clear are gone.
    disconnect(&m_table, nullptr, this, nullptr);
}

bool DataModule::openTable()
{
    if (!m_connection.isConnected())
        return true;
    try {
        m_table.open();
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

void DataModule::tableBeforePost(ListingTable &table)
{
    if (table.isNull(QStringLiteral("Timestamp")))
        table.setValue(QStringLiteral("Timestamp"), m_clock());
}

bool DataModule::buildWebData()
{
    if (!m_table.isOpen())
        return false;
    m_table.checkBrowseMode();
    // Read beside the model, with the table's own filter and order: the
    // table is never filtered, and bound views see nothing of the build.
    QStringList warnings;
    m_webData = m_connection.bounded([&] {
        WebData snapshot = readSnapshot(m_connection.database(), m_table.query(), m_table.extraColumns(),
                                        m_table.sort(), m_table.filter(), m_locale, &warnings);
        if (PhotoStore::available(m_connection.database()))
            addPhotosToSnapshot(m_connection.database(), snapshot);
        return snapshot;
    });
    m_numberWarnings = std::move(warnings);
    m_webDataCount = int(m_webData.size());
    m_table.first();
    return true;
}

void DataModule::clearWebData()
{
    m_webData.clear();
    m_webData.shrink_to_fit();
}

} // namespace kaviro
