# The Linux install and its Debian packages (included by packaging.cmake).
set(zf_doc ${CMAKE_INSTALL_DATADIR}/doc)
set(zf_man ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${zf_man})

# The changelog names the version being packaged: keep it in step.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog zf_changelog_top LIMIT_COUNT 1)
if(NOT zf_changelog_top MATCHES "^[a-z0-9.+-]+ \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not start with an entry for ${PROJECT_VERSION}: "
                      "${zf_changelog_top}")
endif()
add_custom_command(OUTPUT ${zf_man}/changelog.gz
  COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/packaging/debian/changelog ${zf_man}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(zf_changelog ALL DEPENDS ${zf_man}/changelog.gz)

# zf_manpage(PROGRAM TOOL COMMAND... DEPENDS...): man/PROGRAM.1.gz, written
# by COMMAND when the Debian package TOOL is installed, installed with
# PROGRAM's component.
function(zf_manpage program tool)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "COMMAND;DEPENDS")
  find_program(ZF_${tool}_PROGRAM ${tool})
  if(NOT ZF_${tool}_PROGRAM)
    message(STATUS "No ${tool} (Debian package ${tool}): ${program} is installed without its manual page")
    return()
  endif()
  set(page ${zf_man}/${program}.1.gz)
  add_custom_command(OUTPUT ${page} COMMAND ${arg_COMMAND} DEPENDS ${arg_DEPENDS} VERBATIM)
  add_custom_target(zf_manpage_${program} ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${program})
endfunction()

# zflash(1) from its manual, zsim(1) from zsim --help.
zf_manpage(zflash go-md2man
  COMMAND sh ${CMAKE_SOURCE_DIR}/packaging/debian/zflash-manpage.sh ${PROJECT_VERSION}
          ${CMAKE_SOURCE_DIR}/docs/zflash.md ${zf_man}/zflash.1.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/zflash.md ${CMAKE_SOURCE_DIR}/packaging/debian/zflash-manpage.sh)
zf_manpage(zsim help2man
  COMMAND sh -c "help2man --no-info --no-discard-stderr --section=1 --version-string=\"$1\" --name=\"$2\" \"$0\" | gzip -9n > \"$3\""
          $<TARGET_FILE:zsim> ${PROJECT_VERSION} "the simulated Zelvo device on a pseudo-terminal"
          ${zf_man}/zsim.1.gz
  DEPENDS zsim)

install(TARGETS zflash RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zflash)
install(DIRECTORY ${ZF_IMAGE_TREE} DESTINATION ${CMAKE_INSTALL_DATADIR}/zflash COMPONENT zflash)
install(FILES ${ZF_IMAGE_README} DESTINATION ${CMAKE_INSTALL_DATADIR}/zflash COMPONENT zflash)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/zflash.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zflash COMPONENT zflash)
install(TARGETS zsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zsim)
foreach(component zflash zsim)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${zf_man}/changelog.gz
          DESTINATION ${zf_doc}/${component} COMPONENT ${component})
endforeach()

# Debian packages: zflash_VERSION_ARCH.deb and zsim_VERSION_ARCH.deb. The
# package installs where this build was configured to look (scripts/build
# configures /usr); dependencies come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zflash)
set(CPACK_PACKAGE_VENDOR Zelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ZF_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL zflash zsim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ZFLASH_PACKAGE_NAME zflash)
set(CPACK_DEBIAN_ZSIM_PACKAGE_NAME zsim)
set(CPACK_DEBIAN_ZSIM_PACKAGE_SUGGESTS zflash)
set(CPACK_COMPONENT_ZFLASH_DESCRIPTION
"firmware update tool for Zelvo devices over a serial port
zflash captures a Zelvo device (VKT-PA, VKT-3, VKT-3W, VKT-RTW, VKT-Q1,
VKT-Q2, VKT-N1) at power-up through its boot loader, identifies the
hardware, starts the flash loader and programs and verifies firmware,
from a terminal or a script (with JSON output and exit codes).
.
The package carries generated demo images in /usr/share/zflash; the
images for real devices come from the maker.")
set(CPACK_COMPONENT_ZSIM_DESCRIPTION
"simulated Zelvo device for testing zflash without hardware
zsim plays a Zelvo device (boot loader and flash loader) on a
pseudo-terminal, with faults that can be injected, so that zflash and
the Windows tool under Wine can be tried and tested without a device.")
include(CPack)
