#include "tools/zflash/records/records_store.h"

#include "tools/zflash/records/records_sql.h"

using nlohmann::json;

namespace {

void Add(LoadCounts &counts, const std::string &outcome, long long n)
{
    if (outcome == "added")
        counts.added += n;
    else if (outcome == "updated")
        counts.updated += n;
    else
        counts.unchanged += n;
}

// A refusal for the data of a line (SQLSTATE classes 22 and 23), not for
// the connection or the schema.
bool DataRefused(const SqlResult &r)
{
    return r.sqlState.rfind("22", 0) == 0 || r.sqlState.rfind("23", 0) == 0;
}

}  // namespace

bool RecordsStore::Run(const std::string &statement, const std::vector<std::string> &params, std::string &error,
                       SqlResult *result)
{
    SqlResult r = sql->Exec(statement, params);
    if (!r.ok)
        error = r.error;
    const bool ok = r.ok;
    if (result)
        *result = std::move(r);
    return ok;
}

bool RecordsStore::Open(const std::string &url, std::string &error)
{
    return sql->Connect(url, error) && Migrate(error);
}

bool RecordsStore::Migrate(std::string &error)
{
    SqlResult version;
    if (!Run("BEGIN", {}, error) || !Run(kSqlPrepareMigration, {}, error) ||
        !Run(kSqlSchemaVersion, {}, error, &version) || version.rows.empty()) {
        Rollback();
        return false;
    }
    const size_t have = size_t(std::stoul(version.rows[0][0]));
    if (have > kMigrationCount) {
        Rollback();
        error = "the database's records schema is version " + std::to_string(have) +
                ", newer than this zflash knows (" + std::to_string(kMigrationCount) + "): use a newer zflash";
        return false;
    }
    for (size_t v = have; v < kMigrationCount; ++v)
        if (!Run(kMigrations[v], {}, error) || !Run(kSqlSetSchemaVersion, {std::to_string(v + 1)}, error)) {
            error = "migrating the records schema to version " + std::to_string(v + 1) + ": " + error;
            Rollback();
            return false;
        }
    if (Run("COMMIT", {}, error))
        return true;
    Rollback();
    return false;
}

bool RecordsStore::Position(const std::string &fingerprint, FilePosition &position, std::string &error)
{
    SqlResult r;
    if (!Run(kSqlPosition, {fingerprint}, error, &r))
        return false;
    position.fingerprint = fingerprint;
    position.offset = r.rows.empty() ? 0 : std::stoll(r.rows[0][0]);
    position.line = r.rows.empty() ? 0 : std::stoll(r.rows[0][1]);
    return true;
}

bool RecordsStore::Load(const std::vector<LoadLine> &lines, const FilePosition &after, LoadCounts &counts,
                        std::vector<RefusedLine> &refused, std::string &error)
{
    counts = LoadCounts();
    refused.clear();
    if (!Run("BEGIN", {}, error))
        return false;
    json batch = json::array();
    for (const LoadLine &l : lines)
        batch.push_back({l.session, l.entry, l.source});
    SqlResult r;
    bool loaded = lines.empty() ||
                  Run(kSqlLoadEntries, {batch.dump(-1, ' ', false, json::error_handler_t::replace)}, error, &r);
    if (loaded) {
        for (const std::vector<std::string> &row : r.rows)
            Add(counts, row[0], std::stoll(row[1]));
    } else if (DataRefused(r)) {
        // One line's data is refused: the batch again, line by line, the
        // refused ones left out.
        Rollback();
        loaded = Run("BEGIN", {}, error) && LoadEach(lines, counts, refused, error);
    }
    if (loaded && Run(kSqlSetPosition,
                      {after.fingerprint, after.path, std::to_string(after.offset), std::to_string(after.line)},
                      error) &&
        Run("COMMIT", {}, error))
        return true;
    Rollback();
    counts = LoadCounts();
    refused.clear();
    return false;
}

bool RecordsStore::LoadEach(const std::vector<LoadLine> &lines, LoadCounts &counts, std::vector<RefusedLine> &refused,
                            std::string &error)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        SqlResult r;
        if (!Run("SAVEPOINT line", {}, error))
            return false;
        if (Run(kSqlLoadEntry, {lines[i].session, lines[i].entry.dump(), lines[i].source}, error, &r)) {
            Add(counts, r.rows.empty() ? std::string() : r.rows[0][0], 1);
            if (!Run("RELEASE SAVEPOINT line", {}, error))
                return false;
            continue;
        }
        if (!DataRefused(r) || !Run("ROLLBACK TO SAVEPOINT line", {}, error))
            return false;
        refused.push_back({i, r.error});
    }
    return true;
}
