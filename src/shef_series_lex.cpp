// shef_series_lex.cpp - the lines of SHEF text: read from a stream, cleaned
// of internal comments and blanks, split into words, and told apart as
// message starts, continuations, block ends and other lines.
#include <string>
#include <vector>

#include "shef_series_impl.h"
#include "vyr_int.h"

namespace vyr::series::detail {

void split_words(std::string_view f, std::vector<Word> &out) {
    out.clear();
    std::size_t i = 0;
    const std::size_t n = f.size();
    while (i < n) {
        while (i < n && f[i] == ' ') ++i;
        if (i >= n) break;
        if (quote(f[i])) {
            const char q = f[i++];
            const std::size_t start = i;
            while (i < n && f[i] != q) ++i;
            if (!out.empty() && out.back().comment.empty())
                out.back().comment = std::string_view(f.data() + start, i - start);
            if (i < n) ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < n && kWordChar[static_cast<unsigned char>(f[i])]) ++i;
        out.push_back({std::string_view(f.data() + start, i - start), {}});
    }
}

std::string quoted(std::string_view s) {
    std::string q;
    q.reserve(s.size() + 2);
    q.append(1, '"').append(s).append(1, '"');
    return q;
}

}  // namespace vyr::series::detail

namespace vyr::series {

void Decoder::Impl::note(Severity s, const std::string &text) {
    if (s == Severity::Error)
        ++counts.errors;
    else
        ++counts.warnings;
    if (on_note) on_note(s, line_no, text);
}

// Colons toggle comments; tabs, control bytes and bytes outside ASCII become
// blanks; trailing blanks, "=" and "&" go.
std::string_view Decoder::Impl::clean(std::string_view raw) {
    // Branch-free, so that the compiler can check many bytes at a time.
    unsigned char odd = 0;
    for (char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        odd |= static_cast<unsigned char>(static_cast<unsigned char>(c - 0x20) > 0x5e);
        odd |= static_cast<unsigned char>(c == ':');
    }
    const bool plain = odd == 0;
    std::string_view s = raw;
    if (!plain) {
        clean_buf.clear();
        bool comment = false;
        for (char ch : raw) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == ':') {
                comment = !comment;
                continue;
            }
            if (comment) continue;
            clean_buf.push_back(c < 0x20 || c >= 0x7f ? ' ' : ch);
        }
        s = clean_buf;
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '=' || s.back() == '&'))
        s.remove_suffix(1);
    return s;
}

void Decoder::Impl::handle(std::string_view text) {
    using detail::quoted;
    if (text.empty()) return;  // neither starts nor ends a message
    if (text[0] != '.') {
        if (msg.kind == 'B') {
            if (!msg.skipping) b_body(text);
            return;
        }
        msg.kind = 0;  // an .A or .E message ends at the first other line
        return;
    }
    if (text.size() >= 4 && (text[1] == 'E' || text[1] == 'e') &&
        (text[2] == 'N' || text[2] == 'n') && (text[3] == 'D' || text[3] == 'd') &&
        (text.size() == 4 || text[4] == ' ')) {
        msg.kind = 0;  // ends a block, and an .A or .E message as any other line
        return;
    }
    // The tag: type letter, optional R, optional 1-2 digit continuation
    // number, then a blank or the end of the line.
    const char type = text.size() >= 2 ? text[1] : 0;
    std::size_t i = 2;
    const bool rev = i < text.size() && text[i] == 'R';
    if (rev) ++i;
    const std::size_t digits_at = i;
    while (i < text.size() && vyr::is_digit(text[i])) ++i;
    const std::size_t ndigits = i - digits_at;
    if ((type != 'A' && type != 'B' && type != 'E') || ndigits > 2 ||
        (i < text.size() && text[i] != ' ')) {
        if (msg.kind == 'A' || msg.kind == 'E') msg.kind = 0;
        // What looks like a message line and is none is an error: a line
        // that starts like .A, .B or .E, or a lone message-type letter
        // (.C). Other lines that start with a dot are prose.
        const bool tag_like = vyr::is_upper(type) && (i >= text.size() || text[i] == ' ');
        if (type == 'A' || type == 'B' || type == 'E' || tag_like)
            error("not a SHEF message line: " + quoted(text.substr(0, 20)));
        return;
    }
    const std::string_view rest = text.substr(i);
    if (ndigits == 0)
        start(type, rev, rest);
    else
        continuation(type, rev, rest);
}

bool decode_stream(FILE *in, Decoder &decoder) {
    vyr::BlockLineSource src(in);
    const std::string_view head = src.peek();
    if (head.size() >= 3 && head.substr(0, 3) == "\xEF\xBB\xBF") src.consume(3);
    // Pieces end at each LF and each CR; CR LF and CR CR LF end one line,
    // so the CRs that ended a line are held until what follows them shows
    // whether they began an empty line of their own.
    vyr::WholeLines lines(src, kLineMax, true);
    vyr::LineView piece;
    long number = 0;
    int crs = 0;  // 1: a CR ended the last line; 2: then a second CR came
    while (lines.next(piece)) {
        if (crs > 0 && piece.text.empty() && !piece.too_long) {
            if (piece.end == '\n') {
                crs = 0;
            } else if (crs == 1) {
                crs = 2;
            } else {
                ++number;  // the first of three CRs ended an empty line alone
            }
            continue;
        }
        if (crs == 2) ++number;  // the second CR ended an empty line alone
        crs = piece.end == '\r' ? 1 : 0;
        if (piece.too_long)
            decoder.skipped_line(++number);
        else
            decoder.line(piece.text, ++number);
    }
    decoder.finish();
    return !src.failed() && std::ferror(in) == 0;
}

}  // namespace vyr::series
