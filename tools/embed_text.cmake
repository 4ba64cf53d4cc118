# Turns a text file into a C++ source file that defines it as a byte array.
#
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=vyr::series::kText -P embed_text.cmake
#
# Defines NAME (const char[], with a terminating NUL) and NAME##Size (its
# length without the NUL), in the namespace that NAME names.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_len)
math(EXPR size "${hex_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('[^']*',){16})" "\\1\n    " bytes "${bytes}")
string(REGEX MATCH "^(.*)::([^:]+)$" _ "${NAME}")
set(ns "${CMAKE_MATCH_1}")
set(var "${CMAKE_MATCH_2}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} by tools/embed_text.cmake; do not edit.
#include <cstddef>
namespace ${ns} {
extern const char ${var}[];
extern const std::size_t ${var}Size;
const char ${var}[] = {
    ${bytes}'\\0'};
const std::size_t ${var}Size = ${size};
}  // namespace ${ns}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
