// sqlite_statement.h - what the SQLite backend wraps around the library:
// a prepared statement finalized with its owner and bound without copies,
// the connection's closer, and the errors that leave a file unusable.
#ifndef VYR_SQLITE_STATEMENT_H
#define VYR_SQLITE_STATEMENT_H

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "store.h"

namespace vyr::store::sqlite {

[[noreturn]] inline void fail(sqlite3 *db) { throw Error(sqlite3_errmsg(db)); }

// A prepared statement, finalized with its owner. Texts are bound without
// a copy: every parameter is bound again before each step.
class Statement {
  public:
    Statement() = default;
    Statement(sqlite3 *db, const char *sql) : db_(db) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr) != SQLITE_OK)
            fail(db);
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(Statement &&o) noexcept : db_(o.db_), s_(std::exchange(o.s_, nullptr)) {}
    Statement &operator=(Statement &&o) noexcept {
        std::swap(db_, o.db_);
        std::swap(s_, o.s_);
        return *this;
    }

    void text(int i, std::string_view v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
    }
    // An empty text binds null.
    void text_or_null(int i, std::string_view v) {
        if (v.empty())
            sqlite3_bind_null(s_, i);
        else
            text(i, v);
    }
    void integer(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
    void real_or_null(int i, bool null, double v) {
        if (null)
            sqlite3_bind_null(s_, i);
        else
            sqlite3_bind_double(s_, i, v);
    }
    // True for a row, false when done; resets the statement when done.
    bool step() {
        const int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW) return true;
        sqlite3_reset(s_);
        if (rc != SQLITE_DONE) fail_with(rc);
        return false;
    }
    void run() {
        while (step()) {
        }
    }
    // Runs a statement that returns no row; false when it failed with the
    // given error (its changes undone), which is not thrown.
    bool run_unless(int error) {
        const int rc = sqlite3_step(s_);
        sqlite3_reset(s_);
        if (rc == SQLITE_DONE) return true;
        if (rc == error) return false;
        fail_with(rc);
    }
    void reset() { sqlite3_reset(s_); }
    sqlite3_stmt *get() const { return s_; }
    std::string_view column_text(int i) const {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s_, i));
        return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, i)))
                 : std::string_view();
    }
    bool column_null(int i) const { return sqlite3_column_type(s_, i) == SQLITE_NULL; }

  private:
    [[noreturn]] void fail_with(int rc) {
        // The statement's reset reports the error of its step.
        (void)rc;
        fail(db_);
    }
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *s_ = nullptr;
};

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};

// Bounded copy of a column's text into a fixed field of a row.
template <std::size_t N>
void field(char (&out)[N], std::string_view v) {
    const std::size_t n = std::min(v.size(), N - 1);
    if (n > 0) std::memcpy(out, v.data(), n);  // a null column has no text at all
    out[n] = '\0';
}

inline bool fatal(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_CANTOPEN;
}

}  // namespace vyr::store::sqlite

#endif  // VYR_SQLITE_STATEMENT_H
