// shef_decode.h - the SHEF decoding loop of the converter.
#ifndef SHEF_DECODE_H
#define SHEF_DECODE_H

#include <cstdio>

namespace vyr::shef {

// What ended decoding, as bits: nothing (the input was exhausted), a read
// of the input that failed, a record the output refused (decoding stops at
// once), no memory to go on.
constexpr int kDecodeReadFailed = 1;
constexpr int kDecodeWriteFailed = 2;
constexpr int kDecodeNoMemory = 4;

// Decodes the SHEF text of in into raw records on out, one record line per
// decoded station line. date_str (may be null or empty) is the filter date:
// reports whose date token differs from it in the first 4 characters are
// dropped. Returns 0 when the input was decoded to its end, else the bits
// above; every record decoded before a failure has been written.
//
// What the raw format cannot carry is passed over: in a .A line the first
// element without a numeric value ends the line, and a .B header is read in
// its first 160-character piece. When a .A line (or continuation) stopped
// before its end, or a .B body line had more values than its header placed,
// the run ends with one warning that counts those lines.
int decode(FILE *in, FILE *out, const char *date_str);

// How the input is read: lines split in a block of the input and fields
// read straight off them (Direct, the hot path), or the suite's line reader
// and the scanner's patterns (Reference, which decode uses while the
// scanner's trace is shown). Both give the same records and messages; tests
// hold them to that.
enum class Reader { Direct, Reference };
int decode(FILE *in, FILE *out, const char *date_str, Reader reader);

}  // namespace vyr::shef

// Echoes one decoded element in words at level 0x00F00000; always 0.
int print_data(const char *type, const char *value);

#endif  // SHEF_DECODE_H
