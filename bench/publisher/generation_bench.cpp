// Page generation of 100,000 listings from memory: into one page (about
// 86 MB) and into pages of five (20,000 files), each beside the cost of
// writing the same bytes into the same files.
//
// Every run writes into a fresh folder: creating files soon after deleting
// many is several times slower on these disks (for some minutes), so nothing
// is deleted before the process ends, and generation and reference take
// turns. Leave a few minutes between two runs of this program. The folders
// go below $KAVIRO_BENCH_DIR (default: the current folder).
//
// Helper modes for publish_bench.sh, which times the whole kaviro-publish:
//   --template FILE        writes the benchmark template
//   --listings-sql N       prints INSERTs (UTF-8) for the same N listings
//   --snapshot-bytes N     prints the memory the snapshot of N listings takes
//   --pack SRC PACK        packs the files of folder SRC and its sub-folders
//                          into the file PACK
//   --write-pack PACK DST  the reference process: reads PACK and writes its
//                          files into the new folder DST; publish_bench.sh
//                          times it whole, as it times kaviro-publish
//   --read-sorted DB [memory]
//                          the other reference: reads the active listings
//                          of DB sorted by Wohnung with SQLite's own
//                          interface, every column of every row; "memory"
//                          sorts with PRAGMA temp_store = MEMORY

#include "common/cp1252.h"
#include "generator/listingpagegenerator.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using kaviro::WebData;
using kaviro::WebDataRow;

constexpr int listingCount = 100'000;

// Ten macros per listing, umlauts and the euro sign turned into entities.
const char *const benchTemplate =
    "<params>\r\n<translation name=html default>\r\n"
    "<replace string=\"&\" with=\"&amp;\"/>\r\n<replace string=\"\xE4\" with=\"&auml;\"/>\r\n"
    "<replace string=\"\xF6\" with=\"&ouml;\"/>\r\n<replace string=\"\xFC\" with=\"&uuml;\"/>\r\n"
    "<replace string=\"\xC4\" with=\"&Auml;\"/>\r\n<replace string=\"\xD6\" with=\"&Ouml;\"/>\r\n"
    "<replace string=\"\xDC\" with=\"&Uuml;\"/>\r\n<replace string=\"\xDF\" with=\"&szlig;\"/>\r\n"
    "<replace string=\"\x80\" with=\"&euro;\"/>\r\n</translation name=html>\r\n</params>\r\n"
    "<!DOCTYPE html>\r\n<html lang=\"de\">\r\n<head>\r\n<meta charset=\"windows-1252\">\r\n"
    "<title>Wohnungen - Seite <macro name=PageNum/> von <macro name=TotalPageNum/></title>\r\n</head>\r\n<body>\r\n"
    "<if name=Header>\r\n<h1>Wohnungen zu vermieten</h1>\r\n</if name=Header>\r\n"
    "<repeat name=Loop>\r\n"
    "<div class=\"angebot\">\r\n"
    "  <h2><macro name=Wohnung/></h2>\r\n"
    "  <p class=\"lage\"><macro name=Strasse/>, <macro name=PLZ/> <macro name=Ort/></p>\r\n"
    "  <table>\r\n"
    "    <tr><th>Wohnfl\xE4" "che</th><td><macro name=Flaeche/></td></tr>\r\n"
    "    <tr><th>Kaltmiete</th><td><macro name=Miete/></td></tr>\r\n"
    "    <tr><th>Nebenkosten</th><td><macro name=Nebenkosten/></td></tr>\r\n"
    "  </table>\r\n"
    "  <p class=\"text\"><macro name=Beschreibung/></p>\r\n"
    "  <p class=\"seite\">Seite <macro name=PageNum/> (<macro name=FileName/>)</p>\r\n"
    "</div>\r\n"
    "</repeat name=Loop>\r\n"
    "<if name=PageExist offset=1>\r\n<a href=\"<macro name=FileName offset=1/>\">weiter</a>\r\n"
    "</if name=PageExist>\r\n</body>\r\n</html>\r\n";

WebDataRow listing(int i)
{
    static const char *const towns[] = {"M\xFCnchen", "K\xF6ln", "D\xFCsseldorf", "N\xFCrnberg",
                                        "L\xFC" "beck", "G\xF6ttingen", "W\xFCrzburg", "Saarbr\xFC" "cken"};
    const std::string n = std::to_string(i);
    WebDataRow row;
    row.text("Wohnung") = "Helle 3-Zimmer-Wohnung mit Balkon Nr. " + n;
    row.number("Flaeche") = 35 + (i % 900) / 10.0;
    row.text("Strasse") = "K\xF6nigsallee " + std::to_string(i % 200 + 1);
    row.text("PLZ") = std::to_string(10000 + i % 89999);
    row.text("Ort") = towns[i % 8];
    row.text("Beschreibung") =
        "Ruhige Wohnung im zweiten Obergeschoss eines gepflegten Altbaus, frisch renoviert.\r\n"
        "Wohnzimmer mit Erker, zwei Schlafzimmer, K\xFC" "che mit Fenster und Einbauk\xFC" "che.\r\n"
        "Bad mit Wanne und Dusche, G\xE4ste-WC, Kellerabteil und Fahrradkeller.\r\n"
        "Gro\xDF" "er S\xFC" "dbalkon zum Hof, Parkett in allen Zimmern, Gasetagenheizung.\r\n"
        "Einkaufen, Schulen und \xF6" "ffentlicher Nahverkehr zu Fu\xDF erreichbar. Nr. " + n;
    row.number("Miete") = 350 + (i * 37 % 1500) + 0.5;
    row.number("Nebenkosten") = 80 + (i * 13 % 300) + 0.25;
    row.text("ZuMietenAb") = "01.05.2025";
    return row;
}

struct MemoryListings : kaviro::ListingSource {
    WebData rows;
    int webDataCount() const override { return static_cast<int>(rows.size()); }
    const WebDataRow &webDataRow(int index) const override { return rows[static_cast<std::size_t>(index)]; }
};

MemoryListings &listings()
{
    static MemoryListings source = [] {
        MemoryListings s;
        s.rows.reserve(listingCount);
        for (int i = 1; i <= listingCount; ++i)
            s.rows.push_back(listing(i));
        return s;
    }();
    return source;
}

fs::path &benchRoot()
{
    static fs::path root;
    return root;
}

fs::path freshFolder()
{
    static int counter = 0;
    const fs::path dir = benchRoot() / ("run" + std::to_string(++counter));
    fs::create_directories(dir);
    return dir;
}

struct File {
    std::string name;
    std::string bytes;
};
using Files = std::vector<File>;

// The files of a folder and its sub-folders (named relative to it), each
// folder's in the order the generator writes its pages (bench.html,
// bench2.html, ..., bench20000.html), not in the folder's own order, so that
// the reference creates the same files in the same order.
Files readFolder(const fs::path &dir)
{
    Files files;
    for (const auto &entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files.push_back({fs::relative(entry.path(), dir).string(),
                         std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});
    }
    // Folder by folder, the top one first.
    const auto folderOf = [](const File &file) {
        const std::size_t slash = file.name.rfind('/');
        return std::string_view(file.name).substr(0, slash == std::string::npos ? 0 : slash);
    };
    std::sort(files.begin(), files.end(), [&folderOf](const File &a, const File &b) {
        if (folderOf(a) != folderOf(b))
            return folderOf(a) < folderOf(b);
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
    });
    return files;
}

// Creating and writing a file as plainly as the system allows: one open,
// writes of at most 64 KiB, one close.
void writeFile(const fs::path &path, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, std::min<std::size_t>(65536, bytes.size() - done));
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void writeFiles(const fs::path &dir, const Files &files)
{
    for (const File &file : files)
        writeFile(dir / file.name, file.bytes);
}

std::size_t totalBytes(const Files &files)
{
    std::size_t total = 0;
    for (const File &file : files)
        total += file.bytes.size();
    return total;
}

struct Mode {
    bool multiPage;
    Files pages; // what one generation writes, for the write reference
};
Mode onePage{false, {}};
Mode pagesOfFive{true, {}};

void generate(const Mode &mode, const fs::path &dir)
{
    kaviro::ListingPageGenerator generator(listings());
    generator.setTemplateFile((benchRoot() / "bench.templ").string());
    generator.setOutputDir(dir.string());
    generator.setMultiPage(mode.multiPage);
    generator.setRowsPerPage(5);
    generator.setDecimalSeparator(',');
    generator.run();
}

void BM_Generate(benchmark::State &state, Mode *mode)
{
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path dir = freshFolder();
        state.ResumeTiming();
        generate(*mode, dir);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalBytes(mode->pages)));
    state.counters["files"] = static_cast<double>(mode->pages.size());
}

void BM_Write(benchmark::State &state, Mode *mode)
{
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path dir = freshFolder();
        state.ResumeTiming();
        writeFiles(dir, mode->pages);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalBytes(mode->pages)));
    state.counters["files"] = static_cast<double>(mode->pages.size());
}

int readSorted(const char *database, bool sortInMemory)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(database, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return 1;
    }
    if (sortInMemory)
        sqlite3_exec(db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT \"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", \"Beschreibung\", "
                       "\"Miete\", \"Nebenkosten\", \"ZuMietenAb\" FROM \"Wohnungen\" WHERE \"Status\" "
                       "ORDER BY \"Wohnung\"",
                       -1, &statement, nullptr);
    std::size_t bytes = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int column = 0; column < 9; ++column) {
            if (column == 1 || column == 6 || column == 7) {
                benchmark::DoNotOptimize(sqlite3_column_double(statement, column));
            } else {
                benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
                bytes += static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
            }
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return bytes > 0 ? 0 : 1;
}

int helperMode(int argc, char *argv[])
{
    const std::string mode = argv[1];
    if (mode == "--template" && argc == 3) {
        std::ofstream(argv[2], std::ios::binary) << benchTemplate;
        return 0;
    }
    if (mode == "--listings-sql" && argc == 3) {
        const int n = std::atoi(argv[2]);
        const auto text = [](const std::string &value) {
            std::string quoted = "'";
            for (const char c : kaviro::cp1252ToUtf8(value))
                quoted += c == '\'' ? std::string("''") : std::string(1, c);
            return quoted + "'";
        };
        std::string sql = "BEGIN;\n";
        for (int i = 1; i <= n; ++i) {
            const WebDataRow r = listing(i);
            if (i % 500 == 1)
                sql += "INSERT INTO \"Wohnungen\" (\"Wohnung\", \"Flaeche\", \"Strasse\", \"PLZ\", \"Ort\", "
                       "\"Beschreibung\", \"Miete\", \"Nebenkosten\", \"ZuMietenAb\", \"Status\") VALUES\n";
            sql += "(" + text(r.text("Wohnung")) + ", " + std::to_string(r.number("Flaeche")) + ", " +
                   text(r.text("Strasse")) + ", " + text(r.text("PLZ")) + ", " + text(r.text("Ort")) + ", " +
                   text(r.text("Beschreibung")) + ", " + std::to_string(r.number("Miete")) + ", " +
                   std::to_string(r.number("Nebenkosten")) + ", '2025-05-01 00:00:00', 1)";
            sql += i % 500 == 0 || i == n ? ";\n" : ",\n";
        }
        sql += "COMMIT;\n";
        std::fwrite(sql.data(), 1, sql.size(), stdout);
        return 0;
    }
    if (mode == "--snapshot-bytes" && argc == 3) {
        const auto heap = [](const std::string &s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; };
        WebData rows(static_cast<std::size_t>(std::atoi(argv[2])));
        std::size_t total = rows.capacity() * sizeof(WebDataRow);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i] = listing(static_cast<int>(i) + 1);
            const WebDataRow &r = rows[i];
            for (const std::string &text : r.texts)
                total += heap(text);
        }
        std::printf("%zu\n", total);
        return 0;
    }
    // A pack is, per file, a line with the name and the size, then the bytes.
    if (mode == "--pack" && argc == 4) {
        std::ofstream pack(argv[3], std::ios::binary);
        for (const File &file : readFolder(argv[2]))
            pack << file.name << '\n' << file.bytes.size() << '\n' << file.bytes;
        return pack ? 0 : 1;
    }
    if (mode == "--write-pack" && argc == 4) {
        std::ifstream in(argv[2], std::ios::binary | std::ios::ate);
        std::string pack(static_cast<std::size_t>(in.tellg()), '\0');
        in.seekg(0).read(pack.data(), static_cast<std::streamsize>(pack.size()));
        if (!in || ::mkdir(argv[3], 0777) != 0)
            return 1;
        const std::string_view bytes = pack;
        fs::path folder = argv[3];
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t nameEnd = bytes.find('\n', at);
            const std::size_t sizeEnd = bytes.find('\n', nameEnd + 1);
            const std::size_t size = std::stoul(pack.substr(nameEnd + 1, sizeEnd - nameEnd - 1));
            const fs::path file = fs::path(argv[3]) / bytes.substr(at, nameEnd - at);
            // A sub-folder is made once, as the generator makes it.
            if (file.parent_path() != folder) {
                folder = file.parent_path();
                fs::create_directories(folder);
            }
            writeFile(file, bytes.substr(sizeEnd + 1, size));
            at = sizeEnd + 1 + size;
        }
        return 0;
    }
    if (mode == "--read-sorted" && (argc == 3 || (argc == 4 && std::strcmp(argv[3], "memory") == 0)))
        return readSorted(argv[2], argc == 4);
    std::fputs("Aufruf: kaviro_publisher_bench [Benchmark-Optionen] | --template DATEI | --listings-sql N |"
               " --snapshot-bytes N | --pack ORDNER PAKET | --write-pack PAKET ORDNER |"
               " --read-sorted DB [memory]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strncmp(argv[1], "--benchmark", 11) != 0)
        return helperMode(argc, argv);

    const char *base = std::getenv("KAVIRO_BENCH_DIR");
    std::string pattern = (fs::path(base ? base : ".") / "kaviro-publisher-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    benchRoot() = fs::absolute(pattern);
    std::ofstream(benchRoot() / "bench.templ", std::ios::binary) << benchTemplate;

    // One generation of each kind gives the bytes the write reference writes.
    for (Mode *mode : {&onePage, &pagesOfFive}) {
        const fs::path dir = freshFolder();
        generate(*mode, dir);
        mode->pages = readFolder(dir);
    }

    // Each repetition is one whole generation or one whole write.
    const std::pair<const char *, std::pair<void (*)(benchmark::State &, Mode *), Mode *>> runs[] = {
        {"Generate/OnePage", {BM_Generate, &onePage}},
        {"WriteSameBytes/OnePage", {BM_Write, &onePage}},
        {"Generate/PagesOfFive", {BM_Generate, &pagesOfFive}},
        {"WriteSameFiles/PagesOfFive", {BM_Write, &pagesOfFive}},
    };
    for (const auto &[name, run] : runs)
        benchmark::RegisterBenchmark(name, run.first, run.second)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true)
            ->UseRealTime();
    // Generation and its reference take turns, so that both meet the disk in
    // the same state (it slows down for minutes after many files were deleted).
    std::vector<char *> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::error_code ignored;
    fs::remove_all(benchRoot(), ignored);
    return 0;
}
