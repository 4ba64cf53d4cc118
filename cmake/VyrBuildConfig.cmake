# What the library is told at build time, in the generated header
# vyr_build.h: its version text, from the project version, and the
# configuration directory its resource search path ends with.
#
# VYR_SYSCONFDIR empty is the traditional layout: the configuration is
# installed into PREFIX/vyr/etc and the programs look in /usr/local/vyr/etc.
# A distribution's build names an absolute directory (/etc/vyr for the
# Debian package): the configuration is installed there and the programs
# look there.
set(VYR_VERSION_SUFFIX "-LINUX-X11")
set(VYR_VERSION_TEXT "${PROJECT_VERSION}${VYR_VERSION_SUFFIX}")

# A STRING, not a PATH: CMake would turn a relative path into one under the
# working directory instead of refusing it.
set(VYR_SYSCONFDIR "" CACHE STRING
    "Absolute configuration directory to install into and search (empty: PREFIX/vyr/etc, searched as /usr/local/vyr/etc)")
set(VYR_DEFAULT_CONFIG_DIR /usr/local/vyr/etc)
if(VYR_SYSCONFDIR STREQUAL "")
  set(VYR_CONFIG_DIR ${VYR_DEFAULT_CONFIG_DIR})
else()
  string(REGEX REPLACE "(.)/+$" "\\1" VYR_CONFIG_DIR "${VYR_SYSCONFDIR}")
  # The directory ends up in a C string, in vyr.cfg and in a ':' separated
  # search path: keep it to plain path characters.
  if(NOT VYR_CONFIG_DIR MATCHES "^/[A-Za-z0-9._/+-]*$")
    message(FATAL_ERROR "VYR_SYSCONFDIR must be an absolute path of letters, digits and ._/+- "
                        "(no blanks, no ':'), not '${VYR_SYSCONFDIR}'")
  endif()
endif()
set(VYR_DEFAULT_SEARCH_PATH ".:/home/vyr/etc:${VYR_CONFIG_DIR}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/vyr_build.h.in
               ${PROJECT_BINARY_DIR}/generated/vyr_build.h @ONLY)
target_include_directories(vyr PRIVATE $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>)
