// Reads any text as a raw data file from a memory stream: no crash, every
// kept text inside its capacity, and a rewind that reads the very same
// records and values again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vyr_int.h"
#include "vyrraw.h"

namespace {

using vyr::raw::Result;

std::string value_text(const vyr::raw::Value &v) {
    if (std::strlen(v.text) > vyr::raw::kValueMax || std::strlen(v.format) > vyr::raw::kFormatMax)
        std::abort();
    return std::string(v.format) + ':' + v.text + ':' + std::to_string(v.first) + ',' +
           std::to_string(v.second);
}

// Every record with its lookups as one text, so that two passes compare.
std::string pass(vyr::raw::Reader &r) {
    std::string out;
    vyr::raw::Value v;
    Result end;
    while ((end = r.next()) == Result::Ok) {
        const auto &rec = r.record();
        if (std::strlen(rec.id) > vyr::raw::kIdMax) std::abort();
        out.append(rec.line, static_cast<std::size_t>(rec.length)).append("\n");
        for (const char *code : {"HG", "PP", "T", "", "lat"})
            if (r.find(code, v)) out += value_text(v);
        for (int i = -1; i <= r.header().nfields; ++i)
            if (r.field(i, v)) out += value_text(v);
    }
    return out + vyr::raw::describe(end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vyr::set_exit_throws(true);
    // The reader keeps no module state: nothing to reset between inputs.
    std::string text(reinterpret_cast<const char *>(data), size);
    text.push_back('\0');  // fmemopen wants at least one byte
    FILE *f = fmemopen(text.data(), size == 0 ? 1 : size, "r");
    if (f == nullptr) return 0;
    try {
        vyr::raw::Reader r;
        if (r.attach(f) == Result::Ok) {
            const auto &h = r.header();
            if (std::strlen(h.label) > vyr::raw::kLabelMax ||
                std::strlen(h.title) > vyr::raw::kTitleMax)
                std::abort();
            const std::string first = pass(r);
            if (r.rewind() != Result::Ok || pass(r) != first) std::abort();
        }
    } catch (const vyr::exit_request &) {
    }
    std::fclose(f);
    return 0;
}
