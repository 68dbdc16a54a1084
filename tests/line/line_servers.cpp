#include "tests/line/line_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>
#include <httplib.h>
#include <libpq-fe.h>

namespace fs = std::filesystem;

int FreePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0)
        close(s);
    return port;
}

int Shell(const std::string &command, std::string *output)
{
    FILE *p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    char buffer[4096];
    size_t n;
    std::string text;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        text.append(buffer, n);
    const int status = pclose(p);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path TestFolder(const std::string &name)
{
    const fs::path dir = fs::temp_directory_path() / ("zf-line-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

namespace {

std::string Quoted(const std::string &text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string FileText(const fs::path &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Where this machine's PostgreSQL programs are: pg_config's, else the newest.
std::string PostgresBin()
{
    std::string out;
    if (Shell("pg_config --bindir", &out) == 0 && fs::exists(out.substr(0, out.find('\n')) + "/initdb"))
        return out.substr(0, out.find('\n'));
    std::string best;
    std::error_code ec;
    for (const fs::directory_entry &d : fs::directory_iterator("/usr/lib/postgresql", ec))
        if (fs::exists(d.path() / "bin" / "initdb") && d.path().string() > best)
            best = d.path().string();
    return best.empty() ? best : best + "/bin";
}

}  // namespace

PostgresServer::PostgresServer() : dir(TestFolder("postgres")), bin(PostgresBin())
{
    // initdb refuses root: the cluster belongs to "nobody" then.
    if (geteuid() == 0) {
        const passwd *nobody = getpwnam("nobody");
        if (nobody && chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            ADD_FAILURE() << "cannot give " << dir << " to nobody";
        chmod(dir.c_str(), 0700);
    }
}

PostgresServer::~PostgresServer()
{
    Stop();
    std::error_code ec;
    fs::remove_all(dir, ec);
}

std::string PostgresServer::As(const std::string &command) const
{
    return geteuid() == 0 ? "runuser -u nobody -- " + command : command;
}

bool PostgresServer::Start(std::string &error)
{
    if (bin.empty()) {
        error = "no PostgreSQL server programs (scripts/install-deps line)";
        return false;
    }
    const std::string data = (dir / "data").string();
    if (!made && Shell(As(bin + "/initdb -D " + Quoted(data) + " -U zflash --auth=trust -E UTF8 --locale=C"), &error) != 0)
        return false;
    made = true;
    if (port == 0)
        port = FreePort();
    // fsync off: a test's data need not survive a crash of the machine.
    const std::string options = "-p " + std::to_string(port) + " -k " + dir.string() +
                                " -c listen_addresses=127.0.0.1 -c fsync=off -c TimeZone=UTC";
    running = Shell(As(bin + "/pg_ctl -D " + Quoted(data) + " -l " + Quoted((dir / "log").string()) +
                       " -w -t 60 -o " + Quoted(options) + " start"),
                    &error) == 0;
    if (!running)
        error += FileText(dir / "log");
    return running;
}

bool PostgresServer::Stop()
{
    if (!running)
        return true;
    running = Shell(As(bin + "/pg_ctl -D " + Quoted((dir / "data").string()) + " -m fast -w -t 60 stop")) != 0;
    return !running;
}

std::string PostgresServer::Url(const std::string &database) const
{
    return "postgresql://zflash@127.0.0.1:" + std::to_string(port) + "/" + database;
}

std::string PostgresServer::NewDatabase(const std::string &name)
{
    Query(Url("postgres"), "DROP DATABASE IF EXISTS " + name);
    Query(Url("postgres"), "CREATE DATABASE " + name);
    return Url(name);
}

Rows PostgresServer::Query(const std::string &url, const std::string &sql) const
{
    Rows rows;
    PGconn *conn = PQconnectdb(url.c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        ADD_FAILURE() << url << ": " << PQerrorMessage(conn);
        PQfinish(conn);
        return rows;
    }
    PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);  // "does not exist, skipping"
    PGresult *r = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
    for (int i = 0; status == PGRES_TUPLES_OK && i < PQntuples(r); ++i) {
        rows.emplace_back();
        for (int j = 0; j < PQnfields(r); ++j)
            rows.back().push_back(PQgetvalue(r, i, j));
    }
    PQclear(r);
    PQfinish(conn);
    return rows;
}

PrometheusServer::~PrometheusServer()
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    std::error_code ec;
    if (!dir.empty())
        fs::remove_all(dir, ec);
}

bool PrometheusServer::Start(const std::string &target, const std::string &interval, std::string &error)
{
    dir = TestFolder("prometheus");
    port = FreePort();
    std::ofstream(dir / "prometheus.yml") << "global:\n  scrape_interval: " << interval
                                          << "\n  evaluation_interval: " << interval
                                          << "\nscrape_configs:\n  - job_name: zflash\n    static_configs:\n"
                                             "      - targets: ['"
                                          << target << "']\n        labels: {station: test-station}\n";
    const std::string log = (dir / "log").string();
    pid = fork();
    if (pid == 0) {
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0)
            _exit(127);
        const std::string config = "--config.file=" + (dir / "prometheus.yml").string();
        const std::string storage = "--storage.tsdb.path=" + (dir / "data").string();
        const std::string listen = "--web.listen-address=127.0.0.1:" + std::to_string(port);
        execlp("prometheus", "prometheus", config.c_str(), storage.c_str(), listen.c_str(), nullptr);
        _exit(127);
    }
    httplib::Client client("127.0.0.1", port);
    if (pid > 0 && Within(std::chrono::seconds(60), [&] {
            const httplib::Result r = client.Get("/-/ready");
            return r && r->status == 200;
        }))
        return true;
    error = "prometheus did not start: " + FileText(log);
    return false;
}

nlohmann::json PrometheusServer::Query(const std::string &promql) const
{
    httplib::Client client("127.0.0.1", port);
    const httplib::Result r = client.Get("/api/v1/query", httplib::Params{{"query", promql}}, httplib::Headers{});
    if (!r || r->status != 200)
        return nullptr;
    const nlohmann::json answer = nlohmann::json::parse(r->body, nullptr, false);
    return answer.is_object() && answer.value("status", "") == "success" ? answer["data"] : nlohmann::json();
}

namespace {

std::unique_ptr<PostgresServer> shared;

class StopSharedPostgres : public ::testing::Environment {
public:
    void TearDown() override { shared.reset(); }
};

const ::testing::Environment *const kStopSharedPostgres =
    ::testing::AddGlobalTestEnvironment(new StopSharedPostgres);

}  // namespace

PostgresServer &SharedPostgres()
{
    if (!shared) {
        shared.reset(new PostgresServer);
        std::string error;
        if (!shared->Start(error))
            ADD_FAILURE() << "PostgreSQL did not start: " << error;
    }
    return *shared;
}
