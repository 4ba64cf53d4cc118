// What the SHEF time-series tests share: decoding a text with the reference
// date pinned, and each record in one short line.
#ifndef VYR_SHEF_SERIES_UTIL_H
#define VYR_SHEF_SERIES_UTIL_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base_int.h"
#include "shef_series.h"

namespace vyr::test {

// The reference date of the standard's worked examples.
inline constexpr vyr::series::RefDate kRef{2026, 12, 8};

// "ST1 2024-07-15T13:00:00Z TAIRZZZ 70", then only what is not the
// default: " q=E", " dc=<time>", " rev", " dv=1006" (duration V), " #text".
inline std::string row_text(const vyr::series::Record &r) {
    char t[24];
    vyr::series::format_utc(r.obs_time, t);
    const vyr::series::Code &c = *r.code;
    std::string s = std::string(r.station) + " " + t + " " + std::string(c.pe, 2) + c.duration +
                    std::string(c.ts, 2) + c.extremum + c.probability + " " +
                    (r.missing ? "M" : std::string(r.value));
    if (r.qualifier != 0) s += std::string(" q=") + r.qualifier;
    if (r.has_creation) {
        vyr::series::format_utc(r.creation_time, t);
        s += std::string(" dc=") + t;
    }
    if (r.revised) s += " rev";
    if (c.duration == 'V') s += " dv=" + std::to_string(r.duration_value);
    if (!r.comment.empty()) s += " #" + std::string(r.comment);
    return s;
}

struct Decoded {
    std::vector<std::string> rows;   // row_text of each record
    std::vector<long> lines;         // input line of each record
    std::vector<std::string> notes;  // "E3: text" or "W3: text"
    vyr::series::Counts counts;
    std::string all() const {  // the rows joined by "|"
        std::string s;
        for (const std::string &r : rows) s += (s.empty() ? "" : "|") + r;
        return s;
    }
};

// Decodes text (lines separated by "\n") with the built-in tables.
inline Decoded decode_text(std::string_view text, vyr::series::RefDate ref = kRef,
                           const vyr::series::Parm &parm = vyr::series::Parm::builtin()) {
    Decoded d;
    vyr::series::Decoder dec(
        parm, ref,
        [&](const vyr::series::Record &r) {
            d.rows.push_back(row_text(r));
            d.lines.push_back(r.line);
        },
        [&](vyr::series::Severity s, long line, std::string_view msg) {
            d.notes.push_back((s == vyr::series::Severity::Error ? "E" : "W") +
                              std::to_string(line) + ": " + std::string(msg));
        });
    long n = 0;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        dec.line(text.substr(0, nl), ++n);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    }
    dec.finish();
    d.counts = dec.counts();
    return d;
}

// Decodes a stream line by line from the suite's own line reader: the lines
// the stream reader (decode_stream) must find, with the same line numbers.
inline void decode_by_lines(FILE *in, vyr::series::Decoder &decoder) {
    vyr::BlockLineSource src(in);
    if (src.peek().substr(0, 3) == "\xEF\xBB\xBF") src.consume(3);
    vyr::WholeLines lines(src, vyr::series::kLineMax, true);
    vyr::LineView piece;
    long number = 0;
    int crs = 0;
    while (lines.next(piece)) {
        if (crs > 0 && piece.text.empty() && !piece.too_long) {
            if (piece.end == '\n')
                crs = 0;
            else if (crs == 1)
                crs = 2;
            else
                ++number;
            continue;
        }
        if (crs == 2) ++number;
        crs = piece.end == '\r' ? 1 : 0;
        if (piece.too_long)
            decoder.skipped_line(++number);
        else
            decoder.line(piece.text, ++number);
    }
    decoder.finish();
}

}  // namespace vyr::test

#endif  // VYR_SHEF_SERIES_UTIL_H
