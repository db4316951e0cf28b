// A PostgreSQL server that stops answering: through a proxy that stalls the
// connection, the listing query ends within its bound with the German
// message, and a new connection works again.

#include "storefixture.h"

#include "common/error.h"
#include "store/connectionstring.h"
#include "tests/support/stallingproxy.h"

#include <chrono>

namespace kaviro::test {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class StatementBoundTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ConnectionString direct = ConnectionString::parse(m_connectionString);
        const DriverSettings server = driverSettings(direct);
        m_proxy = std::make_unique<StallingProxy>(server.hostName.toStdString(),
                                                  std::uint16_t(server.port > 0 ? server.port : 5432));
        direct.setValue(u"Data Source"_s, u"127.0.0.1"_s);
        direct.setValue(u"Port"_s, QString::number(m_proxy->port()));
        m_connectionString = direct.toString();
        addListing(u"Altbau"_s, u"Köln"_s, u"TRUE"_s);
        addListing(u"Neubau"_s, u"Bonn"_s, u"TRUE"_s);
    }

    // Connects through the proxy with short bounds.
    void connectBounded(DataModule &module)
    {
        module.connection().setWaits({.connect = 15s, .statement = 2s, .cancelGrace = 1000ms});
        connect(module);
    }

    // What work throws, and how long it took to throw it.
    template <class Work>
    std::pair<std::string, std::chrono::steady_clock::duration> failure(Work &&work)
    {
        const auto start = std::chrono::steady_clock::now();
        try {
            work();
        } catch (const Error &error) {
            return {error.what(), std::chrono::steady_clock::now() - start};
        }
        return {"no error", std::chrono::steady_clock::now() - start};
    }

    std::unique_ptr<StallingProxy> m_proxy;
};

TEST_P(StatementBoundTest, AStalledServerEndsTheListingQueryWithinItsBound)
{
    DataModule module;
    connectBounded(module);
    ListingTable &table = module.table();
    ASSERT_EQ(table.rowCount(), 2);

    struct Case {
        const char *what;
        std::function<void()> work;
    } cases[] = {
        {"grid", [&] { table.setSort(u"Ort ASC"_s); }},
        {"snapshot", [&] { module.buildWebData(); }},
    };
    for (const Case &c : cases) {
        m_proxy->stall();
        const auto [message, took] = failure(c.work);
        EXPECT_EQ(message, "Die Datenbank antwortet nicht (2 s).") << c.what;
        EXPECT_LT(took, 10s) << c.what; // the bound, the grace, and room for a busy machine

        // The program carries on: connecting anew reads the listings again.
        module.connection().setConnected(false);
        connect(module);
        table.setSort(u"Wohnung ASC"_s);
        ASSERT_TRUE(module.buildWebData()) << c.what;
        EXPECT_EQ(module.webDataCount(), 2) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, StatementBoundTest, ::testing::Values("PostgreSQL"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kaviro::test
