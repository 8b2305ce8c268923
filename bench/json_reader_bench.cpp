// Cost of reading a large reply through the strict reader: 1,000 rows, about 1 MiB, snake_case keys,
// beside Qt's own parser on the same bytes. BesideFromJson times both in turn within each iteration
// and reports speed_vs_fromJson: fromJson's time over the reader's (1 or more: the reader, bytes to
// typed records, is at least as fast as fromJson alone building its DOM).
#include "http/JsonReader.h"

#include <benchmark/benchmark.h>

#include <QJsonDocument>

#include <chrono>

using namespace brenvo;

namespace {

struct Commit {
    QString sha;
    QString message;
    QString authorName;
    static Commit fromJson(const JsonObject& o)
    {
        return {
            o.required<QString>("sha"), o.required<QString>("message"), o.required<QString>("authorName")};
    }
};

struct Row {
    qint64 id;
    QString name;
    QString headBranch;
    QString status;
    std::optional<QString> conclusion;
    QString createdAt;
    std::optional<QString> updatedAt;
    QUrl htmlUrl;
    qint64 runNumber;
    double duration;
    bool draft;
    Commit headCommit;
    std::vector<QString> labels;
    std::optional<QString> notes;

    static Row fromJson(const JsonObject& o)
    {
        return {o.required<qint64>("id"), o.required<QString>("name"), o.required<QString>("headBranch"),
            o.required<QString>("status"), o.optional<QString>("conclusion"),
            o.required<QString>("createdAt"), o.optional<QString>("updatedAt"), o.required<QUrl>("htmlUrl"),
            o.required<qint64>("runNumber"), o.optional("duration", 0.0), o.optional("draft", false),
            o.required<Commit>("headCommit"), o.optional("labels", std::vector<QString> {}),
            o.optional<QString>("notes")};
    }
};

struct Page {
    qint64 totalCount;
    std::vector<Row> workflowRuns;
    static Page fromJson(const JsonObject& o)
    {
        return {o.required<qint64>("totalCount"), o.required<std::vector<Row>>("workflowRuns")};
    }
};

QByteArray reply(int rows)
{
    QByteArray out = "{\"total_count\":" + QByteArray::number(rows) + ",\"workflow_runs\":[";
    const QByteArray filler(560, 'f');
    for (int i = 0; i < rows; ++i) {
        if (i)
            out += ',';
        const QByteArray n = QByteArray::number(i);
        out += "{\"id\":" + n + ",\"name\":\"Build and test " + n + "\",\"head_branch\":\"feature/branch-" + n
            + "\",\"status\":\"completed\",\"conclusion\":" + (i % 3 ? "\"success\"" : "null")
            + ",\"created_at\":\"2024-05-06T07:08:09Z\",\"updated_at\":\"2024-05-06T07:18:09.123Z\","
              "\"html_url\":\"https://example.test/runs/"
            + n + "\",\"run_number\":" + n + ",\"duration\":" + QByteArray::number(i * 1.5)
            + ",\"draft\":false,\"head_commit\":{\"sha\":\"0123456789abcdef0123456789abcdef01234567\","
              "\"message\":\"Fix the thing\\n\\n"
            + filler + "\",\"author_name\":\"Someone\"},\"labels\":[\"ci\",\"linux\"],\"notes\":null}";
    }
    out += "]}";
    return out;
}

void DecodeLargeReply(benchmark::State& state)
{
    const QByteArray body = reply(1000);
    for (auto _ : state) {
        Page page = decodeJson<Page>(body, KeyStyle::snakeCase);
        benchmark::DoNotOptimize(page);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
    state.counters["reply_bytes"] = static_cast<double>(body.size());
}
BENCHMARK(DecodeLargeReply)->Unit(benchmark::kMillisecond);

// The parser alone, to tell its share from the reader's.
void ParseOnly(benchmark::State& state)
{
    const QByteArray body = reply(1000);
    for (auto _ : state) {
        QJsonDocument doc = QJsonDocument::fromJson(body);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * body.size());
}
BENCHMARK(ParseOnly)->Unit(benchmark::kMillisecond);

void BesideFromJson(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const QByteArray body = reply(1000);
    std::chrono::duration<double> reader {};
    std::chrono::duration<double> qt {};
    for (auto _ : state) {
        const auto start = Clock::now();
        Page page = decodeJson<Page>(body, KeyStyle::snakeCase);
        benchmark::DoNotOptimize(page);
        const auto middle = Clock::now();
        QJsonDocument doc = QJsonDocument::fromJson(body);
        benchmark::DoNotOptimize(doc);
        const auto end = Clock::now();
        reader += middle - start;
        qt += end - middle;
        state.SetIterationTime(std::chrono::duration<double>(middle - start).count());
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["reader_ms"] = reader.count() * 1000 / n;
    state.counters["fromJson_ms"] = qt.count() * 1000 / n;
    state.counters["speed_vs_fromJson"] = qt.count() / reader.count();
}
BENCHMARK(BesideFromJson)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
