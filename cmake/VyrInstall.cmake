# Installation and the Debian package: the programs, the library with its
# public headers and a CMake package (find_package(vyr) gives vyr::vyr),
# the manual pages, the configuration and the documentation.
#
# The configuration goes where cmake/VyrBuildConfig.cmake decided: into
# PREFIX/vyr/etc by default, or into VYR_SYSCONFDIR, the directory the
# programs then search. A Debian package is built from a build configured
# with -DVYR_SYSCONFDIR=/etc/vyr: everything else goes under /usr, the
# configuration files are conffiles, and nothing lands in /usr/local.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The public headers: vyr.h and the headers it gathers. They are installed
# into include/vyr and include each other by their bare names, so a program
# writes <vyr/vyr.h> with include/ on its path.
set(VYR_PUBLIC_HEADER_DIR ${PROJECT_SOURCE_DIR}/include/vyr)
set(VYR_PUBLIC_HEADERS vyr.h vyrbase.h vyrresrc.h vyrfiles.h vyrcty.h vyrdom.h vyrraw.h)
list(TRANSFORM VYR_PUBLIC_HEADERS PREPEND ${VYR_PUBLIC_HEADER_DIR}/)

foreach(p ${VYR_PROGRAMS})
  if(TARGET ${p})
    install(TARGETS ${p} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The standard the public headers are written in travels with the exported
# target, so that a program built against it needs no setting of its own.
target_compile_features(vyr PUBLIC cxx_std_20)
install(TARGETS vyr EXPORT vyrTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${VYR_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vyr)
set(VYR_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vyr)
install(EXPORT vyrTargets NAMESPACE vyr:: DESTINATION ${VYR_CMAKE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vyrConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vyrConfig.cmake INSTALL_DESTINATION ${VYR_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vyrConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vyrConfig.cmake ${PROJECT_BINARY_DIR}/vyrConfigVersion.cmake
  DESTINATION ${VYR_CMAKE_PACKAGE_DIR})

# Manual pages name the configuration directory and the version of this
# build, and are compressed as Debian's policy asks (gzip -9n: no name or
# time stamp, so that a rebuild gives the same bytes).
find_program(VYR_GZIP gzip)
file(GLOB VYR_MAN_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.1)
set(VYR_MAN_PAGES)
foreach(page ${VYR_MAN_SOURCES})
  get_filename_component(name ${page} NAME)
  set(out ${PROJECT_BINARY_DIR}/man/${name})
  if(VYR_GZIP)
    set(out ${out}.gz)
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${page} -DOUTPUT=${out} -DVERSION=${PROJECT_VERSION}
      -DFROM_DIR=${VYR_DEFAULT_CONFIG_DIR} -DTO_DIR=${VYR_CONFIG_DIR} -DGZIP=${VYR_GZIP}
      -P ${CMAKE_CURRENT_LIST_DIR}/VyrManPage.cmake
    DEPENDS ${page} ${CMAKE_CURRENT_LIST_DIR}/VyrManPage.cmake
    VERBATIM)
  list(APPEND VYR_MAN_PAGES ${out})
endforeach()
add_custom_target(vyr_man ALL DEPENDS ${VYR_MAN_PAGES})
install(FILES ${VYR_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The configuration: what a site edits. Notes about it are documentation.
file(GLOB VYR_CONFIG_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/etc/*)
file(GLOB VYR_DOC_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/etc/*.md)
list(REMOVE_ITEM VYR_CONFIG_FILES ${VYR_DOC_FILES})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${VYR_DOC_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(VYR_SYSCONFDIR STREQUAL "")
  set(VYR_CONFIG_INSTALL_DIR vyr/etc)
else()
  set(VYR_CONFIG_INSTALL_DIR ${VYR_CONFIG_DIR})
endif()
install(FILES ${VYR_CONFIG_FILES} DESTINATION ${VYR_CONFIG_INSTALL_DIR})
# The shipped vyr.cfg names the default configuration directory; the
# installed one names the directory it was installed into, which in the
# default layout depends on the prefix given at install time.
install(CODE "set(_vyr_config_dir \"${VYR_CONFIG_INSTALL_DIR}\")
  set(_vyr_default_dir \"${VYR_DEFAULT_CONFIG_DIR}\")
  set(_vyr_search_path \"${VYR_DEFAULT_SEARCH_PATH}\")")
install(CODE [[
  if(NOT IS_ABSOLUTE "${_vyr_config_dir}")
    set(_vyr_config_dir "${CMAKE_INSTALL_PREFIX}/${_vyr_config_dir}")
  endif()
  set(_cfg "$ENV{DESTDIR}${_vyr_config_dir}/vyr.cfg")
  file(READ "${_cfg}" _text)
  string(REPLACE ".:/home/vyr/etc:${_vyr_default_dir}" "${_vyr_search_path}" _text "${_text}")
  string(REGEX REPLACE "\n\\*\\.file_path [^\n]*" "\n*.file_path ${_vyr_config_dir}" _text "${_text}")
  file(WRITE "${_cfg}" "${_text}")
]])

# The Debian package.
set(CPACK_PACKAGE_NAME vyr)
set(CPACK_PACKAGE_VENDOR "vyr developers")
set(CPACK_PACKAGE_CONTACT "vyr developers <vyr@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SHEF hydrometeorological reports to raw data files and CSV series")
set(CPACK_PACKAGE_DESCRIPTION "Decoders of products in SHEF, the Standard Hydrometeorological Exchange
Format: shef2raw writes the suite's raw data files, shef2csv a CSV time
series of every value. With the static library, its headers and CMake
package, and vyrloop, the test peer for display windows.")
# The configuration lies outside the prefix: install into the staging
# directory through DESTDIR, never into the machine's own /etc; with
# DESTDIR, cpack's prefix is CPACK_INSTALL_PREFIX.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
find_program(VYR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VYR_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(NOT VYR_SYSCONFDIR STREQUAL "")
  # Every configuration file is a conffile: an upgrade keeps a site's edits.
  set(_conffiles "")
  foreach(f ${VYR_CONFIG_FILES})
    get_filename_component(name ${f} NAME)
    string(APPEND _conffiles "${VYR_CONFIG_DIR}/${name}\n")
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/debian/conffiles "${_conffiles}")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/conffiles)
endif()
set(CPACK_VYR_SYSCONFDIR "${VYR_SYSCONFDIR}")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/VyrCPackOptions.cmake)
include(CPack)
