#include "tools/zflash/records/records_sql.h"

namespace {

// Version 1: the table, the positions, the load and the views.
const char *const kVersion1 = R"SQL(
CREATE TABLE zflash.sessions (
    session        text PRIMARY KEY,
    record_schema  integer NOT NULL,
    station        text NOT NULL DEFAULT '',
    port           text NOT NULL DEFAULT '',
    adapter        text NOT NULL DEFAULT '',
    operator       text NOT NULL DEFAULT '',
    work_order     text NOT NULL DEFAULT '',
    tool_version   text NOT NULL DEFAULT '',
    product        text NOT NULL DEFAULT '',
    hw             text NOT NULL DEFAULT '',
    image_file     text NOT NULL DEFAULT '',
    image_version  text NOT NULL DEFAULT '',
    image_sha256   text NOT NULL DEFAULT '',
    before_version text NOT NULL DEFAULT '',
    after_version  text,
    started_at     timestamptz,
    ended_at       timestamptz,
    result         text,
    failure_kind   text,
    failure_step   text,
    failure_detail text,
    attempts       integer,
    exit_code      integer,
    seconds        double precision,
    start_entry    jsonb,
    end_entry      jsonb,
    source         text NOT NULL,
    loaded_at      timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX sessions_ended_at ON zflash.sessions (ended_at);
CREATE INDEX sessions_image ON zflash.sessions (image_sha256);
CREATE INDEX sessions_open ON zflash.sessions (started_at) WHERE end_entry IS NULL;

CREATE TABLE zflash.file_positions (
    fingerprint text PRIMARY KEY,
    path        text NOT NULL,
    byte_offset bigint NOT NULL,
    line        bigint NOT NULL,
    updated_at  timestamptz NOT NULL DEFAULT now()
);

-- A record's text, number or time; '' or NULL where it has none or another kind.
CREATE FUNCTION zflash.text_of(entry jsonb, path text[]) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN jsonb_typeof(entry #> path) = 'string' THEN entry #>> path ELSE '' END
$$;
CREATE FUNCTION zflash.number_of(entry jsonb, path text[]) RETURNS double precision
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN jsonb_typeof(entry #> path) = 'number' THEN (entry #>> path)::double precision END
$$;
CREATE FUNCTION zflash.time_of(entry jsonb) RETURNS timestamptz
LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (entry ->> 'time')::timestamptz;
EXCEPTION WHEN others THEN
    RETURN NULL;
END
$$;

-- The step a failed session ended in: the last one its seconds show, in the
-- order a session takes them.
CREATE FUNCTION zflash.failure_step_of(entry jsonb) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT step FROM unnest(ARRAY['open', 'wait', 'identify', 'loader', 'list', 'query', 'readImage',
                                  'blankCheck', 'erase', 'program', 'verify']) WITH ORDINALITY AS s(step, n)
    WHERE jsonb_typeof(entry -> 'seconds' -> step) = 'number'
    ORDER BY n DESC LIMIT 1
$$;

-- One line: a start entry fills its session's row or the start columns of
-- the row its end made; an end (a record) fills the whole row. The outcome:
-- added, updated or unchanged (loaded before).
CREATE FUNCTION zflash.load_entry(key text, entry jsonb, from_source text) RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    inserted boolean;
BEGIN
    IF entry ->> 'event' = 'start' THEN
        INSERT INTO zflash.sessions AS s (session, record_schema, station, port, adapter, operator, work_order,
                    tool_version, product, hw, image_file, image_version, image_sha256, before_version,
                    started_at, start_entry, source)
        VALUES (key, zflash.number_of(entry, '{schema}')::integer, zflash.text_of(entry, '{station}'),
                zflash.text_of(entry, '{port}'), zflash.text_of(entry, '{adapter}'),
                zflash.text_of(entry, '{operator}'), zflash.text_of(entry, '{work_order}'),
                zflash.text_of(entry, '{tool_version}'), zflash.text_of(entry, '{device,product}'),
                zflash.text_of(entry, '{device,hw}'), zflash.text_of(entry, '{image,file}'),
                zflash.text_of(entry, '{image,version}'), zflash.text_of(entry, '{image,sha256}'),
                zflash.text_of(entry, '{before,version}'), zflash.time_of(entry), entry, from_source)
        ON CONFLICT (session) DO UPDATE SET started_at = EXCLUDED.started_at, start_entry = EXCLUDED.start_entry
            WHERE s.start_entry IS NULL
        RETURNING (s.xmax = 0) INTO inserted;
    ELSE
        INSERT INTO zflash.sessions AS s (session, record_schema, station, port, adapter, operator, work_order,
                    tool_version, product, hw, image_file, image_version, image_sha256, before_version,
                    after_version, ended_at, result, failure_kind, failure_step, failure_detail, attempts,
                    exit_code, seconds, end_entry, source)
        VALUES (key, zflash.number_of(entry, '{schema}')::integer, zflash.text_of(entry, '{station}'),
                zflash.text_of(entry, '{port}'), zflash.text_of(entry, '{adapter}'),
                zflash.text_of(entry, '{operator}'), zflash.text_of(entry, '{work_order}'),
                zflash.text_of(entry, '{tool_version}'), zflash.text_of(entry, '{device,product}'),
                zflash.text_of(entry, '{device,hw}'), zflash.text_of(entry, '{image,file}'),
                zflash.text_of(entry, '{image,version}'), zflash.text_of(entry, '{image,sha256}'),
                zflash.text_of(entry, '{before,version}'), zflash.text_of(entry, '{after,version}'),
                zflash.time_of(entry), zflash.text_of(entry, '{result}'),
                zflash.text_of(entry, '{failure,kind}'),
                CASE WHEN entry ->> 'result' IN ('ok', 'current') THEN '' ELSE zflash.failure_step_of(entry) END,
                zflash.text_of(entry, '{failure,detail}'), zflash.number_of(entry, '{attempts}')::integer,
                zflash.number_of(entry, '{exit_code}')::integer, zflash.number_of(entry, '{seconds,total}'),
                entry, from_source)
        ON CONFLICT (session) DO UPDATE SET
            (record_schema, station, port, adapter, operator, work_order, tool_version, product, hw, image_file,
             image_version, image_sha256, before_version, after_version, ended_at, result, failure_kind,
             failure_step, failure_detail, attempts, exit_code, seconds, end_entry, source, loaded_at) =
            (EXCLUDED.record_schema, EXCLUDED.station, EXCLUDED.port, EXCLUDED.adapter, EXCLUDED.operator,
             EXCLUDED.work_order, EXCLUDED.tool_version, EXCLUDED.product, EXCLUDED.hw, EXCLUDED.image_file,
             EXCLUDED.image_version, EXCLUDED.image_sha256, EXCLUDED.before_version, EXCLUDED.after_version,
             EXCLUDED.ended_at, EXCLUDED.result, EXCLUDED.failure_kind, EXCLUDED.failure_step,
             EXCLUDED.failure_detail, EXCLUDED.attempts, EXCLUDED.exit_code, EXCLUDED.seconds,
             EXCLUDED.end_entry, EXCLUDED.source, now())
            WHERE s.end_entry IS DISTINCT FROM EXCLUDED.end_entry
        RETURNING (s.xmax = 0) INTO inserted;
    END IF;
    IF inserted IS NULL THEN
        RETURN 'unchanged';
    END IF;
    RETURN CASE WHEN inserted THEN 'added' ELSE 'updated' END;
END
$$;

-- A unit: a session that ended with a device there (every result but
-- cancelled, no-device and reseated: a re-seated unit's next session counts
-- it); first pass: ok at the first attempt, or current.
CREATE VIEW zflash.units AS
    SELECT *, result = 'current' OR (result = 'ok' AND coalesce(attempts, 0) <= 1) AS first_pass
    FROM zflash.sessions
    WHERE end_entry IS NOT NULL AND result NOT IN ('cancelled', 'no-device', 'reseated');

CREATE VIEW zflash.first_pass_yield AS
    SELECT ended_at::date AS day, station, work_order,
           count(*) AS units,
           count(*) FILTER (WHERE first_pass) AS first_pass,
           round(count(*) FILTER (WHERE first_pass)::numeric / count(*), 4) AS yield,
           count(*) FILTER (WHERE result = 'ok') AS ok,
           count(*) FILTER (WHERE result = 'current') AS current,
           count(*) FILTER (WHERE result NOT IN ('ok', 'current')) AS failed
    FROM zflash.units
    GROUP BY 1, 2, 3;

CREATE VIEW zflash.throughput AS
    SELECT date_trunc('hour', ended_at) AS hour, station, port,
           count(*) AS units,
           count(*) FILTER (WHERE result IN ('ok', 'current')) AS passed,
           round(avg(seconds)::numeric, 2) AS mean_seconds
    FROM zflash.units
    GROUP BY 1, 2, 3;

CREATE VIEW zflash.failure_pareto AS
    SELECT failure_kind AS kind, failure_step AS step,
           count(*) AS failures,
           sum(count(*)) OVER (PARTITION BY failure_kind) AS kind_failures,
           round(100.0 * count(*) / sum(count(*)) OVER (), 1) AS percent
    FROM zflash.sessions
    WHERE result IN ('failed', 'interrupted', 'bad-input', 'no-device')
    GROUP BY 1, 2
    ORDER BY kind_failures DESC, kind, failures DESC, step;

CREATE VIEW zflash.image_history AS
    SELECT image_sha256 AS sha256,
           coalesce(string_agg(DISTINCT nullif(image_version, ''), ', '), '') AS versions,
           coalesce(string_agg(DISTINCT nullif(image_file, ''), ', '), '') AS files,
           count(*) FILTER (WHERE end_entry IS NOT NULL AND result NOT IN ('cancelled', 'no-device', 'reseated'))
               AS units,
           count(*) FILTER (WHERE result IN ('ok', 'current')) AS passed,
           coalesce(array_agg(DISTINCT work_order ORDER BY work_order) FILTER (WHERE work_order <> ''),
                    '{}') AS work_orders,
           min(coalesce(started_at, ended_at)) AS first_use,
           max(coalesce(ended_at, started_at)) AS last_use
    FROM zflash.sessions
    WHERE image_sha256 <> ''
    GROUP BY 1;

CREATE VIEW zflash.open_sessions AS
    SELECT session, started_at, now() - started_at AS open_for, station, port, adapter, operator, work_order,
           product, hw, image_file, image_version, image_sha256, before_version, source
    FROM zflash.sessions
    WHERE end_entry IS NULL;
)SQL";

}  // namespace

const char *const kMigrations[] = {kVersion1};
const size_t kMigrationCount = sizeof kMigrations / sizeof kMigrations[0];

const char *const kSqlPrepareMigration = R"SQL(
SELECT pg_advisory_xact_lock(7202512270);
CREATE SCHEMA IF NOT EXISTS zflash;
CREATE TABLE IF NOT EXISTS zflash.schema_version (version integer NOT NULL, migrated_at timestamptz NOT NULL DEFAULT now());
)SQL";

const char *const kSqlSchemaVersion = "SELECT coalesce(max(version), 0) FROM zflash.schema_version";

const char *const kSqlSetSchemaVersion = "INSERT INTO zflash.schema_version (version) VALUES ($1::integer)";

const char *const kSqlLoadEntries = R"SQL(
SELECT outcome, count(*) FROM (
    SELECT zflash.load_entry(item ->> 0, item -> 1, item ->> 2) AS outcome
    FROM jsonb_array_elements($1::jsonb) AS items(item)
) AS loaded GROUP BY outcome
)SQL";

const char *const kSqlLoadEntry = "SELECT zflash.load_entry($1, $2::jsonb, $3)";

const char *const kSqlPosition =
    "SELECT byte_offset, line, path FROM zflash.file_positions WHERE fingerprint = $1";

const char *const kSqlSetPosition = R"SQL(
INSERT INTO zflash.file_positions AS p (fingerprint, path, byte_offset, line) VALUES ($1, $2, $3::bigint, $4::bigint)
ON CONFLICT (fingerprint) DO UPDATE SET path = EXCLUDED.path,
    byte_offset = greatest(p.byte_offset, EXCLUDED.byte_offset), line = greatest(p.line, EXCLUDED.line),
    updated_at = now()
)SQL";
