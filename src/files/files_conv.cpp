// files_conv.cpp - file types and the lines of the convention file that map
// them to name patterns. No state: see files_rules.h.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "files_int.h"
#include "files_rules.h"
#include "vyrfiles.h"
#include "vyrresrc.h"

namespace vyr::files {

namespace {

// The next blank-separated field of line from pos; empty at the end.
std::string_view next_field(std::string_view line, std::size_t &pos) {
    while (pos < line.size() && vyr::is_space(line[pos])) ++pos;
    std::size_t start = pos;
    while (pos < line.size() && !vyr::is_space(line[pos])) ++pos;
    return line.substr(start, pos - start);
}

// A leading decimal integer (sign allowed), 0 when there is none; clamped to
// the int range.
int leading_int(std::string_view field) {
    while (!field.empty() && vyr::is_space(field.front())) field.remove_prefix(1);
    int64_t v = 0;
    vyr::read_integer(field, v, INT_MIN, INT_MAX, vyr::OutOfRange::Clamp);
    return static_cast<int>(v);
}

}  // namespace

TypeName split_type(std::string_view type) {
    TypeName t;
    std::size_t name_end = type.size();
    for (std::size_t colon = type.find(':'); colon != std::string_view::npos;
         colon = type.find(':', colon + 1)) {
        // ":" key "=" value, the value running to the next ":" and not empty.
        std::string_view rest = type.substr(colon + 1);
        if (rest.size() < 3 || rest[1] != '=') continue;
        std::string_view value = rest.substr(2, rest.find(':', 2) - 2);
        if (value.empty()) continue;
        t.keys.push_back({rest[0], std::string(value)});
        name_end = std::min(name_end, colon);
    }
    t.name = std::string(type.substr(0, name_end));
    return t;
}

bool read_convention_line(std::string_view line, ConventionLine &out) {
    out = ConventionLine{};
    if (!line.empty() && line[0] == '#') return false;
    std::size_t pos = 0;
    out.type = std::string(next_field(line, pos));
    if (out.type.empty()) return false;  // a blank line matches nothing
    out.pattern = std::string(next_field(line, pos));
    out.header = std::string(next_field(line, pos));
    if (out.header == "-") out.header.clear();
    out.min_size = leading_int(next_field(line, pos));
    return true;
}

Match match_type(std::string_view line_type, std::string_view type) {
    if (line_type.empty()) return Match::None;
    if (vyr::iequals(line_type, type)) return Match::Exact;
    if (istarts(type, line_type)) return Match::Prefix;
    return Match::None;
}

std::string type_extension(std::string_view type) {
    std::size_t u = type.rfind('_');
    return u == std::string_view::npos ? std::string() : std::string(type.substr(u + 1));
}

}  // namespace vyr::files
