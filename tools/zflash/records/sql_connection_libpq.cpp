// The records' database through libpq, PostgreSQL's own client library.
#include "tools/zflash/records/sql_connection.h"

#include <libpq-fe.h>

namespace {

// The message on one line: libpq's own messages run over several.
std::string Message(const char *text)
{
    std::string m;
    for (const char *c = text ? text : ""; *c; ++c) {
        const bool space = *c == '\n' || *c == '\t' || *c == ' ';
        if (!space)
            m += *c;
        else if (!m.empty() && m.back() != ' ')
            m += ' ';
    }
    while (!m.empty() && m.back() == ' ')
        m.pop_back();
    return m;
}

class LibpqConnection : public SqlConnection {
public:
    ~LibpqConnection() override { Drop(); }

    bool Connect(const std::string &url, std::string &error) override
    {
        Drop();
        // A connection that stops answering is given up within half a
        // minute, not the system's two hours; the URL may say otherwise.
        const char *keys[] = {"connect_timeout", "keepalives_idle", "keepalives_interval", "keepalives_count",
                              "tcp_user_timeout", "application_name", "dbname", nullptr};
        const char *values[] = {"10", "10", "5", "3", "30000", "zflash records", url.c_str(), nullptr};
        conn = PQconnectdbParams(keys, values, 1);
        if (conn && PQstatus(conn) == CONNECTION_OK) {
            PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);  // "already exists, skipping"
            return true;
        }
        error = conn ? Message(PQerrorMessage(conn)) : "out of memory";
        Drop();
        return false;
    }

    bool Connected() const override { return conn && PQstatus(conn) == CONNECTION_OK; }

    SqlResult Exec(const std::string &sql, const std::vector<std::string> &params) override
    {
        SqlResult r;
        if (!conn) {
            r.error = "not connected";
            return r;
        }
        std::vector<const char *> values;
        for (const std::string &p : params)
            values.push_back(p.c_str());
        PGresult *res = params.empty() ? PQexec(conn, sql.c_str())
                                       : PQexecParams(conn, sql.c_str(), int(values.size()), nullptr,
                                                      values.data(), nullptr, nullptr, 0);
        const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
        r.ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!r.ok) {
            // The server's one-line message, without the statement it quotes.
            const char *primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
            r.error = Message(primary ? primary : PQerrorMessage(conn));
            const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
            r.sqlState = state ? state : "";
        }
        for (int row = 0; r.ok && row < PQntuples(res); ++row) {
            r.rows.emplace_back();
            for (int col = 0; col < PQnfields(res); ++col)
                r.rows.back().push_back(PQgetvalue(res, row, col));
        }
        PQclear(res);
        return r;
    }

private:
    void Drop()
    {
        if (conn)
            PQfinish(conn);
        conn = nullptr;
    }

    PGconn *conn = nullptr;
};

}  // namespace

std::unique_ptr<SqlConnection> NewSqlConnection()
{
    return std::unique_ptr<SqlConnection>(new LibpqConnection);
}

std::string SqlClientMissing()
{
    return std::string();
}
