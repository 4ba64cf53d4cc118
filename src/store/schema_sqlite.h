// schema_sqlite.h - the tables, indexes and view of a SHEF database in
// SQLite. Times are text "YYYY-MM-DDTHH:MM:SSZ", which sorts and compares
// as the times do; values are REAL, null when missing.
#ifndef VYR_SCHEMA_SQLITE_H
#define VYR_SCHEMA_SQLITE_H

namespace vyr::store {

inline constexpr const char *kSqliteSchema = R"sql(
CREATE TABLE schema_info (version INTEGER NOT NULL);
INSERT INTO schema_info (version) VALUES (1);
CREATE TABLE product (
    product_id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    product_time TEXT,
    posting_time TEXT NOT NULL,
    values_read INTEGER NOT NULL DEFAULT 0,
    inserted INTEGER NOT NULL DEFAULT 0,
    overwritten INTEGER NOT NULL DEFAULT 0,
    kept INTEGER NOT NULL DEFAULT 0,
    errors INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE value_log (
    product_id INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    station TEXT NOT NULL,
    obs_time TEXT NOT NULL,
    pe TEXT NOT NULL,
    duration TEXT NOT NULL,
    type_source TEXT NOT NULL,
    extremum TEXT NOT NULL,
    probability TEXT NOT NULL,
    duration_value INTEGER NOT NULL,
    basis_time TEXT,
    value REAL,
    qualifier TEXT,
    revised INTEGER NOT NULL CHECK (revised IN (0, 1)),
    message TEXT NOT NULL,
    line INTEGER NOT NULL,
    comment TEXT,
    action TEXT NOT NULL CHECK (action IN ('insert', 'overwrite', 'keep')),
    PRIMARY KEY (product_id, seq)
) WITHOUT ROWID;
CREATE TABLE observed (
    station TEXT NOT NULL,
    pe TEXT NOT NULL,
    duration TEXT NOT NULL,
    type_source TEXT NOT NULL,
    extremum TEXT NOT NULL,
    probability TEXT NOT NULL,
    duration_value INTEGER NOT NULL,
    obs_time TEXT NOT NULL,
    value REAL,
    qualifier TEXT,
    revised INTEGER NOT NULL,
    product_id INTEGER NOT NULL,
    line INTEGER NOT NULL,
    posting_time TEXT NOT NULL,
    PRIMARY KEY (station, pe, duration, type_source, extremum, probability, duration_value,
                 obs_time)
) WITHOUT ROWID;
CREATE TABLE forecast (
    station TEXT NOT NULL,
    pe TEXT NOT NULL,
    duration TEXT NOT NULL,
    type_source TEXT NOT NULL,
    extremum TEXT NOT NULL,
    probability TEXT NOT NULL,
    basis_time TEXT NOT NULL,
    duration_value INTEGER NOT NULL,
    obs_time TEXT NOT NULL,
    value REAL,
    qualifier TEXT,
    revised INTEGER NOT NULL,
    product_id INTEGER NOT NULL,
    line INTEGER NOT NULL,
    posting_time TEXT NOT NULL,
    PRIMARY KEY (station, pe, duration, type_source, extremum, probability, basis_time,
                 duration_value, obs_time)
) WITHOUT ROWID;
CREATE VIEW latest_observed AS
SELECT station, pe, duration, type_source, extremum, probability, duration_value, obs_time,
       value, qualifier, revised, product_id, line, posting_time
FROM (SELECT *, row_number() OVER (
          PARTITION BY station, pe, duration, type_source, extremum, probability, duration_value
          ORDER BY obs_time DESC) AS latest
      FROM observed WHERE value IS NOT NULL)
WHERE latest = 1;
)sql";

}  // namespace vyr::store

#endif  // VYR_SCHEMA_SQLITE_H
