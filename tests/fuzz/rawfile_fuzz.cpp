// Reads any text as a raw data file from a memory stream: no crash, every
// kept text inside its capacity, every number finite, and a rewind that
// reads the very same records again.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vyr_int.h"
#include "vyrraw.h"

namespace {

using vyr::raw::Kind;
using vyr::raw::Result;

void check(const vyr::raw::Value &v) {
    if (std::strlen(v.text) > vyr::raw::kValueMax || std::strlen(v.format) > vyr::raw::kFormatMax)
        std::abort();
    switch (v.kind) {
        case Kind::Missing:
            if (std::strcmp(v.text, "-") != 0 || v.first != VYR_MISSING) std::abort();
            break;
        case Kind::Text:
            if (v.first != VYR_MISSING || v.second != VYR_MISSING) std::abort();
            break;
        case Kind::Pair:
            if (!std::isfinite(v.second)) std::abort();
            [[fallthrough]];
        case Kind::Number:
            if (!std::isfinite(v.first)) std::abort();
            break;
    }
}

// Every record as text with its lookups, so two passes can be compared.
std::vector<std::string> pass(vyr::raw::Reader &r, Result &end) {
    std::vector<std::string> out;
    const auto &h = r.header();
    while ((end = r.next()) == Result::Ok) {
        const auto &rec = r.record();
        if (rec.length > vyr::raw::kLineMax || std::strlen(rec.id) > vyr::raw::kIdMax) std::abort();
        std::string s(rec.line, static_cast<std::size_t>(rec.length));
        vyr::raw::Value v;
        for (const char *code : {"HG", "PP", "T", "", "lat"})
            if (r.find(code, v)) {
                check(v);
                s += '|';
                s += v.text;
            }
        for (int i = -1; i <= h.nfields; ++i)
            if (r.field(i, v)) check(v);
        out.push_back(std::move(s));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vyr::set_exit_throws(true);
    std::string text(reinterpret_cast<const char *>(data), size);
    text.push_back('\0');  // fmemopen wants a buffer of at least one byte
    FILE *f = fmemopen(text.data(), size == 0 ? 1 : size, "r");
    if (f == nullptr) return 0;
    // The reader keeps no module state: nothing to reset between inputs.
    try {
        vyr::raw::Reader r;
        if (r.attach(f) == Result::Ok) {
            const auto &h = r.header();
            if (std::strlen(h.label) > vyr::raw::kLabelMax ||
                std::strlen(h.title) > vyr::raw::kTitleMax || h.nfields > vyr::raw::kFieldsMax)
                std::abort();
            Result end1, end2;
            const auto first = pass(r, end1);
            if (r.rewind() != Result::Ok) std::abort();
            const auto second = pass(r, end2);
            if (first != second || end1 != end2) std::abort();
        }
    } catch (const vyr::exit_request &) {
    }
    std::fclose(f);
    return 0;
}
