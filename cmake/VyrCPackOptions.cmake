# Read by cpack for each generator. A Debian package puts its configuration
# under /etc, and the programs must have been built to look there: refuse
# a package from a build with the traditional layout.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_VYR_SYSCONFDIR STREQUAL "")
  message(FATAL_ERROR "A Debian package needs a build configured with -DVYR_SYSCONFDIR=/etc/vyr")
endif()
