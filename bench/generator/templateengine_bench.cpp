// The engine alone: a loop of 100,000 iterations with ten macros each (values
// of about 40 bytes, one of about 400, umlauts turned into entities by a
// default translation table), answered from memory into one string; beside
// it, copying the same output bytes into a string. The last line prints the
// ratio of the two.

#include "generator/templateengine.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kIterations = 100000;
constexpr int kFields = 10;
constexpr int kDistinctRows = 64;

using Row = std::array<std::string, kFields>;

std::vector<Row> makeRows()
{
    // Listing text in Windows-1252 with umlauts at about the rate of German
    // prose (some 3 in 100 bytes).
    const std::string words[] = {"Wohnung", "mit",    "Balkon", "und",     "Einbauk\xFC" "che", "im",
                                 "Altbau",  "ruhige", "Lage",   "nahe",    "Stadtpark",        "Bad",
                                 "Fenster", "Keller", "Aufzug", "Gr\xF6\xDF" "e", "Parkett",   "Tiefgarage",
                                 "N\xE4he", "Bahnhof"};
    constexpr int wordCount = sizeof(words) / sizeof(words[0]);
    std::vector<Row> rows(kDistinctRows);
    for (int r = 0; r < kDistinctRows; ++r) {
        for (int f = 0; f < kFields; ++f) {
            std::string value;
            const std::size_t target = f == 7 ? 400 : 40;
            for (int w = 3 * r + f; value.size() < target; w += 7)
                value += words[w % wordCount] + ' ';
            value.resize(target);
            rows[r][f] = value;
        }
    }
    return rows;
}

std::string makeTemplate()
{
    std::string t = "<params>\n"
                    "  <translation name=html default>\n"
                    "    <replace string=\xE4 with=&auml;/>\n"
                    "    <replace string=\xF6 with=&ouml;/>\n"
                    "    <replace string=\xFC with=&uuml;/>\n"
                    "    <replace string=\xC4 with=&Auml;/>\n"
                    "    <replace string=\xD6 with=&Ouml;/>\n"
                    "    <replace string=\xDC with=&Uuml;/>\n"
                    "    <replace string=\xDF with=&szlig;/>\n"
                    "  </translation name=html>\n"
                    "</params>\n"
                    "<html><body><table>\n"
                    "<repeat name=Row>\n"
                    "  <tr>\n";
    for (int f = 0; f < kFields; ++f)
        t += "    <td><macro name=F" + std::to_string(f) + "/></td>\n";
    t += "  </tr>\n"
         "</repeat name=Row>\n"
         "</table></body></html>\n";
    return t;
}

class MemoryEngine : public kaviro::TemplateEngine {
public:
    explicit MemoryEngine(const std::vector<Row> &rows) : m_rows(rows) {}
    std::string output;

protected:
    void runStarting() override {}
    void runFinished() override {}
    void beginPage(int) override { output.clear(); }
    void endPage(int) override {}
    void emitText(std::string_view text) override { output.append(text); }
    void evaluateCondition(const std::string &, const kaviro::StringParameters &, bool &) override {}
    void checkLoop(int index, const std::string &, const kaviro::StringParameters &, bool &finished) override
    {
        finished = loopCounter(index) >= kIterations;
    }
    void getMacroValue(const std::string &name, const kaviro::StringParameters &, std::string &value,
                       bool &) override
    {
        const int row = loopCounter(0) % kDistinctRows;
        value = m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(name[1] - '0')];
    }

private:
    const std::vector<Row> &m_rows;
};

struct Fixture {
    std::vector<Row> rows = makeRows();
    MemoryEngine engine{rows};
    std::string expected;
    Fixture()
    {
        engine.setTemplateText(makeTemplate());
        engine.run();
        expected = engine.output;
        engine.output.reserve(expected.size());
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_Expand(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        f.engine.run();
        benchmark::DoNotOptimize(f.engine.output.data());
    }
    if (f.engine.output != f.expected)
        state.SkipWithError("output differs between runs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.expected.size()));
    state.counters["output_MB"] = static_cast<double>(f.expected.size()) / 1e6;
}
BENCHMARK(BM_Expand)->Unit(benchmark::kMillisecond);

void BM_CopyOutput(benchmark::State &state)
{
    Fixture &f = fixture();
    std::string copy;
    copy.reserve(f.expected.size());
    for (auto _ : state) {
        copy.assign(f.expected);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.expected.size()));
}
BENCHMARK(BM_CopyOutput)->Unit(benchmark::kMillisecond);

// Prints the expansion time over the copy time after the runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median)
                m_times[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatio() const
    {
        const auto expand = m_times.find("BM_Expand");
        const auto copy = m_times.find("BM_CopyOutput");
        if (expand == m_times.end() || copy == m_times.end() || copy->second.first <= 0 || copy->second.second <= 0)
            return;
        // On a shared machine the CPU times are the steadier of the two.
        std::printf("expansion / copy: %.2f in real time, %.2f in CPU time (target: at most 10)\n",
                    expand->second.first / copy->second.first, expand->second.second / copy->second.second);
    }

private:
    std::map<std::string, std::pair<double, double>> m_times; // real, CPU
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio();
    benchmark::Shutdown();
    return 0;
}
