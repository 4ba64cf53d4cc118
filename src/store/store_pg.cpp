// store_pg.cpp - the PostgreSQL backend, for a database that many posters
// and readers share.
//
// A product's values are spooled to a local temporary file as they are
// decoded (memory stays small whatever the product's size), so that a
// retried transaction reads them again from the start. The posting
// transaction takes them a batch at a time in input order: the batch goes
// to a temporary table with COPY (data only, never SQL text), one query
// reads what its keys hold, the rules apply value by value here (the same
// decide() as the SQLite backend), and what they decide goes back with
// COPY: every value into value_log, the current value of each new key into
// observed or forecast, that of each stored key changed into a temporary
// table from which one statement updates them.
//
// Concurrency: the transaction runs at REPEATABLE READ and locks every
// stored row it reads. A row changed by a poster that committed after this
// one began makes the server abort with a serialization failure, a key
// another poster inserted meanwhile fails this one's insert; those and
// deadlocks are retried. Kept rows stay locked until commit, so the tables
// always equal a serial posting in commit order.
#include <libpq-fe.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "schema_pg.h"
#include "store.h"

namespace vyr::store {

namespace {

constexpr int kRetries = 5;              // after the first try
constexpr const char *kFetch = "20000";  // rows per fetch of a replay's fold
constexpr std::size_t kBatch = 20000;    // values posted per round
constexpr std::size_t kCopyChunk = 1 << 20;
// Serializes the creation of the schema by posters that find none.
constexpr const char *kCreateLock = "7561637201";

// An abort the server asks to retry: serialization failure or deadlock.
class Retry : public Error {
  public:
    using Error::Error;
};

struct ResultFree {
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

struct ConnFinish {
    void operator()(PGconn *c) const { PQfinish(c); }
};

// libpq's messages come on several lines: one line for ours.
std::string one_line(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r' || c == ' ') {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string percent_decoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned v = 0;
        if (s[i] == '%' && i + 2 < s.size() &&
            std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16).ptr == s.data() + i + 3) {
            out += static_cast<char>(v);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The passwords a URI carries (in the user part or as parameters), as
// written and decoded: no message may show them.
std::vector<std::string> passwords_of(std::string_view uri) {
    std::vector<std::string> found;
    auto add = [&](std::string_view p) {
        for (const std::string &s : {std::string(p), percent_decoded(p)})
            if (s.size() >= 3) found.push_back(s);
    };
    const std::size_t auth = uri.find("://");
    if (auth == std::string_view::npos) return found;
    const std::size_t stop = uri.find_first_of("@/", auth + 3);
    if (stop != std::string_view::npos && uri[stop] == '@') {
        const std::size_t colon = uri.find(':', auth + 3);
        if (colon < stop) add(uri.substr(colon + 1, stop - colon - 1));
    }
    for (std::size_t p = uri.find("password=", auth); p != std::string_view::npos;
         p = uri.find("password=", p + 1)) {
        if (uri[p - 1] != '?' && uri[p - 1] != '&') continue;
        const std::size_t start = p + 9;
        add(uri.substr(start, uri.find('&', start) - start));
    }
    return found;
}

// Appends a text field in COPY's text format.
void put_field(std::string &out, std::string_view s) {
    for (char c : s) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
}
void put_text_or_null(std::string &out, std::string_view s) {
    if (s.empty())
        out += "\\N";
    else
        put_field(out, s);
}
void put_int(std::string &out, int64_t v) {
    char buf[24];
    out.append(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
}

// The columns of a key, in primary-key order; in a forecast the basis
// time follows the probability.
constexpr const char *kKeyColumns[] = {"station",  "pe",          "duration",   "type_source",
                                       "extremum", "probability", "basis_time", "duration_value",
                                       "obs_time"};

// "a.col = b.col AND ..." over a key; the basis time is b's basis_column.
std::string key_match(const char *a, const char *b, bool forecast,
                      const char *basis_column = "basis_time") {
    std::string s;
    for (const char *c : kKeyColumns) {
        const bool basis = std::strcmp(c, "basis_time") == 0;
        if (basis && !forecast) continue;
        if (!s.empty()) s += " AND ";
        s += std::string(a) + "." + c + " = " + b + "." + (basis ? basis_column : c);
    }
    return s;
}

// "a.col, ..." over a key; the basis time is the given expression.
std::string key_list(const char *a, bool forecast, const std::string &basis) {
    std::string s;
    for (const char *c : kKeyColumns) {
        const bool is_basis = std::strcmp(c, "basis_time") == 0;
        if (is_basis && !forecast) continue;
        if (!s.empty()) s += ", ";
        s += is_basis ? basis : std::string(a) + "." + c;
    }
    return s;
}

// The rules over values sorted by key and arrival: the state a key holds
// as each value arrives, the action of each, and whether the key changed.
class Fold {
  public:
    explicit Fold(Policy policy) : policy_(policy) {}
    // The first value of a key starts from what the key holds.
    Action next(bool first, const Stored &held, bool missing, double value, bool revised) {
        if (first) {
            state_ = held;
            changed_ = false;
        }
        const Action a = decide(policy_, state_, missing, value, revised);
        if (a != Action::Keep) {
            state_ = {true, missing, value};
            changed_ = true;
        }
        return a;
    }
    bool changed() const { return changed_; }

  private:
    Policy policy_;
    Stored state_{};
    bool changed_ = false;
};

// One fetched row of a fold as COPY text: columns by number, null as \N.
class Fields {
  public:
    Fields(PGresult *r, int row) : r_(r), row_(row) {}
    bool null(int col) const { return PQgetisnull(r_, row_, col) != 0; }
    const char *text(int col) const { return PQgetvalue(r_, row_, col); }
    bool flag(int col) const { return text(col)[0] == 't'; }
    double number(int col) const {
        double v = 0;
        std::from_chars(text(col), text(col) + PQgetlength(r_, row_, col), v);
        return v;
    }
    void put(std::string &out, int col) const {
        if (null(col))
            out += "\\N";
        else
            put_field(out, std::string_view(text(col), PQgetlength(r_, row_, col)));
    }
    // The columns in order, tab-separated; a negative number stands for
    // the text extra[-n - 1].
    void line(std::string &out, std::initializer_list<int> cols,
              std::initializer_list<const char *> extra = {}) const {
        bool tab = false;
        for (int c : cols) {
            if (tab) out += '\t';
            tab = true;
            if (c >= 0)
                put(out, c);
            else
                put_field(out, extra.begin()[-c - 1]);
        }
        out += '\n';
    }

  private:
    PGresult *r_;
    int row_;
};

struct FileClose {
    void operator()(FILE *f) const { std::fclose(f); }
};

// A batch of spooled values in input order (lines of the staging table's
// COPY text), with the keys they name.
class Batch {
  public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    struct Key {
        Stored state{false, false, 0};  // what the key holds as the next value arrives
        bool stored = false;            // it is in the table (written by an update)
        bool inserted = false;          // its first value was inserted before the rules ran
        std::size_t first = kNone;      // its first value
        std::size_t last = kNone;       // the value that changed it last
    };
    struct Value {
        std::string_view field[18];
        bool forecast, missing, revised;
        double value;
        std::size_t key;
        // The value log's columns from seq to comment, each with its tab.
        std::string_view log_part;
        // The key's current row, in its table's column order.
        void current(std::string &out, const std::string &id, const char *posting) const {
            static constexpr int kObserved[] = {1, 3, 4, 5, 6, 7, 8, 2, 10, 11, 12};
            static constexpr int kForecast[] = {1, 3, 4, 5, 6, 7, 17, 8, 2, 10, 11, 12};
            const std::span<const int> cols =
                forecast ? std::span<const int>(kForecast) : std::span<const int>(kObserved);
            for (int c : cols) {
                out += field[c];
                out += '\t';
            }
            out += id;
            out += '\t';
            out += field[14];
            out += '\t';
            out += posting;
            out += '\n';
        }
    };

    void clear() {
        text_.clear();
        values_.clear();
        keys_.clear();
        index_.clear();
    }
    void add(std::string_view line) { text_ += line; }
    // Reads the lines added; then the values and keys are there.
    void finish() {
        std::string_view rest = text_;
        while (!rest.empty()) {
            const std::size_t nl = rest.find('\n');
            const std::string_view line = rest.substr(0, nl);
            rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
            Value v{};
            std::size_t n = 0, start = 0;
            for (std::size_t p = 0; p <= line.size() && n < 18; ++p) {
                if (p < line.size() && line[p] != '\t') continue;
                v.field[n++] = line.substr(start, p - start);
                if (n == 16) v.log_part = line.substr(0, p + 1);
                start = p + 1;
            }
            v.forecast = v.field[16] == "t";
            v.missing = v.field[10] == "\\N";
            v.value = 0;
            if (!v.missing)
                std::from_chars(v.field[10].data(), v.field[10].data() + v.field[10].size(),
                                v.value);
            v.revised = v.field[12] == "1";
            // Station to duration value are one run of the line, as are the
            // forecast flag and the key's basis time.
            const char *from = v.field[1].data();
            std::string key(from,
                            static_cast<std::size_t>(v.field[8].data() + v.field[8].size() - from));
            key += '\n';
            key.append(v.field[16].data(),
                       static_cast<std::size_t>(v.field[17].data() + v.field[17].size() -
                                                v.field[16].data()));
            const auto [it, fresh] = index_.try_emplace(std::move(key), keys_.size());
            if (fresh) {
                keys_.emplace_back();
                keys_.back().first = values_.size();
            }
            v.key = it->second;
            values_.push_back(v);
        }
    }
    std::size_t size() const { return values_.size(); }
    const std::string &text() const { return text_; }
    Value &value(std::size_t i) { return values_[i]; }
    Key &key_of(const Value &v) { return keys_[v.key]; }
    const std::vector<Key> &keys() const { return keys_; }
    // What the key of the value at index i held when the batch began.
    void held(std::size_t i, const Stored &s) {
        if (i >= values_.size()) return;
        Key &k = keys_[values_[i].key];
        k.state = s;
        k.stored = true;
    }
    // A key whose first value was inserted: the key's text as finish()
    // builds it.
    void inserted(const std::string &key) {
        const auto it = index_.find(key);
        if (it != index_.end()) keys_[it->second].inserted = true;
    }
    // The index of the value of a sequence number.
    std::size_t index_of(int64_t seq) const {
        if (values_.empty()) return kNone;
        const int64_t first = std::strtoll(std::string(values_[0].field[0]).c_str(), nullptr, 10);
        return seq >= first ? static_cast<std::size_t>(seq - first) : kNone;
    }

  private:
    std::string text_;
    std::vector<Value> values_;
    std::vector<Key> keys_;
    std::unordered_map<std::string, std::size_t> index_;
};

class PgStore final : public Store {
  public:
    PgStore(const std::string &uri, Policy policy) : Store(policy), passwords_(passwords_of(uri)) {
        conn_.reset(PQconnectdb(uri.c_str()));
        if (!conn_) throw Error("out of memory");
        if (PQstatus(conn_.get()) != CONNECTION_OK)
            throw Error(hidden(PQerrorMessage(conn_.get())));
        exec(
            "SET TimeZone = 'UTC'; SET DateStyle = 'ISO'; SET extra_float_digits = 1; "
            "SET client_min_messages = warning; SET temp_buffers = '64MB'");
        prepare_schema();
        exec(
            "CREATE TEMP TABLE vyr_stage (seq bigint, station text COLLATE \"C\", "
            "obs_time timestamptz, pe text COLLATE \"C\", duration text COLLATE \"C\", "
            "type_source text COLLATE \"C\", extremum text COLLATE \"C\", "
            "probability text COLLATE \"C\", duration_value bigint, basis_time timestamptz, "
            "value double precision, qualifier text, revised smallint, message text, "
            "line bigint, comment text, forecast boolean, key_basis timestamptz); "
            "CREATE TEMP TABLE vyr_current AS SELECT * FROM forecast WITH NO DATA");
    }

    ~PgStore() override { rollback(); }

    void begin(const Product &product) override {
        product_ = product;
        totals_ = {};
        seq_ = 0;
        copy_.clear();
        spool_.reset(std::tmpfile());
        if (!spool_) throw Error(std::string("no temporary file: ") + std::strerror(errno));
    }

    // The value as a line of the staging table's COPY text: seq, the value
    // log's columns from station to comment, whether it is a forecast, and
    // the basis time of its key.
    void add(const Row &row) override {
        std::string &o = copy_;
        put_int(o, ++seq_);
        o += '\t';
        put_field(o, row.station);
        o += '\t';
        o += row.obs_time;
        o += '\t';
        put_field(o, row.pe);
        o += '\t';
        put_field(o, row.duration);
        o += '\t';
        put_field(o, row.type_source);
        o += '\t';
        put_field(o, row.extremum);
        o += '\t';
        put_field(o, row.probability);
        o += '\t';
        put_int(o, row.duration_value);
        o += '\t';
        put_text_or_null(o, row.basis_time);
        o += '\t';
        // The decoder's canonical decimal text reads as the same double.
        put_text_or_null(o, row.missing ? std::string_view() : row.value_text);
        o += '\t';
        put_text_or_null(o, row.qualifier);
        o += row.revised ? "\t1\t" : "\t0\t";
        put_field(o, row.message);
        o += '\t';
        put_int(o, row.line);
        o += '\t';
        put_text_or_null(o, row.comment);
        if (row.forecast()) {
            o += "\tt\t";
            o += basis_of(row, product_);
            o += '\n';
        } else {
            o += "\tf\t\\N\n";
        }
        ++totals_.values;
        if (o.size() >= kCopyChunk) spool();
    }

    Totals commit(long errors) override {
        spool();
        if (std::fflush(spool_.get()) != 0)
            throw Error(std::string("temporary file: ") + std::strerror(errno));
        totals_.errors = errors;
        for (int attempt = 0;; ++attempt) {
            try {
                post_spooled();
                spool_.reset();
                return totals_;
            } catch (const Retry &e) {
                abandon();
                if (attempt == kRetries) throw Error(e.what());
            }
        }
    }

    void rollback() noexcept override {
        spool_.reset();
        if (!conn_) return;
        if (copying_) {
            copying_ = false;
            PQputCopyEnd(conn_.get(), "posting abandoned");
            while (PGresult *r = PQgetResult(conn_.get())) PQclear(r);
        }
        abandon();
    }

    Totals replay() override {
        for (int attempt = 0;; ++attempt) {
            try {
                return rebuild();
            } catch (const Retry &e) {
                abandon();
                if (attempt == kRetries) throw Error(e.what());
            } catch (...) {
                abandon();
                throw;
            }
        }
    }

    bool usable() const override { return conn_ && PQstatus(conn_.get()) == CONNECTION_OK; }

  private:
    std::string hidden(std::string_view text) const {
        std::string s = one_line(text);
        for (const std::string &p : passwords_)
            for (std::size_t at; (at = s.find(p)) != std::string::npos;)
                s.replace(at, p.size(), "***");
        return s;
    }

    // A failure of the server: a serialization failure, a deadlock, or a
    // key that another poster inserted first is retried.
    [[noreturn]] void fail(PGresult *r) const {
        const char *state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        const char *primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const std::string why = hidden(primary != nullptr ? primary : PQerrorMessage(conn_.get()));
        if (state != nullptr &&
            (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0 ||
             (std::strcmp(state, "23505") == 0 && posting_)))
            throw Retry(why);
        throw Error(why);
    }

    Result check(PGresult *raw) const {
        Result r(raw);
        const ExecStatusType s = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && s != PGRES_COPY_IN) fail(raw);
        return r;
    }

    Result exec(const char *sql) const { return check(PQexec(conn_.get(), sql)); }
    Result exec(const std::string &sql) const { return exec(sql.c_str()); }
    Result exec(const std::string &sql, const std::vector<const char *> &params) const {
        return check(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(params.size()),
                                  nullptr, params.data(), nullptr, nullptr, 0));
    }

    // Rolls back what the server holds of a transaction; never throws.
    void abandon() noexcept {
        posting_ = false;
        if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK) return;
        if (PQtransactionStatus(conn_.get()) != PQTRANS_IDLE)
            PQclear(PQexec(conn_.get(), "ROLLBACK"));
    }

    void start_copy(const char *sql) {
        exec(sql);
        copying_ = true;
    }
    void send(std::string_view text) {
        if (!text.empty() &&
            PQputCopyData(conn_.get(), text.data(), static_cast<int>(text.size())) != 1)
            throw Error(hidden(PQerrorMessage(conn_.get())));
    }
    void end_copy() {
        copying_ = false;
        if (PQputCopyEnd(conn_.get(), nullptr) != 1)
            throw Error(hidden(PQerrorMessage(conn_.get())));
        Result failed;
        while (PGresult *r = PQgetResult(conn_.get())) {
            Result cur(r);
            if (PQresultStatus(r) != PGRES_COMMAND_OK && !failed) failed = std::move(cur);
        }
        if (failed) fail(failed.get());
    }
    // One COPY of the given rows.
    void copy_data(const std::string &sql, std::string_view text) {
        if (text.empty()) return;
        start_copy(sql.c_str());
        for (std::size_t at = 0; at < text.size(); at += kCopyChunk)
            send(text.substr(at, kCopyChunk));
        end_copy();
    }
    // The same, emptying the text.
    void copy_rows(const std::string &sql, std::string &text) {
        copy_data(sql, text);
        text.clear();
    }

    // A new database (none of the tables) gets the schema; any other must
    // carry this version of it. Nothing is written to one that is refused.
    void prepare_schema() {
        auto state = [&] {
            Result r = exec(
                "SELECT to_regclass('schema_info') IS NOT NULL, count(*) FROM pg_class c "
                "WHERE c.relnamespace = to_regnamespace(current_schema()) AND c.relname IN "
                "('schema_info', 'product', 'value_log', 'observed', 'forecast', "
                "'latest_observed')");
            return std::pair(PQgetvalue(r.get(), 0, 0)[0] == 't',
                             std::strtoll(PQgetvalue(r.get(), 0, 1), nullptr, 10));
        };
        auto [has_info, ours] = state();
        if (!has_info && ours == 0) {
            exec("BEGIN");
            try {
                exec("SELECT pg_advisory_xact_lock($1)", {kCreateLock});
                std::tie(has_info, ours) = state();
                if (!has_info && ours == 0) exec(kPgSchema);
                exec("COMMIT");
            } catch (...) {
                abandon();
                throw;
            }
            std::tie(has_info, ours) = state();
        }
        if (!has_info) throw Error("not a SHEF database of this program (no schema_info table)");
        Result v = exec("SELECT version FROM schema_info");
        const bool one = PQntuples(v.get()) == 1;
        const long long version = one ? std::strtoll(PQgetvalue(v.get(), 0, 0), nullptr, 10) : 0;
        if (!one || version != kSchemaVersion)
            throw Error("schema version " + (one ? std::to_string(version) : "unknown") +
                        ", this program writes version " + std::to_string(kSchemaVersion));
    }

    // Reads a fold's cursor a batch at a time; body gets each batch and
    // sends what it gathered before the next fetch.
    template <class F>
    void each_batch(const std::string &query, F body) {
        exec("DECLARE vyr_fold NO SCROLL CURSOR FOR " + query);
        for (;;) {
            Result r = exec(std::string("FETCH ") + kFetch + " FROM vyr_fold");
            if (PQntuples(r.get()) == 0) break;
            body(r.get());
        }
        exec("CLOSE vyr_fold");
    }

    void spool() {
        if (!copy_.empty() &&
            std::fwrite(copy_.data(), 1, copy_.size(), spool_.get()) != copy_.size())
            throw Error(std::string("temporary file: ") + std::strerror(errno));
        copy_.clear();
    }

    // The next batch of spooled lines; false at the end.
    bool read_batch(Batch &b) {
        b.clear();
        char *line = nullptr;
        std::size_t cap = 0, lines = 0;
        for (ssize_t n; lines < kBatch && (n = getline(&line, &cap, spool_.get())) > 0;)
            ++lines, b.add(std::string_view(line, static_cast<std::size_t>(n)));
        std::free(line);
        if (std::ferror(spool_.get())) throw Error("temporary file: read failed");
        b.finish();
        return b.size() > 0;
    }

    void post_spooled() {
        totals_.inserted = totals_.overwritten = totals_.kept = 0;
        std::rewind(spool_.get());
        exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
        posting_ = true;
        Result p = exec(
            "INSERT INTO product (name, product_time, posting_time) VALUES ($1, $2, $3) "
            "RETURNING product_id",
            {product_.name.c_str(), product_.dated ? product_.product_time : nullptr,
             product_.posting_time});
        const std::string id = PQgetvalue(p.get(), 0, 0);
        Batch b;
        while (read_batch(b)) post_batch(b, id);
        const std::string counts[] = {std::to_string(totals_.values),
                                      std::to_string(totals_.inserted),
                                      std::to_string(totals_.overwritten),
                                      std::to_string(totals_.kept), std::to_string(totals_.errors)};
        exec(
            "UPDATE product SET values_read = $1, inserted = $2, overwritten = $3, kept = $4, "
            "errors = $5 WHERE product_id = $6",
            {counts[0].c_str(), counts[1].c_str(), counts[2].c_str(), counts[3].c_str(),
             counts[4].c_str(), id.c_str()});
        exec("COMMIT");
        posting_ = false;
    }

    // One batch: what its keys hold, the rules in input order, the outcome.
    void post_batch(Batch &b, const std::string &id) {
        exec("TRUNCATE vyr_stage");
        copy_data("COPY vyr_stage FROM STDIN", b.text());
        // The keys of a first posting are mostly new: their first values go
        // in at once, and only the keys found stored are read. Once the
        // keys are mostly stored (a repeat), they are read first.
        const bool insert_first = stored_lately_ <= 0;
        if (insert_first) {
            for (bool forecast : {false, true}) {
                Result r = exec(insert_new_sql(forecast), {id.c_str(), product_.posting_time});
                std::string key;
                for (int i = 0, n = PQntuples(r.get()); i < n; ++i) {
                    const Fields f(r.get(), i);
                    key.clear();
                    for (int c : {0, 8, 1, 2, 3, 4, 5, 6}) {
                        if (c != 0) key += '\t';
                        f.put(key, c);
                    }
                    key += forecast ? "\nt\t" : "\nf\t\\N";
                    if (forecast) f.put(key, 7);
                    b.inserted(key);
                }
            }
        }
        // The keys stored, locked as they are read: a poster that would
        // change one waits for this one to commit, rather than both holding
        // a shared lock that neither can then raise.
        std::string firsts;
        if (insert_first) {
            for (const Batch::Key &k : b.keys())
                if (!k.inserted) {
                    firsts += firsts.empty() ? "{" : ",";
                    firsts += b.value(k.first).field[0];
                }
            if (!firsts.empty()) firsts += '}';
        }
        if (!insert_first || !firsts.empty()) {
            const std::string only = insert_first ? " AND s.seq = ANY ($1::bigint[])" : "";
            Result held = exec(
                "SELECT s.seq, h.value IS NULL, h.value FROM vyr_stage s "
                "JOIN LATERAL (SELECT c.value FROM observed c WHERE NOT s.forecast AND " +
                    key_match("c", "s", false) + " FOR UPDATE) h ON true WHERE true" + only +
                    " UNION ALL SELECT s.seq, h.value IS NULL, h.value FROM vyr_stage s "
                    "JOIN LATERAL (SELECT c.value FROM forecast c WHERE s.forecast AND " +
                    key_match("c", "s", true, "key_basis") + " FOR UPDATE) h ON true WHERE true" +
                    only,
                insert_first ? std::vector<const char *>{firsts.c_str()}
                             : std::vector<const char *>{});
            for (int i = 0, n = PQntuples(held.get()); i < n; ++i) {
                const Fields f(held.get(), i);
                b.held(b.index_of(std::strtoll(f.text(0), nullptr, 10)),
                       Stored{true, f.flag(1), f.flag(1) ? 0 : f.number(2)});
            }
        }
        std::size_t stored = 0;
        for (const Batch::Key &k : b.keys()) stored += k.stored ? 1 : 0;
        stored_lately_ = 2 * stored > b.keys().size() ? 1 : -1;

        std::string log, fresh[2], changed[2];
        for (std::size_t i = 0; i < b.size(); ++i) {
            Batch::Value &v = b.value(i);
            Batch::Key &k = b.key_of(v);
            Action a = Action::Insert;
            if (k.inserted && i == k.first) {
                // Posted already: a key not stored takes its first value.
                k.state = {true, v.missing, v.value};
                k.stored = true;
            } else {
                a = decide(policy_, k.state, v.missing, v.value, v.revised);
                if (a != Action::Keep) {
                    k.state = {true, v.missing, v.value};
                    k.last = i;
                }
            }
            count(a);
            log += id;
            log += '\t';
            log += v.log_part;
            log += action_name(a);
            log += '\n';
        }
        for (const Batch::Key &k : b.keys()) {
            if (k.last == Batch::kNone) continue;
            const Batch::Value &v = b.value(k.last);
            std::string &out = (k.stored ? changed : fresh)[v.forecast ? 1 : 0];
            v.current(out, id, product_.posting_time);
        }
        copy_rows("COPY value_log FROM STDIN", log);
        copy_rows("COPY observed FROM STDIN", fresh[0]);
        copy_rows("COPY forecast FROM STDIN", fresh[1]);
        for (bool forecast : {false, true}) {
            std::string &text = changed[forecast ? 1 : 0];
            if (text.empty()) continue;
            const char *table = forecast ? "forecast" : "observed";
            exec("TRUNCATE vyr_current");
            copy_rows(forecast ? "COPY vyr_current FROM STDIN"
                               : "COPY vyr_current (station, pe, duration, type_source, extremum, "
                                 "probability, duration_value, obs_time, value, qualifier, "
                                 "revised, product_id, line, posting_time) FROM STDIN",
                      text);
            exec(std::string("UPDATE ") + table +
                 " c SET value = u.value, qualifier = u.qualifier, revised = u.revised, "
                 "product_id = u.product_id, line = u.line, posting_time = u.posting_time "
                 "FROM vyr_current u WHERE " +
                 key_match("c", "u", forecast));
        }
    }

    // Inserts the first value of every key of the batch not stored (in key
    // order, which keeps the index's pages at hand); returns the keys
    // inserted with times as the spool writes them. A key that another poster inserted meanwhile is
    // a serialization failure at this isolation level.
    static std::string insert_new_sql(bool forecast) {
        const char *utc = "'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'";
        const char *table = forecast ? "forecast" : "observed";
        return std::string("INSERT INTO ") + table + " SELECT " +
               key_list("s", forecast, "s.key_basis") +
               ", s.value, s.qualifier, s.revised, $1, s.line, $2 FROM vyr_stage s WHERE " +
               (forecast ? "" : "NOT ") + "s.forecast ORDER BY " +
               key_list("s", forecast, "s.key_basis") +
               ", s.seq ON CONFLICT DO NOTHING RETURNING station, pe, duration, "
               "type_source, extremum, probability, duration_value, " +
               (forecast ? std::string("to_char(basis_time AT TIME ZONE 'UTC', ") + utc + ")"
                         : std::string("NULL")) +
               ", to_char(obs_time AT TIME ZONE 'UTC', " + utc + ")";
    }

    Totals rebuild() {
        totals_ = {};
        exec("BEGIN ISOLATION LEVEL REPEATABLE READ");
        // Locks before the first query, so that the rebuild sees every
        // product committed before it and none posts while it runs.
        exec("LOCK TABLE product, value_log IN SHARE MODE");
        exec("LOCK TABLE observed, forecast IN EXCLUSIVE MODE");
        exec("SET LOCAL work_mem = '128MB'");
        exec("DELETE FROM observed");
        exec("DELETE FROM forecast");
        const std::string basis = "coalesce(v.basis_time, p.product_time, p.posting_time)";
        for (bool forecast : {false, true}) {
            const std::string key = key_list("v", forecast, basis);
            const std::string q =
                "SELECT row_number() OVER (PARTITION BY " + key +
                " ORDER BY v.product_id, v.seq) = 1, v.station, v.pe, v.duration, "
                "v.type_source, v.extremum, v.probability, " +
                basis +
                ", v.duration_value, v.obs_time, v.value, v.qualifier, v.revised, v.product_id, "
                "v.line, p.posting_time FROM value_log v JOIN product p ON p.product_id = "
                "v.product_id WHERE " +
                (forecast ? "" : "NOT ") + "left(v.type_source, 1) IN ('F', 'C') ORDER BY " + key +
                ", v.product_id, v.seq";
            // Columns: 0 first, 1 station, 2 pe, 3 duration, 4 type_source,
            // 5 extremum, 6 probability, 7 basis, 8 duration_value,
            // 9 obs_time, 10 value, 11 qualifier, 12 revised, 13 product_id,
            // 14 line, 15 posting_time.
            Fold fold(policy_);
            std::string rows, last;
            const std::string into =
                std::string("COPY ") + (forecast ? "forecast" : "observed") + " FROM STDIN";
            auto end_key = [&] {
                if (fold.changed()) rows += last;
                last.clear();
            };
            each_batch(q, [&](PGresult *r) {
                for (int i = 0, n = PQntuples(r); i < n; ++i) {
                    const Fields f(r, i);
                    const bool first = f.flag(0);
                    if (first) end_key();
                    const bool missing = f.null(10);
                    const Action a = fold.next(first, Stored{false, false, 0}, missing,
                                               missing ? 0 : f.number(10), f.text(12)[0] == '1');
                    ++totals_.values;
                    count(a);
                    if (a == Action::Keep) continue;
                    last.clear();
                    if (forecast)
                        f.line(last, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
                    else
                        f.line(last, {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15});
                }
                copy_rows(into, rows);
            });
            end_key();
            copy_rows(into, rows);
        }
        exec("COMMIT");
        return totals_;
    }

    void count(Action a) {
        switch (a) {
            case Action::Insert: ++totals_.inserted; break;
            case Action::Overwrite: ++totals_.overwritten; break;
            case Action::Keep: ++totals_.kept; break;
        }
    }

    std::vector<std::string> passwords_;
    std::unique_ptr<PGconn, ConnFinish> conn_;
    Product product_{};
    Totals totals_;
    int64_t seq_ = 0;
    std::string copy_;
    std::unique_ptr<FILE, FileClose> spool_;
    int stored_lately_ = 0;  // the last batch's keys were mostly stored (+) or new (-)
    bool copying_ = false;
    bool posting_ = false;  // inside the posting transaction
};

}  // namespace

std::unique_ptr<Store> open_postgres(const std::string &uri, Policy policy) {
    return std::make_unique<PgStore>(uri, policy);
}

}  // namespace vyr::store
