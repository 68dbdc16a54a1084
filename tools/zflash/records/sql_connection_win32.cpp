// zflash.exe reaches no database itself: a Windows station's records are
// loaded by a collector that follows its records file (docs/zflash.md, "A
// line of stations").
#include "tools/zflash/records/sql_connection.h"

namespace {

class NoConnection : public SqlConnection {
public:
    bool Connect(const std::string &, std::string &error) override
    {
        error = SqlClientMissing();
        return false;
    }
    bool Connected() const override { return false; }
    SqlResult Exec(const std::string &, const std::vector<std::string> &) override
    {
        SqlResult r;
        r.error = "not connected";
        return r;
    }
};

}  // namespace

std::unique_ptr<SqlConnection> NewSqlConnection()
{
    return std::unique_ptr<SqlConnection>(new NoConnection);
}

std::string SqlClientMissing()
{
    return "zflash.exe has no database client: a Windows station's records are loaded by zflash records ingest "
           "--follow on Linux, reading the station's records file over a share (see the manual, \"A line of "
           "stations\")";
}
