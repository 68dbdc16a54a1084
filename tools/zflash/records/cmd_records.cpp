// zflash records ingest --db URL [--follow] FILE...
#include "tools/zflash/interrupt.h"
#include "tools/zflash/output.h"
#include "tools/zflash/records/ingest.h"
#include "tools/zflash/zflash.h"

int RunRecordsIngest(const std::string &url, const std::vector<std::string> &files, bool follow)
{
    const std::string missing = SqlClientMissing();
    if (!missing.empty()) {
        PrintError(missing + ".");
        return ExitFailed;
    }
    IngestOptions options;
    options.url = url;
    options.files = files;
    options.follow = follow;
    RecordsStore store(NewSqlConnection());
    return IngestRecords(options, store, TakeInterrupts);
}
