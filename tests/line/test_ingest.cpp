// zflash records ingest against a PostgreSQL 15 server of the test's own: a
// line's records (schema 2 records, schema 3 starts and ends, bad and torn
// lines) loaded as the file grows and again, each session once, the views'
// figures against the records; --follow across a rotation and a restart of
// the server, losing and doubling nothing, and remembering where it was.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "targetlib/sha256.h"
#include "tests/line/line_servers.h"
#include "tests/zflash/test_zflash_support.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const char *const kSteps[] = {"open",  "wait",      "identify",   "loader", "list",    "query",
                              "readImage", "blankCheck", "erase", "program", "verify"};

std::string Utc(long long t, const char *format)
{
    const std::time_t when = std::time_t(t);
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[40];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}
std::string Iso(long long t) { return Utc(t, "%Y-%m-%dT%H:%M:%SZ"); }
std::string Pg(long long t) { return Utc(t, "%Y-%m-%d %H:%M:%S+00"); }

struct Session {
    std::string id;  // schema 3; schema 2 records have none
    int schema = 3;
    bool started = true, ended = true;
    std::string station, port, workOrder, op, result, kind, step, sha, version;
    int attempts = 0;
    long long start = 0, end = 0;

    bool Unit() const { return ended && result != "cancelled" && result != "no-device" && result != "reseated"; }
    bool FirstPass() const { return result == "current" || (result == "ok" && attempts <= 1); }
    bool Failure() const
    {
        return ended && (result == "failed" || result == "interrupted" || result == "bad-input" || result == "no-device");
    }
};

// A line's sessions, the same for a seed: results of every kind, two
// stations, three ports, two work orders, three images, over two days.
std::vector<Session> MakeSessions(unsigned seed, size_t count, long long from, const std::string &prefix)
{
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const struct {
        const char *result, *kind, *step;
        int weight;
    } outcomes[] = {{"ok", "", "", 50},
                    {"current", "", "", 10},
                    {"failed", "verify-mismatch", "verify", 6},
                    {"failed", "no-answer", "program", 5},
                    {"failed", "device-refused", "erase", 4},
                    {"interrupted", "interrupted", "program", 5},
                    {"bad-input", "wrong-hardware", "readImage", 8},
                    {"no-device", "timed-out", "wait", 5},
                    {"reseated", "reseated", "verify", 2},
                    {"cancelled", "cancelled", "wait", 5}};
    std::vector<Session> sessions;
    for (size_t i = 0; i < count; ++i) {
        Session s;
        int roll = pick(100);
        size_t o = 0;
        while (roll >= outcomes[o].weight)
            roll -= outcomes[o++].weight;
        s.result = outcomes[o].result;
        s.kind = outcomes[o].kind;
        s.step = outcomes[o].step;
        s.attempts = s.result == "ok" || s.result == "failed" ? 1 + (pick(5) == 0) : s.result == "interrupted" ? 1 : 0;
        const int form = pick(100);
        s.schema = form < 25 ? 2 : 3;
        s.started = s.schema == 3 && !(form >= 94);   // an end without its start: never reached the flash
        s.ended = !(form >= 88 && form < 94);          // a start without its end: still open
        s.id = s.schema == 3 ? prefix + std::to_string(i) : std::string();
        s.station = pick(2) ? "line-1" : "line-2";
        s.port = std::vector<std::string>{"COM3", "COM4", "/dev/ttyUSB0"}[size_t(pick(3))];
        s.workOrder = s.schema == 2 ? "" : std::vector<std::string>{"", "WO-1", "WO-2"}[size_t(pick(3))];
        s.op = s.schema == 2 ? "" : pick(2) ? "ann" : "bob";
        const int image = pick(3);
        s.sha = Sha256Hex(&image, sizeof image);
        s.version = "1." + std::to_string(image) + ".0";
        s.start = from + static_cast<long long>(i) * 600 + pick(300);
        s.end = s.start + 5 + pick(60);
        sessions.push_back(s);
    }
    return sessions;
}

json Firmware(const std::string &version) { return {{"version", version}, {"model", "VKT-3"}, {"hw", "VKT3K"}, {"built", ""}}; }

json StartEntry(const Session &s)
{
    return {{"schema", 3},        {"event", "start"},     {"session", s.id},       {"time", Iso(s.start)},
            {"tool_version", "1.2.0"}, {"station", s.station}, {"operator", s.op},      {"work_order", s.workOrder},
            {"port", s.port},     {"adapter", ""},        {"device", {{"product", "VKT-3"}, {"hw", "VKT3K"}}},
            {"before", Firmware("1.0.0")},
            {"image", {{"file", "fw.bin"}, {"version", s.version}, {"sha256", s.sha}}}};
}

json EndEntry(const Session &s)
{
    json seconds = json::object();
    double total = 0;
    for (const char *step : kSteps) {
        seconds[step] = 0.5;
        total += 0.5;
        if (step == s.step)
            break;
    }
    seconds["total"] = total;
    json end = {{"schema", s.schema},
                {"time", Iso(s.end)},
                {"tool_version", "1.2.0"},
                {"station", s.station},
                {"port", s.port},
                {"adapter", ""},
                {"device", {{"product", "VKT-3"}, {"hw", "VKT3K"}}},
                {"before", Firmware("1.0.0")},
                {"after", Firmware(s.result == "ok" || s.result == "current" ? s.version : "")},
                {"image", {{"file", "fw.bin"}, {"version", s.version}, {"sha256", s.sha}}},
                {"result", s.result},
                {"failure", {{"kind", s.kind}, {"detail", s.kind.empty() ? "" : "it went wrong"}}},
                {"attempts", s.attempts},
                {"exit_code", s.kind.empty() ? 0 : 1},
                {"seconds", seconds}};
    if (s.schema == 3) {
        end["event"] = "end";
        end["session"] = s.id;
        end["operator"] = s.op;
        end["work_order"] = s.workOrder;
    }
    return end;
}

// The lines of the sessions in the order they were written (by time).
std::vector<std::string> Lines(const std::vector<Session> &sessions)
{
    std::vector<std::pair<long long, std::string>> timed;
    for (const Session &s : sessions) {
        if (s.started)
            timed.emplace_back(s.start, StartEntry(s).dump());
        if (s.ended)
            timed.emplace_back(s.end, EndEntry(s).dump());
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<std::string> lines;
    for (auto &t : timed)
        lines.push_back(std::move(t.second));
    return lines;
}

void Append(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

std::string Joined(const std::vector<std::string> &lines, size_t from, size_t to)
{
    std::string text;
    for (size_t i = from; i < to && i < lines.size(); ++i)
        text += lines[i] + "\n";
    return text;
}

class IngestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dir = TestFolder(name);
        path = (dir / "line.jsonl").string();
        std::string lower = "t_" + std::to_string(std::hash<std::string>()(name) % 100000);
        url = SharedPostgres().NewDatabase(lower);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    ZflashRun Ingest(const std::vector<std::string> &files)
    {
        std::vector<std::string> args = {"records", "ingest", "--db", url};
        args.insert(args.end(), files.begin(), files.end());
        return RunZflash(args);
    }
    long long Count(const std::string &where = "true") const
    {
        const Rows rows = SharedPostgres().Query(url, "SELECT count(*) FROM zflash.sessions WHERE " + where);
        return rows.empty() ? -1 : std::stoll(rows[0][0]);
    }
    Rows Query(const std::string &sql) const { return SharedPostgres().Query(url, sql); }

    fs::path dir;
    std::string path, url;
};

std::string Yield(long long firstPass, long long units)
{
    // round(first / units, 4), halves away from zero, as numeric rounds.
    const long long tenThousandths = (firstPass * 20000 + units) / (2 * units);
    std::string fraction = std::to_string(tenThousandths % 10000);
    return std::to_string(tenThousandths / 10000) + "." + std::string(4 - fraction.size(), '0') + fraction;
}

TEST_F(IngestTest, ALineLoadedAsItGrowsAndAgainHoldsEachSessionOnceAndItsViewsAgreeWithItsRecords)
{
    const unsigned seed = unsigned(::testing::UnitTest::GetInstance()->random_seed()) ^ 0x2727u;
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::vector<Session> sessions = MakeSessions(seed, 240, 1796997600, "3b1e5f0d9c2a4e7b8a6d0c1f2e3d");
    std::vector<std::string> lines = Lines(sessions);
    lines.insert(lines.begin() + 20, "not json at all");
    lines.insert(lines.begin() + 40, "{\"schema\":2,\"time\":\"\xff\"}");
    const size_t half = lines.size() / 2;
    const std::string torn = lines[half];

    // The first half, and half of the next line, its end not yet written.
    Append(path, Joined(lines, 0, half) + torn.substr(0, torn.size() / 2));
    ZflashRun run = Ingest({path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find(path + ":21: not JSON"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(path + ":41: not UTF-8; skipped."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(path + ": its last line has no line end yet"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find(path + ": " + std::to_string(half) + " lines read"), std::string::npos) << run.out;

    // The file grew: the torn line ended, the rest came.
    Append(path, torn.substr(torn.size() / 2) + "\n" + Joined(lines, half + 1, lines.size()));
    run = Ingest({path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(std::to_string(lines.size() - half) + " lines read"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("not JSON"), std::string::npos) << "a bad line reported twice: " << run.err;
    EXPECT_EQ(Count(), static_cast<long long>(sessions.size()));

    // Loaded again from its start (as if its position were lost), and a
    // copy elsewhere: every session was loaded before, none is added.
    Query("DELETE FROM zflash.file_positions");
    const std::string copy = (dir / "copy.jsonl").string();
    fs::copy_file(path, copy);
    run = Ingest({path, copy});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(path + ": " + std::to_string(lines.size()) + " lines read, 0 sessions added, 0 updated"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(copy + ": 0 lines read"), std::string::npos) << run.out;  // the same file, read
    EXPECT_EQ(Count(), static_cast<long long>(sessions.size()));
    EXPECT_EQ(Count("start_entry IS NOT NULL"),
              std::count_if(sessions.begin(), sessions.end(), [](const Session &s) { return s.started; }));

    // Each view's figures, from the sessions written.
    std::map<std::vector<std::string>, std::pair<long long, long long>> fpy;
    std::map<std::vector<std::string>, long long> throughput, pareto;
    struct Image {
        long long units = 0;
        std::set<std::string> workOrders;
        long long first = LLONG_MAX, last = 0;
    };
    std::map<std::string, Image> images;
    std::set<std::string> open;
    for (const Session &s : sessions) {
        if (s.Unit()) {
            auto &f = fpy[{Utc(s.end, "%Y-%m-%d"), s.station, s.workOrder}];
            f.first += 1;
            f.second += s.FirstPass();
            throughput[{Utc(s.end, "%Y-%m-%d %H:00:00+00"), s.station, s.port}] += 1;
        }
        if (s.Failure())
            pareto[{s.kind, s.step}] += 1;
        Image &i = images[s.sha];
        i.units += s.Unit();
        if (!s.workOrder.empty())
            i.workOrders.insert(s.workOrder);
        i.first = std::min(i.first, s.started ? s.start : s.end);
        i.last = std::max(i.last, s.ended ? s.end : s.start);
        if (s.started && !s.ended)
            open.insert(s.id);
    }
    Rows expected;
    for (const auto &[key, f] : fpy)
        expected.push_back({key[0], key[1], key[2], std::to_string(f.first), std::to_string(f.second), Yield(f.second, f.first)});
    EXPECT_EQ(expected, Query("SELECT day, station, work_order, units, first_pass, yield FROM zflash.first_pass_yield "
                              "ORDER BY 1, 2, 3"));
    expected.clear();
    for (const auto &[key, n] : throughput)
        expected.push_back({key[0], key[1], key[2], std::to_string(n)});
    EXPECT_EQ(expected, Query("SELECT hour, station, port, units FROM zflash.throughput ORDER BY 1, 2, 3"));
    expected.clear();
    for (const auto &[key, n] : pareto)
        expected.push_back({key[0], key[1], std::to_string(n)});
    EXPECT_EQ(expected, Query("SELECT kind, step, failures FROM zflash.failure_pareto ORDER BY 1, 2"));
    expected.clear();
    for (const auto &[sha, i] : images) {
        std::string orders;
        for (const std::string &w : i.workOrders)
            orders += (orders.empty() ? "" : ",") + w;
        expected.push_back({sha, std::to_string(i.units), "{" + orders + "}", Pg(i.first), Pg(i.last)});
    }
    EXPECT_EQ(expected, Query("SELECT sha256, units, work_orders, first_use, last_use FROM zflash.image_history "
                              "ORDER BY 1"));
    expected.clear();
    for (const std::string &id : open)
        expected.push_back({id});
    EXPECT_EQ(expected, Query("SELECT session FROM zflash.open_sessions ORDER BY 1"));
    // The pareto's order: kinds by their failures, most first.
    const Rows order = Query("SELECT kind_failures FROM zflash.failure_pareto");
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), [](const auto &a, const auto &b) {
        return std::stoll(a[0]) > std::stoll(b[0]);
    }));
}

TEST_F(IngestTest, FollowReadsAcrossARotationAndAServerRestartLosingAndDoublingNothing)
{
    const unsigned seed = unsigned(::testing::UnitTest::GetInstance()->random_seed()) ^ 0x1717u;
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::vector<std::string> lines = Lines(MakeSessions(seed, 60, 1796997600, "9f8e7d6c5b4a3f2e1d0c9b8a7f6e"));
    const std::string other = (dir / "other.jsonl").string();
    // Records of their own, each a session of its own.
    const auto marker = [](const std::string &name) {
        return R"({"schema":2,"time":"2027-01-01T00:00:00Z","result":"ok","attempts":1,"port":")" + name + "\"}";
    };
    const auto sessionsIn = [&](size_t from, size_t to) {
        std::set<std::string> keys;
        for (size_t i = from; i < to; ++i) {
            const json j = json::parse(lines[i]);
            keys.insert(j.contains("session") ? j["session"].get<std::string>() : Sha256Hex(lines[i].data(), lines[i].size()));
        }
        return static_cast<long long>(keys.size());
    };
    PostgresServer &server = SharedPostgres();
    Append(path, Joined(lines, 0, 20));
    Append(other, "");
    ZflashProcess follow({"records", "ingest", "--db", url, "--follow", path, other});
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] {
        return Query("SELECT to_regclass('zflash.sessions') IS NOT NULL") == Rows{{"t"}};
    }));  // the schema is made
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return Count() == sessionsIn(0, 20); })) << Count();

    // Rotated: the old file gets a last line from a writer that had it
    // open, the new one begins.
    fs::rename(path, dir / "line.jsonl.1");
    Append((dir / "line.jsonl.1").string(), Joined(lines, 20, 25));
    Append(path, Joined(lines, 25, 35));
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return Count() == sessionsIn(0, 35); })) << Count();
    EXPECT_TRUE(follow.WaitForText(path + " was rotated: read to its line 25", 10000));

    // The server goes away while lines come, and comes back.
    ASSERT_TRUE(server.Stop());
    Append(path, Joined(lines, 35, 45));
    EXPECT_TRUE(follow.WaitForText("the database is away", 30000));
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    ASSERT_TRUE(Within(std::chrono::seconds(60), [&] { return Count() == sessionsIn(0, 45); })) << Count();

    // A torn line waits for its end: another file's lines, loaded twice
    // over since it was written, show that it was looked at.
    const std::string torn = marker("torn");
    Append(path, torn.substr(0, 30));
    for (const char *name : {"first", "second"}) {
        const long long before = Count();
        Append(other, marker(name) + "\n");
        ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return Count() == before + 1; }));
    }
    EXPECT_EQ(Count("port = 'torn'"), 0);
    Append(path, torn.substr(30) + "\n");
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return Count("port = 'torn'") == 1; }));
    EXPECT_EQ(Count(), sessionsIn(0, 45) + 3);
    follow.Signal(SIGTERM);
    ZflashRun run = follow.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("skipped"), std::string::npos) << run.err;

    // Started again, it goes on where it was: only the new lines are read.
    Append(path, Joined(lines, 45, lines.size()));
    ZflashProcess again({"records", "ingest", "--db", url, "--follow", path});
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] { return Count() == sessionsIn(0, lines.size()) + 3; }))
        << Count();
    again.Signal(SIGTERM);
    run = again.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(path + ": " + std::to_string(lines.size() - 45) + " lines read"), std::string::npos)
        << run.out;
    // Every line's session is there once: none lost, none doubled.
    EXPECT_EQ(Count(), sessionsIn(0, lines.size()) + 3);
    EXPECT_EQ(Count("end_entry IS NULL AND start_entry IS NULL"), 0);
}

}  // namespace
