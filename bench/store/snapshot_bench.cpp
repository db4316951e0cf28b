// The snapshot of 100,000 active listings from an SQLite file, beside the
// plain cost of reading the same rows with a bare QSqlQuery and with SQLite's
// own interface (which the snapshot uses on SQLite).
//
// The database is made once in the temporary folder (kaviro-bench-100k.db)
// and kept for later runs.
#include "store/datamodule.h"
#include "store/listingdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include <sqlite3.h>

namespace {

constexpr int listingCount = 100000;

const char *const orte[] = {"München", "Köln", "Düsseldorf", "Würzburg", "Lübeck", "Göttingen",
                            "Freiburg im Breisgau", "Überlingen", "Leipzig", "Dresden"};
const char *const strassen[] = {"Schloßstraße", "Königsallee", "Hauptstraße", "Am Mühlbach",
                                "Große Gasse", "Bahnhofstraße", "Lindenweg"};

QString databasePath()
{
    return QDir::temp().filePath(QStringLiteral("kaviro-bench-100k.db"));
}

void createDatabase(const QString &path)
{
    if (QFile::exists(path))
        return;
    const QString tmp = path + QStringLiteral(".part");
    QFile::remove(tmp);
    kaviro::createSqliteDatabase(tmp, false);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-fill"));
        db.setDatabaseName(tmp);
        db.open();
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", "
            "\"Miete\", \"Nebenkosten\", \"ZuMietenAb\", \"Timestamp\", \"Status\") VALUES (?,?,?,?,?,?,?,?,?,?,?)"));
        std::srand(42);
        for (int i = 0; i < listingCount; ++i) {
            const int rooms = 1 + std::rand() % 5;
            const QString ort = QString::fromUtf8(orte[std::rand() % 10]);
            insert.addBindValue(QStringLiteral("%1-Zimmer-Wohnung Nr. %2 in %3").arg(rooms).arg(std::rand()).arg(ort));
            insert.addBindValue(20.0 + (std::rand() % 1500) / 10.0);
            insert.addBindValue(QStringLiteral("%1 %2").arg(QString::fromUtf8(strassen[std::rand() % 7])).arg(1 + std::rand() % 120));
            insert.addBindValue(QStringLiteral("%1").arg(10000 + std::rand() % 89999));
            insert.addBindValue(ort);
            insert.addBindValue(QStringLiteral("Helle Wohnung mit %1 Zimmern, Einbauküche und Balkon.\n"
                                               "Bad mit Fenster, Kellerabteil, Fahrradraum. Ruhige Lage, "
                                               "Bäcker und Straßenbahn in der Nähe. Kaution: drei Monatsmieten.")
                                    .arg(rooms));
            insert.addBindValue(300.0 + (std::rand() % 200000) / 100.0);
            insert.addBindValue((std::rand() % 50000) / 100.0);
            const QDate date = QDate(2025, 7, 1).addDays(std::rand() % 200);
            insert.addBindValue(QDateTime(date, i % 10 == 0 ? QTime(15, 30) : QTime(0, 0)));
            insert.addBindValue(QDateTime(QDate(2025, 6, 1), QTime(12, 0)).addSecs(i));
            insert.addBindValue(true);
            if (!insert.exec()) {
                std::fprintf(stderr, "%s\n", insert.lastError().text().toUtf8().constData());
                std::exit(1);
            }
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
    QFile::rename(tmp, path);
}

QString connectionString()
{
    return QStringLiteral("Provider=SQLite;Data Source=") + databasePath();
}

// Connect, open, sort, build, release. Headless (range 1), the views stay
// paused from the start, so the table never reads its rows into the model;
// with views (range 0) it does, as the desktop program must.
void BM_SnapshotWhole(benchmark::State &state)
{
    const bool headless = state.range(0) == 1;
    for (auto _ : state) {
        kaviro::DataModule module;
        if (headless)
            module.table().pauseViews();
        module.connection().setConnectionString(connectionString());
        module.connection().setConnected(true);
        module.table().open();
        module.table().setSort(QStringLiteral("Wohnung ASC"));
        module.buildWebData();
        benchmark::DoNotOptimize(module.webData().data());
        module.clearWebData();
        if (module.webDataCount() != listingCount)
            state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * listingCount);
}

// buildWebData alone on an open, sorted table.
void BM_SnapshotBuild(benchmark::State &state)
{
    kaviro::DataModule module;
    module.connection().setConnectionString(connectionString());
    module.connection().setConnected(true);
    module.table().open();
    module.table().setSort(QStringLiteral("Wohnung ASC"));
    std::size_t bytes = 0;
    for (auto _ : state) {
        module.buildWebData();
        state.PauseTiming();
        bytes = 0;
        for (const kaviro::WebDataRow &row : module.webData()) {
            bytes += sizeof row;
            for (const std::string &text : row.texts)
                bytes += text.capacity();
        }
        module.clearWebData();
        state.ResumeTiming();
    }
    state.counters["snapshot_MB"] = double(bytes) / 1e6;
    state.SetItemsProcessed(state.iterations() * listingCount);
}

// The reference: the same query read with a bare forward-only QSqlQuery,
// each value fetched as the snapshot fetches it, nothing converted or kept.
void BM_BareQuery(benchmark::State &state)
{
    if (!QSqlDatabase::contains(QStringLiteral("bench-bare"))) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-bare"));
        db.setDatabaseName(databasePath());
        db.open();
    }
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench-bare"));
    for (auto _ : state) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.exec(QStringLiteral(
            "SELECT \"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", \"Miete\", "
            "\"Nebenkosten\", \"ZuMietenAb\" FROM \"Wohnungen\" WHERE (\"Status\" = true) ORDER BY \"Wohnung\" ASC, "
            "\"Id\" ASC"));
        int rows = 0;
        while (query.next()) {
            for (int column = 0; column < 9; ++column)
                benchmark::DoNotOptimize(query.value(column));
            ++rows;
        }
        if (rows != listingCount)
            state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * listingCount);
}

// The floor: the same statement stepped with sqlite3_* on a connection set
// up as DbConnection sets up SQLite, each text and number fetched, nothing
// converted or kept.
void BM_BareSqlite(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(databasePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the database");
        sqlite3_close(db);
        return;
    }
    sqlite3_exec(db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    for (auto _ : state) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT \"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", "
                           "\"Miete\", \"Nebenkosten\", \"ZuMietenAb\" FROM \"Wohnungen\" WHERE (\"Status\" = true) "
                           "ORDER BY \"Wohnung\" ASC, \"Id\" ASC",
                           -1, &statement, nullptr);
        int rows = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < 9; ++column) {
                if (column == 1 || column == 6 || column == 7) {
                    benchmark::DoNotOptimize(sqlite3_column_double(statement, column));
                } else {
                    benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
                    benchmark::DoNotOptimize(sqlite3_column_bytes(statement, column));
                }
            }
            ++rows;
        }
        sqlite3_finalize(statement);
        if (rows != listingCount)
            state.SkipWithError("wrong row count");
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * listingCount);
}

BENCHMARK(BM_SnapshotWhole)->ArgName("headless")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SnapshotBuild)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BareQuery)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BareSqlite)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    createDatabase(databasePath());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
