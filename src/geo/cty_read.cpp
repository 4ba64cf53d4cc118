// cty_read.cpp - the open station database and the reading of its records.
//
// Records are read as a stream of fields, so a record may run over lines.
// Each field is one white-space separated word; a word longer than its
// field is cut, and the next field starts with the next word, so one long
// name cannot shift every field after it. A number field takes the number
// at the start of its word and leaves the rest for the next field (scanf's
// way, which also reads "39.86-104.67" as two numbers); a word that is no
// number ends the record and begins the next one.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "geo_int.h"
#include "vyrcty.h"
#include "vyrdom.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace {

constexpr std::size_t kWordMax = 256;  // characters kept of one word
constexpr std::size_t kFlagsMax = 4;   // characters of a flags word
constexpr float kHighestElevation = 9000.0f;
constexpr float kNoElevation = -9999.0f;

struct State {
    FILE *stream = nullptr;  // the open database, or none
    std::string name;        // its name, for closing it the way it was opened
    int file_type = 0;       // the type code given at opening
    int cty_fd = -1;         // its descriptor, -1 when none
    std::string pending;     // the unused rest of a word, first in the next field
    bool has_pending = false;
};
State g;

void close_database() {
    if (g.stream != nullptr) vyr::close_opened(g.stream, g.name.c_str());
    g = State{};
}

// The next word of the database, or false at the end of its input.
bool next_word(std::string &word) {
    if (g.has_pending) {
        word.swap(g.pending);
        g.pending.clear();
        g.has_pending = false;
        return true;
    }
    int c;
    while ((c = std::getc(g.stream)) != EOF && vyr::is_space(c)) {
    }
    if (c == EOF) return false;
    word.clear();
    do {
        if (word.size() < kWordMax) word.push_back(static_cast<char>(c));
    } while ((c = std::getc(g.stream)) != EOF && !vyr::is_space(c));
    return true;
}

void keep_for_next(std::string_view rest) {
    if (rest.empty()) return;
    g.pending.assign(rest);
    g.has_pending = true;
}

// Reads one number field; false (the word kept for the next record) when
// its word does not begin with a number.
template <class T>
bool number_field(const std::string &word, T &out) {
    std::size_t used;
    if constexpr (std::is_same_v<T, float>)
        used = vyr::read_decimal(word, out);
    else
        used = vyr::read_integer(word, out);
    keep_for_next(std::string_view(word).substr(used));
    return used > 0;
}

// The ten fields of one record into c: the number of fields read, -1 when
// the input ended before the first.
int read_record(CTY_data &c) {
    c.num = 0;
    std::string word, flags;
    char *texts[] = {c.name, c.state, c.region, c.id};
    const std::size_t caps[] = {sizeof c.name, sizeof c.state, sizeof c.region, sizeof c.id};
    int n = 0;
    for (int i = 0; i < 4; ++i, ++n) {
        if (!next_word(word)) return n == 0 ? -1 : n;
        vyr::copy_text(texts[i], caps[i], word, vyr::Overflow::Cut);
    }
    if (next_word(word)) {
        flags = word.substr(0, kFlagsMax);
        ++n;
    }
    c.mos = ' ';
    c.ua = ' ';
    if (n == 5) {
        // "*3*": the first star marks a MOS station, the digit is the
        // priority, the star after it an upper-air station.
        std::size_t digit = 0;
        if (flags[0] == '*') {
            c.mos = '*';
            digit = 1;
        }
        c.prior = (digit < flags.size() ? flags[digit] : '\0') - '0';
        if (digit + 1 < flags.size() && flags[digit + 1] == '*') c.ua = '*';
    }
    if (n < 5) return n;
    float *reals[] = {&c.lat, &c.lon, &c.el};
    for (float *r : reals) {
        if (!next_word(word) || !number_field(word, *r)) return n;
        ++n;
    }
    if (c.el > kHighestElevation) c.el = kNoElevation;
    int *ints[] = {&c.wmo, &c.num};
    for (int *v : ints) {
        if (!next_word(word) || !number_field(word, *v)) return n;
        ++n;
    }
    return n;
}

bool is_open(int city_fd) { return g.stream != nullptr && city_fd == g.cty_fd; }

}  // namespace

namespace vyr {

void reset_stations() { close_database(); }

}  // namespace vyr

int CTY_open(const char *filename, int f_access, int f_type) {
    if (filename == nullptr || (f_access != 0 && f_access != 1)) return -1;
    return vyr::guarded(-1, [&] {
        close_database();
        FILE *f = FILE_open(filename, f_access == 0 ? "r" : "w");
        if (f == nullptr) return -1;
        g.stream = f;
        g.name = filename;
        g.file_type = f_type;
        g.cty_fd = fileno(f);
        return g.cty_fd;
    });
}

int CTY_rewind(int city_fd) {
    if (!is_open(city_fd)) return -1;
    std::rewind(g.stream);
    g.pending.clear();
    g.has_pending = false;
    return 0;
}

int CTY_close(int city_fd) {
    if (!is_open(city_fd)) return -1;
    close_database();
    return 0;
}

int CTY_read(int city_fd, CTY_data *city) {
    if (city == nullptr || !is_open(city_fd)) return -1;
    return vyr::guarded(-1, [&] { return read_record(*city); });
}
