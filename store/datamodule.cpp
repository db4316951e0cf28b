#include "store/datamodule.h"

#include "store/photostore.h"
#include "store/snapshot.h"

namespace kaviro {

DataModule::DataModule(QObject *parent)
    : QObject(parent), m_table(m_connection), m_clock([] { return QDateTime::currentDateTime(); })
{
    m_table.setBeforePost([this](ListingTable &table) { tableBeforePost(table); });
}

DataModule::~DataModule() = default;

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
    m_webData = readSnapshot(m_connection.database(), m_table.query(), m_table.sort(), m_table.filter(), m_locale);
    if (PhotoStore::available(m_connection.database()))
        addPhotosToSnapshot(m_connection.database(), m_webData);
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
