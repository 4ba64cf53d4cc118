// schema_pg.h - the tables, indexes and view of a SHEF database in
// PostgreSQL: the same tables and columns as in SQLite, with times as
// timestamptz and values as double precision. Codes compare byte by byte
// (collation "C"), as in SQLite, whatever the database's locale.
#ifndef VYR_SCHEMA_PG_H
#define VYR_SCHEMA_PG_H

namespace vyr::store {

inline constexpr const char *kPgSchema = R"sql(
CREATE TABLE schema_info (version integer NOT NULL);
INSERT INTO schema_info (version) VALUES (1);
CREATE TABLE product (
    product_id bigserial PRIMARY KEY,
    name text NOT NULL,
    product_time timestamptz,
    posting_time timestamptz NOT NULL,
    values_read bigint NOT NULL DEFAULT 0,
    inserted bigint NOT NULL DEFAULT 0,
    overwritten bigint NOT NULL DEFAULT 0,
    kept bigint NOT NULL DEFAULT 0,
    errors bigint NOT NULL DEFAULT 0
);
CREATE TABLE value_log (
    product_id bigint NOT NULL,
    seq bigint NOT NULL,
    station text COLLATE "C" NOT NULL,
    obs_time timestamptz NOT NULL,
    pe text COLLATE "C" NOT NULL,
    duration text COLLATE "C" NOT NULL,
    type_source text COLLATE "C" NOT NULL,
    extremum text COLLATE "C" NOT NULL,
    probability text COLLATE "C" NOT NULL,
    duration_value bigint NOT NULL,
    basis_time timestamptz,
    value double precision,
    qualifier text,
    revised smallint NOT NULL CHECK (revised IN (0, 1)),
    message text NOT NULL,
    line bigint NOT NULL,
    comment text,
    action text NOT NULL CHECK (action IN ('insert', 'overwrite', 'keep'))
);
-- A product's values are written together: a block range index finds them
-- at almost no cost to the writing.
CREATE INDEX value_log_product ON value_log USING brin (product_id);
CREATE TABLE observed (
    station text COLLATE "C" NOT NULL,
    pe text COLLATE "C" NOT NULL,
    duration text COLLATE "C" NOT NULL,
    type_source text COLLATE "C" NOT NULL,
    extremum text COLLATE "C" NOT NULL,
    probability text COLLATE "C" NOT NULL,
    duration_value bigint NOT NULL,
    obs_time timestamptz NOT NULL,
    value double precision,
    qualifier text,
    revised smallint NOT NULL,
    product_id bigint NOT NULL,
    line bigint NOT NULL,
    posting_time timestamptz NOT NULL,
    PRIMARY KEY (station, pe, duration, type_source, extremum, probability, duration_value,
                 obs_time)
);
CREATE TABLE forecast (
    station text COLLATE "C" NOT NULL,
    pe text COLLATE "C" NOT NULL,
    duration text COLLATE "C" NOT NULL,
    type_source text COLLATE "C" NOT NULL,
    extremum text COLLATE "C" NOT NULL,
    probability text COLLATE "C" NOT NULL,
    basis_time timestamptz NOT NULL,
    duration_value bigint NOT NULL,
    obs_time timestamptz NOT NULL,
    value double precision,
    qualifier text,
    revised smallint NOT NULL,
    product_id bigint NOT NULL,
    line bigint NOT NULL,
    posting_time timestamptz NOT NULL,
    PRIMARY KEY (station, pe, duration, type_source, extremum, probability, basis_time,
                 duration_value, obs_time)
);
CREATE VIEW latest_observed AS
SELECT station, pe, duration, type_source, extremum, probability, duration_value, obs_time,
       value, qualifier, revised, product_id, line, posting_time
FROM (SELECT *, row_number() OVER (
          PARTITION BY station, pe, duration, type_source, extremum, probability, duration_value
          ORDER BY obs_time DESC) AS latest
      FROM observed WHERE value IS NOT NULL) AS o
WHERE latest = 1;
)sql";

}  // namespace vyr::store

#endif  // VYR_SCHEMA_PG_H
