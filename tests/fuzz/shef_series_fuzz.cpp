// Any bytes through the SHEF time-series decoder and the CSV writer. Every
// record must be placed in a four-digit year, carry an identifier of 3 to 8
// characters, a well-formed code, value and qualifier, and the CSV must hold
// the header and one line per record.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "shef_series.h"

namespace {

bool code_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

void check(const vyr::series::Record &r) {
    static const int64_t first = vyr::series::days_from_civil(1, 1, 1) * 86400;
    static const int64_t last = vyr::series::days_from_civil(10000, 1, 1) * 86400;
    if (r.obs_time < first || r.obs_time >= last) std::abort();
    if (r.has_creation && (r.creation_time < first || r.creation_time >= last)) std::abort();
    if (r.station.size() < 3 || r.station.size() > 8) std::abort();
    // A value with an unknown qualifier is lost, never written.
    if (r.qualifier != 0 && !vyr::series::Parm::builtin().qualifier_valid(r.qualifier))
        std::abort();
    const vyr::series::Code &c = *r.code;
    const char parts[] = {c.pe[0], c.pe[1],    c.duration,   c.ts[0],
                          c.ts[1], c.extremum, c.probability};
    for (char p : parts)
        if (!code_char(p)) std::abort();
    if (r.missing != r.value.empty()) std::abort();
    // English value: optional sign, digits, at most four places.
    const std::string_view v = r.value;
    const std::size_t dot = v.find('.');
    if (v.find_first_not_of("-0123456789.") != std::string_view::npos) std::abort();
    if (dot != std::string_view::npos && (v.size() - dot - 1 > 4 || v.back() == '0')) std::abort();
    if (r.line < 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    // The first byte moves the reference date across a year.
    const vyr::series::RefDate ref{2026, 1 + data[0] % 12, 1 + data[0] / 12 % 28};
    FILE *in = fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "r");
    if (in == nullptr) return 0;
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    long records = 0;
    {
        vyr::series::CsvWriter csv(out);
        csv.header();
        vyr::series::Decoder decoder(vyr::series::Parm::builtin(), ref,
                                     [&](const vyr::series::Record &r) {
                                         check(r);
                                         csv.row(r);
                                         ++records;
                                     },
                                     {});
        vyr::series::decode_stream(in, decoder);
        if (decoder.counts().values != records) std::abort();
        csv.flush();
    }
    std::fclose(in);
    std::fclose(out);
    // Header plus one line per record: count line ends outside quotes.
    long lines = 0;
    bool quoted = false;
    for (size_t i = 0; i < len; ++i) {
        if (buf[i] == '"') quoted = !quoted;
        if (buf[i] == '\n' && !quoted) ++lines;
    }
    if (quoted || lines != records + 1) std::abort();
    std::free(buf);
    return 0;
}
