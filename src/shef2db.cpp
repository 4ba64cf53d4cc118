// shef2db - SHEF products posted into a database: every decoded value into
// the value log, and the current value of each key into observed or
// forecast under the standard's repetition and revision rules (or the
// site's duplicate policy).
//
// Start-up is that of the other programs: resources, a help answer, the
// banner, the SHEFPARM tables (a site's own in file_path, else the
// built-in ones). The database is the "database" resource (a SQLite file
// or a postgresql:// URI), else the site's "shef_db" convention, else
// shef.db in the working directory. Every positional name is one product,
// posted in the order given; with none, the file selection chooses one.
// Each product is one transaction. Years are inferred against the input's
// date, else the "hour" resource, else "vyrcurtime", else the clock.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "shef2db_keys.h"
#include "shef_series.h"
#include "store.h"
#include "vyr.h"
#include "vyr_int.h"
#include "vyrresrc.h"

namespace {

using vyr::series::Parm;
using vyr::series::RefDate;
using vyr::series::Severity;
namespace store = vyr::store;

constexpr std::size_t kNameBuffer = 160;  // a file name and its terminator

void db_failure(const std::string &shown, const char *why) {
    MESS_print(M_ERROR, "Unable to post to database:%s (%s)\n", shown.c_str(), why);
}

// The database: the "database" resource, else the file that the site's
// "shef_db" convention names, else shef.db here.
std::string database_name() {
    const char *own = RES_get("database");
    if (own != nullptr && *own != '\0') return own;
    if (FILE_set_name("shef_db") == 1) {
        Date undated;
        for (int32_t *f : {&undated.year, &undated.month, &undated.day, &undated.jday,
                           &undated.wday, &undated.hour, &undated.min, &undated.sec})
            *f = VYR_MISSING;
        char out[kNameBuffer] = "";
        if (FILE_set_date(&undated, out) >= 0 && out[0] != '\0') return out;
    }
    return "shef.db";
}

bool replay_asked() {
    const char *v = RES_get("replay");
    if (v == nullptr) return false;
    int32_t on = 0;
    RES_conv_data(*v != '\0' ? v : nullptr, &on, CV_bool);
    return on == 1;
}

bool is_set(int32_t field) { return field != VYR_MISSING; }

// The date that years given without a century or without a year are
// inferred against: the clock, or "vyrcurtime" (digits YYYY[MM[DD...]],
// optionally after "#"), with the fields that the "hour" resource fixes,
// and over them the fields of the input's own date.
RefDate reference_date(const Date &input) {
    const vyr::series::Civil now = vyr::series::civil_of(vyr::clock_now());
    RefDate r{now.year, now.month, now.day};
    const char *cur = std::getenv("vyrcurtime");
    if (cur != nullptr) {
        if (*cur == '#') ++cur;
        std::size_t n = 0;
        while (cur[n] >= '0' && cur[n] <= '9') ++n;
        auto field = [&](std::size_t pos, std::size_t len) {
            int v = 0;
            for (std::size_t i = pos; i < pos + len; ++i) v = v * 10 + (cur[i] - '0');
            return v;
        };
        if (n >= 4) r = RefDate{field(0, 4), 1, 1};
        if (n >= 6) r.month = field(4, 2);
        if (n >= 8) r.day = field(6, 2);
    }
    for (const Date *d : {&vyr::reference_time(), &input}) {
        if (d->year >= 0 && is_set(d->year)) r.year = d->year;
        if (d->month >= 1 && d->month <= 12) r.month = d->month;
        if (d->day >= 1) r.day = d->day;
    }
    if (r.month < 1 || r.month > 12) r.month = 1;
    const int last = vyr::series::days_in_month(r.year, r.month);
    if (r.day < 1 || r.day > last) r.day = r.day < 1 ? 1 : last;
    return r;
}

// The input's date as a time: the fields it gives, the least value for
// the others. False for an undated input.
bool product_time(const Date &d, char *out) {
    if (!is_set(d.year) || d.year < 1 || d.year > 9999) return false;
    auto within = [](int32_t v, int lo, int hi, int fallback) {
        return is_set(v) && v >= lo && v <= hi ? v : fallback;
    };
    vyr::series::Civil t{d.year,
                         within(d.month, 1, 12, 1),
                         1,
                         within(d.hour, 0, 23, 0),
                         within(d.min, 0, 59, 0),
                         within(d.sec, 0, 59, 0)};
    t.day = within(d.day, 1, vyr::series::days_in_month(t.year, t.month), 1);
    vyr::series::format_utc(vyr::series::seconds_of(t), out);
    return true;
}

// The parameter tables: a site's SHEFPARM in the file_path directory when
// there is one, else the built-in copy.
Parm load_parm() {
    char path[kNameBuffer];
    if (FILE_add_path(RES_get("file_path"), "SHEFPARM", path) == nullptr || !FILE_exist(path) ||
        FILE_is_stdio(path) || FILE_is_dir(path))
        return Parm::builtin();
    MESS_print(M_MESS, "SHEFPARM: %s\n", path);
    FILE *f = FILE_open(path, "r");
    std::string text;
    if (f != nullptr) {
        char buf[8192];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        if (!vyr::close_opened(f, path)) f = nullptr;  // a read that failed
    }
    if (f == nullptr) {
        MESS_print(M_ERROR, "Unable to read file:%s\n", path);
        VYR_exit(VYR_NO_INPUT);
    }
    return Parm::parse(text, [&](int line, std::string_view why) {
        MESS_print(M_ERROR, "%s line %d: %.*s\n", path, line, static_cast<int>(why.size()),
                   why.data());
    });
}

// An input opened by FILE_open, closed on every way out.
class Input {
  public:
    explicit Input(std::string name) : name_(std::move(name)), f_(FILE_open(name_.c_str(), "r")) {}
    ~Input() {
        if (f_ != nullptr) vyr::close_opened(f_, name_.c_str(), false);
    }
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;
    FILE *get() const { return f_; }
    // Closes it; false when reading failed or its command did.
    bool close() {
        FILE *f = std::exchange(f_, nullptr);
        return f != nullptr && vyr::close_opened(f, name_.c_str());
    }

  private:
    std::string name_;
    FILE *f_;
};

class Poster {
  public:
    Poster(store::Store &db, std::string shown_db, const Parm &parm)
        : db_(db), shown_db_(std::move(shown_db)), parm_(parm) {}

    // Posts one product; its exit status.
    int post(const std::string &name, const Date &date) {
        const std::string shown = FILE_is_stdio(name.c_str()) ? "-" : name;
        Input in(name);
        if (in.get() == nullptr) {
            MESS_print(M_ERROR, "Unable to open file:%s\n", shown.c_str());
            return VYR_NO_INPUT;
        }
        store::Product p{};
        p.name = shown;
        p.dated = product_time(date, p.product_time);
        vyr::series::format_utc(vyr::clock_now(), p.posting_time);
        long shown_errors = 0;
        const long limit = parm_.error_limit();
        auto on_note = [&](Severity s, long line, std::string_view text) {
            if (s == Severity::Error && ++shown_errors > limit) {
                if (shown_errors == limit + 1)
                    MESS_print(M_ERROR,
                               "Error limit of %ld reached: later errors are only counted\n",
                               limit);
                return;
            }
            MESS_print(s == Severity::Error ? M_ERROR : M_WARN, "Line %ld: %.*s\n", line,
                       static_cast<int>(text.size()), text.data());
        };
        try {
            db_.begin(p);
            store::RowMaker maker;
            store::Row row{};
            vyr::series::Decoder decoder(
                parm_, reference_date(date),
                [&](const vyr::series::Record &r) {
                    maker.make(r, row);
                    db_.add(row);
                },
                on_note);
            bool read_ok = false;
            try {
                read_ok = vyr::series::decode_stream(in.get(), decoder);
            } catch (const std::bad_alloc &) {
                // A line too long to hold: the input cannot be read.
            }
            read_ok = in.close() && read_ok;
            if (!read_ok) {
                db_.rollback();
                MESS_print(M_ERROR, "Unable to read file:%s\n", shown.c_str());
                return VYR_NO_INPUT;
            }
            const store::Totals t = db_.commit(decoder.counts().errors);
            MESS_print(M_MESS,
                       "%s: values: %ld, inserted: %ld, overwritten: %ld, kept: %ld, errors: %ld\n",
                       shown.c_str(), t.values, t.inserted, t.overwritten, t.kept, t.errors);
            return VYR_OK;
        } catch (const store::Error &e) {
            db_.rollback();
            db_failure(shown_db_, e.what());
            return VYR_DB_FAILED;
        }
    }

  private:
    store::Store &db_;
    std::string shown_db_;
    const Parm &parm_;
};

std::vector<std::string> positional_names() {
    int n = 0;
    char **items = nullptr;
    RES_getvals("filename", &n, &items);
    std::vector<std::string> names(items, items + n);
    free_parsed_array(n, items);
    return names;
}

}  // namespace

int main(int argc, char **argv) {
    RES_init(argc, argv, shef2db_res_key, shef2db_res_pos);
    vyr::answer_help("posts SHEF data into a database", shef2db_res_key, shef2db_res_pos);
    MESS_print_prog("SHEF DATA POSTING");
    const Parm parm = load_parm();

    const std::string db_name = database_name();
    const std::string shown_db = store::shown_name(db_name);
    store::Policy policy = store::Policy::Standard;
    if (const char *dup = RES_get("shef_duplicate");
        dup != nullptr && !store::parse_policy(dup, policy)) {
        const std::string why = std::string("unknown duplicate policy: ") + dup;
        db_failure(shown_db, why.c_str());
        return VYR_DB_FAILED;
    }
    MESS_print(M_OUT1, "Database: %s\n", shown_db.c_str());
    if (!store::is_uri(db_name) && !FILE_exist(db_name.c_str())) {
        // A new database file gets its missing directories, as any file the
        // suite writes.
        std::string dirs = db_name;
        FILE_make_dir(dirs.data(), 1);
    }
    std::unique_ptr<store::Store> db;
    try {
        db = store::open(db_name, policy);
    } catch (const store::Error &e) {
        db_failure(shown_db, e.what());
        return VYR_DB_FAILED;
    }

    const bool replay = replay_asked();
    if (replay) {
        try {
            const store::Totals t = db->replay();
            MESS_print(
                M_MESS,
                "Replayed under %s: values: %ld, inserted: %ld, overwritten: %ld, kept: %ld\n",
                store::policy_name(policy), t.values, t.inserted, t.overwritten, t.kept);
        } catch (const store::Error &e) {
            db_failure(shown_db, e.what());
            return VYR_DB_FAILED;
        }
    }

    const std::vector<std::string> names = positional_names();
    if (replay && names.empty()) return VYR_OK;
    FILE_set_name("shef_dat");
    if (const char *own = RES_get("in_file")) FILE_set_name(own);
    Poster poster(*db, shown_db, parm);
    int status = VYR_OK;
    const std::size_t products = names.empty() ? 1 : names.size();
    for (std::size_t i = 0; i < products; ++i) {
        char file[kNameBuffer] = "";
        Date date;
        if (i == 0) {
            // The first name, or none: the file selection decides ("list"
            // lists, a name too long ends the run).
            FILE_get_file("Enter the SHEF filename: ", file);
        } else if (FILE_set_file(names[i].c_str(), file) != 0) {
            MESS_print(M_ERROR, "Unable to open file:%s\n", names[i].c_str());
            status = std::max(status, int{VYR_NO_INPUT});
            continue;
        }
        FILE_get_date(&date);
        // A database failure outranks an input that could not be read.
        const int s = poster.post(file, date);
        status = std::max(status, s);
        if (s == VYR_DB_FAILED && !db->usable()) break;
    }
    return status;
}
