// zflash records ingest: records files loaded into the database, each
// session once however often a file is read; with --follow, files followed
// as they grow and rotate, until Ctrl-C or SIGTERM, through the database's
// absences.
#pragma once

#include <string>
#include <vector>

#include "tools/zflash/records/records_store.h"

struct IngestOptions {
    std::string url;                 // --db
    std::vector<std::string> files;
    bool follow = false;
    double pollSeconds = 0.5;        // how often a followed file is looked at
    double maxBackoffSeconds = 15;   // the longest wait between two tries of an absent database
};

// Loads; the exit code: 0, ExitFailed when the database failed (without
// --follow), ExitBadInput when a file could not be read, ExitNoDevice when
// stopped by Ctrl-C before the end (without --follow).
int IngestRecords(const IngestOptions &options, RecordsStore &store, int (*takeInterrupts)());
