// shef_decode.h - the SHEF decoding loop of the converter.
#ifndef SHEF_DECODE_H
#define SHEF_DECODE_H

#include <cstdio>

namespace vyr::shef {

// Decodes the SHEF text of in into raw records on out, one record line per
// decoded station line. date_str (may be null or empty) is the filter date:
// reports whose date token differs from it in the first 4 characters are
// dropped. Returns 0 when the input is exhausted.
int decode(FILE *in, FILE *out, const char *date_str);

}  // namespace vyr::shef

// Echoes one decoded element in words at level 0x00F00000; always 0.
int print_data(const char *type, const char *value);

#endif  // SHEF_DECODE_H
