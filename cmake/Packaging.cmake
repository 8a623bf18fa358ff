# The release artefacts (make dist): a zip per Windows bitness, the Debian
# package of the Linux programs. make dist configures with SOURCE_DATE_EPOCH
# set (scripts/dist/make-dist.sh), which fixes every time stamp inside; a
# build for the tests, configured without it, dates them now.
set(dist_scripts ${PROJECT_SOURCE_DIR}/scripts/dist)
# What is dated by it is made again when it changes.
set(release_time ${CMAKE_BINARY_DIR}/source-date-epoch)
file(CONFIGURE OUTPUT ${release_time} CONTENT "$ENV{SOURCE_DATE_EPOCH}\n")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VELKARIN_ZIP_ARCH x64)
  else()
    set(VELKARIN_ZIP_ARCH x86)
  endif()
  set(name velkarin-${PROJECT_VERSION}-windows-${VELKARIN_ZIP_ARCH})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/${name}.zip
    COMMAND ${dist_scripts}/make-zip.sh ${CMAKE_BINARY_DIR}/${name}.zip ${name}
            $<TARGET_FILE:Velkarin> $<TARGET_FILE:velkarin> ${CMAKE_BINARY_DIR}/README.txt
            ${PROJECT_SOURCE_DIR}/COPYING
    DEPENDS Velkarin velkarin ${CMAKE_BINARY_DIR}/README.txt ${PROJECT_SOURCE_DIR}/COPYING ${release_time}
            ${dist_scripts}/make-zip.sh ${dist_scripts}/licences.sh
    VERBATIM)
  add_custom_target(dist-zip DEPENDS ${CMAKE_BINARY_DIR}/${name}.zip)
  return()
endif()

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS velkarin velkarin-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages made from the programs' own --help and --version, so the two can
# never disagree. help2man dates them from SOURCE_DATE_EPOCH.
set(man_velkarin "find devices on the local network and configure their IP address")
set(man_velkarin-devsim "simulate a fleet of network devices in a private network namespace")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
set(man_include_velkarin ${CMAKE_BINARY_DIR}/man/velkarin-commands.h2m)
add_custom_command(
  OUTPUT ${man_include_velkarin}
  COMMAND ${dist_scripts}/subcommand-help.sh $<TARGET_FILE:velkarin> > ${man_include_velkarin}
  DEPENDS velkarin ${dist_scripts}/subcommand-help.sh
  VERBATIM)
set(man_include_velkarin-devsim "")
foreach(program velkarin velkarin-devsim)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  set(include "")
  if(man_include_${program})
    set(include --include ${man_include_${program}})
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND help2man --no-info --section 1 --name ${man_${program}} ${include} --output ${page}
            $<TARGET_FILE:${program}>
    COMMAND gzip -n -9 -f ${page}
    DEPENDS ${program} ${release_time} ${man_include_${program}}
    VERBATIM)
  list(APPEND man_pages ${page}.gz)
endforeach()
add_custom_target(man-pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The copyright file in Debian's machine-readable format: the project's own
# terms (COPYING) and those of what is compiled in.
file(READ ${PROJECT_SOURCE_DIR}/COPYING own_terms)
string(REGEX REPLACE "\n$" "" own_terms "${own_terms}")
string(REGEX REPLACE "\n\n" "\n.\n" own_terms "${own_terms}")
string(REGEX REPLACE "\n" "\n " own_terms "${own_terms}")
execute_process(COMMAND ${dist_scripts}/licences.sh deb OUTPUT_VARIABLE third_party_terms
                COMMAND_ERROR_IS_FATAL ANY)
set(doc_dir ${CMAKE_BINARY_DIR}/doc)
file(WRITE ${doc_dir}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Velkarin

Files: *
Copyright: the Velkarin authors
License: all-rights-reserved

${third_party_terms}License: all-rights-reserved
 ${own_terms}
")
# Lintian wants a change log beside it; this one dates the release from
# SOURCE_DATE_EPOCH too.
set(VELKARIN_MAINTAINER "Velkarin authors <authors@velkarin.invalid>")
string(TIMESTAMP release_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${doc_dir}/changelog
"velkarin (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${VELKARIN_MAINTAINER}  ${release_date}
")
add_custom_command(
  OUTPUT ${doc_dir}/changelog.gz
  COMMAND gzip -n -9 -k -f ${doc_dir}/changelog
  DEPENDS ${doc_dir}/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${doc_dir}/changelog.gz)
install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velkarin)

# cpack packs what make dist built, and builds nothing else (the tests).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velkarin)
set(CPACK_PACKAGE_VENDOR "the Velkarin authors")
set(CPACK_PACKAGE_CONTACT "${VELKARIN_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find network devices and configure their IP address")
set(CPACK_PACKAGE_DESCRIPTION
    "velkarin lists the devices that answer a UDP broadcast on the local network
and gives one of them a new IP configuration: DHCP, or a fixed address,
netmask and gateway. velkarin-devsim simulates a fleet of such devices for
tests and demonstrations inside a private network namespace.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
