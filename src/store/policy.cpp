// policy.cpp - the posting rules, the rows the log keeps, and the names of
// databases as messages show them.
#include <charconv>
#include <cstring>
#include <string>

#include "base_int.h"
#include "store.h"

namespace vyr::store {

// ---------------------------------------------------------------------------
// The rules

namespace {

struct PolicyName {
    Policy policy;
    const char *name;
};
constexpr PolicyName kPolicies[] = {
    {Policy::Standard, "standard"},
    {Policy::Always, "always"},
    {Policy::Revised, "revised"},
    {Policy::Different, "different"},
    {Policy::DifferentOrRevised, "different_or_revised"},
    {Policy::DifferentAndRevised, "different_and_revised"},
};

// Missing differs from any number; two missing values are the same.
bool differs(const Stored &stored, bool missing, double value) {
    if (stored.missing || missing) return stored.missing != missing;
    return stored.value != value;
}

}  // namespace

bool parse_policy(std::string_view text, Policy &policy) {
    for (const PolicyName &p : kPolicies)
        if (vyr::iequals(text, p.name)) {
            policy = p.policy;
            return true;
        }
    return false;
}

const char *policy_name(Policy policy) {
    for (const PolicyName &p : kPolicies)
        if (p.policy == policy) return p.name;
    return "standard";
}

const char *action_name(Action action) {
    switch (action) {
        case Action::Insert: return "insert";
        case Action::Overwrite: return "overwrite";
        case Action::Keep: break;
    }
    return "keep";
}

Action decide(Policy policy, const Stored &stored, bool missing, double value, bool revised) {
    if (!stored.present) return Action::Insert;
    bool overwrite = false;
    switch (policy) {
        case Policy::Standard:
            // The manual's 5.1.4 to 5.1.6: a repeated value is posted only the
            // first time, a revision overwrites, and a real value replaces a
            // stored missing one but never the other way round.
            overwrite = revised || (stored.missing && !missing);
            break;
        case Policy::Always: overwrite = true; break;
        case Policy::Revised: overwrite = revised; break;
        case Policy::Different: overwrite = differs(stored, missing, value); break;
        case Policy::DifferentOrRevised:
            overwrite = revised || differs(stored, missing, value);
            break;
        case Policy::DifferentAndRevised:
            overwrite = revised && differs(stored, missing, value);
            break;
    }
    return overwrite ? Action::Overwrite : Action::Keep;
}

// ---------------------------------------------------------------------------
// Rows

void RowMaker::make(const vyr::series::Record &r, Row &row) {
    row.station = r.station;
    if (r.obs_time != last_obs_) {
        vyr::series::format_utc(r.obs_time, obs_);
        last_obs_ = r.obs_time;
    }
    std::memcpy(row.obs_time, obs_, kTimeText);
    const vyr::series::Code &c = *r.code;
    row.pe[0] = c.pe[0];
    row.pe[1] = c.pe[1];
    row.pe[2] = '\0';
    row.duration[0] = c.duration;
    row.duration[1] = '\0';
    row.type_source[0] = c.ts[0];
    row.type_source[1] = c.ts[1];
    row.type_source[2] = '\0';
    row.extremum[0] = c.extremum;
    row.extremum[1] = '\0';
    row.probability[0] = c.probability;
    row.probability[1] = '\0';
    row.duration_value = r.duration_value;
    if (r.has_creation) {
        if (r.creation_time != last_basis_) {
            vyr::series::format_utc(r.creation_time, basis_);
            last_basis_ = r.creation_time;
        }
        std::memcpy(row.basis_time, basis_, kTimeText);
    } else {
        row.basis_time[0] = '\0';
    }
    row.missing = r.missing;
    row.value = 0;
    row.value_text = r.missing ? std::string_view() : r.value;
    if (!r.missing) {
        // The decoder's text is a plain decimal number; it reads the same
        // into a double whichever database gets it.
        const char *end = r.value.data() + r.value.size();
        if (std::from_chars(r.value.data(), end, row.value).ec != std::errc()) row.missing = true;
    }
    row.qualifier[0] = r.qualifier;
    row.qualifier[1] = '\0';
    row.revised = r.revised;
    row.message[0] = '.';
    row.message[1] = r.message;
    row.message[2] = '\0';
    row.line = r.line;
    row.comment = r.comment;
}

// ---------------------------------------------------------------------------
// Names

bool is_uri(std::string_view name) {
    return name.starts_with("postgresql://") || name.starts_with("postgres://");
}

std::string shown_name(std::string_view name) {
    if (!is_uri(name)) return std::string(name);
    std::string out(name);
    // The user part runs to the first "@" before the host, as libpq reads it.
    const std::size_t auth = out.find("://") + 3;
    const std::size_t stop = out.find_first_of("@/", auth);
    if (stop != std::string::npos && out[stop] == '@') {
        const std::size_t colon = out.find(':', auth);
        if (colon < stop) out.erase(colon, stop - colon);
    }
    const std::size_t q = out.find('?', auth);
    if (q == std::string::npos) return out;
    std::string kept;
    for (std::size_t p = q + 1; p <= out.size();) {
        std::size_t amp = out.find('&', p);
        if (amp == std::string::npos) amp = out.size();
        const std::string_view param(out.data() + p, amp - p);
        if (!param.starts_with("password=") && param != "password") {
            if (!kept.empty()) kept += '&';
            kept += param;
        }
        p = amp + 1;
    }
    out.erase(q);
    if (!kept.empty()) out += '?' + kept;
    return out;
}

}  // namespace vyr::store
