// The SHEF decoder's two ways of reading on the same input: the hot path
// (lines split in its own block, fields read straight off them) must give
// the records, the status and every message (the element echo and the
// closing count among them) that the reference (the suite's line reader and
// the scanner's patterns) gives, byte for byte. The hot path's lines are
// also split in blocks barely longer than a piece, so that lines straddle
// block edges, and must be the line reader's pieces.
//
// Input: byte 0 chooses the run (bit 0 the echo on, bit 1 the filter date
// "0815", bit 2 the short filter date "08"; the byte modulo 32 adds to the
// smallest block of the lines' check); the rest is the SHEF text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shef_decode.h"
#include "shef_decode_lines.h"
#include "vyr.h"
#include "vyr_int.h"

namespace {

struct Run {
    int status = 0;
    std::string records;
    std::string messages;
};

std::string take(char *buf, size_t len) {
    std::string s(buf != nullptr ? buf : "", buf != nullptr ? len : 0);
    std::free(buf);
    return s;
}

Run decode(const uint8_t *text, size_t size, uint8_t mode, vyr::shef::Reader reader) {
    vyr::reset_library();
    char *msg_buf = nullptr, *rec_buf = nullptr;
    size_t msg_len = 0, rec_len = 0;
    FILE *messages = open_memstream(&msg_buf, &msg_len);
    FILE *records = open_memstream(&rec_buf, &rec_len);
    FILE *in = fmemopen(const_cast<uint8_t *>(text), size, "r");
    if (messages == nullptr || records == nullptr || in == nullptr) std::abort();
    // One stream for every level keeps the messages in the order printed.
    vyr::set_message_streams(messages, messages);
    if (mode & 1) MESS_set_str("out3");
    const char *date = (mode & 4) ? "08" : (mode & 2) ? "0815" : "";

    Run r;
    r.status = vyr::shef::decode(in, records, date, reader);
    vyr::set_message_streams(nullptr, nullptr);
    std::fclose(in);
    std::fclose(records);
    std::fclose(messages);
    r.records = take(rec_buf, rec_len);
    r.messages = take(msg_buf, msg_len);
    return r;
}

// The pieces of a source, one a line, a cut piece marked by "|".
template <class Lines>
std::string pieces(Lines &&lines) {
    std::string got;
    for (vyr::shef::Line l; lines.next(l);)
        got += std::string(l.text, static_cast<std::size_t>(l.len)) + (l.cut ? "|\n" : "\n");
    return got;
}

void differ(const char *what, const std::string &direct, const std::string &reference) {
    std::fprintf(stderr, "the readers differ in the %s\n-- direct:\n%s\n-- reference:\n%s\n", what,
                 direct.c_str(), reference.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // fmemopen takes no empty buffer.
    if (size < 2) return 0;
    using vyr::shef::Reader;
    const Run direct = decode(data + 1, size - 1, data[0], Reader::Direct);
    const Run reference = decode(data + 1, size - 1, data[0], Reader::Reference);
    if (direct.status != reference.status)
        differ("status", std::to_string(direct.status), std::to_string(reference.status));
    if (direct.records != reference.records) differ("records", direct.records, reference.records);
    if (direct.messages != reference.messages)
        differ("messages", direct.messages, reference.messages);

    FILE *in = fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "r");
    if (in == nullptr) std::abort();
    const std::string read = pieces(vyr::shef::ReadLines(in));
    std::rewind(in);
    const std::size_t block = vyr::shef::kPiece + 1 + data[0] % 32;
    const std::string split = pieces(vyr::shef::SplitLines(in, block));
    if (split != read) differ("lines", split, read);
    std::fclose(in);
    return 0;
}
