# Writes a manual page for this build: the version of the project on its
# title line, the configuration directory of the build in place of the
# default one, compressed when GZIP names gzip.
#
#   cmake -DINPUT=page.1 -DOUTPUT=out -DVERSION=x.y.z -DFROM_DIR=dir -DTO_DIR=dir
#         [-DGZIP=gzip] -P VyrManPage.cmake
file(READ "${INPUT}" text)
string(REGEX REPLACE "(\\.TH [^\n]*\"vyr )[0-9.]+\"" "\\1${VERSION}\"" text "${text}")
string(REPLACE "${FROM_DIR}" "${TO_DIR}" text "${text}")
if(GZIP)
  string(REGEX REPLACE "\\.gz$" "" plain "${OUTPUT}")
  file(WRITE "${plain}" "${text}")
  execute_process(COMMAND "${GZIP}" -9nf "${plain}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${plain} failed: ${status}")
  endif()
else()
  file(WRITE "${OUTPUT}" "${text}")
endif()
