// The database's side of the records, in PostgreSQL's SQL: the schema
// "zflash" with its one table of sessions, the positions of the files read,
// the load of one line, the views of the line's figures, and the
// migrations that make and update them. Any connection (sql_connection.h)
// runs the same statements. docs/zflash.md ("A line of stations") describes
// the table and the views.
#pragma once

#include <cstddef>

// The migrations in order: kMigrations[i] brings the schema from version i
// to i + 1 (it runs in the transaction that records the new version).
extern const char *const kMigrations[];
extern const size_t kMigrationCount;

// Makes the schema and its version table when missing, and holds the
// migration lock until the transaction ends.
extern const char *const kSqlPrepareMigration;
// The schema's version: one row, one column ("0" before the first migration).
extern const char *const kSqlSchemaVersion;
// $1: the version a migration brought.
extern const char *const kSqlSetSchemaVersion;

// $1: a JSON array of [session, entry, source] triples, loaded in order;
// rows of (outcome, count), outcome "added", "updated" or "unchanged".
extern const char *const kSqlLoadEntries;
// $1 session, $2 entry (JSON), $3 source: one row, the outcome.
extern const char *const kSqlLoadEntry;
// $1 fingerprint: one row (byte offset, line, path) when the file was read before.
extern const char *const kSqlPosition;
// $1 fingerprint, $2 path, $3 byte offset, $4 line.
extern const char *const kSqlSetPosition;
