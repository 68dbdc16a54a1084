# The Linux install and its Debian packages (included by packaging.cmake).
set(zf_doc ${CMAKE_INSTALL_DATADIR}/doc)
set(zf_man ${CMAKE_BINARY_DIR}/man)

# The changelog names the version being packaged: keep it in step.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog zf_changelog_top LIMIT_COUNT 1)
if(NOT zf_changelog_top MATCHES "^[a-z0-9.+-]+ \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not start with an entry for ${PROJECT_VERSION}: "
                      "${zf_changelog_top}")
endif()
add_custom_command(OUTPUT ${zf_man}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zf_man}
  COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/packaging/debian/changelog ${zf_man}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
set(zf_generated ${zf_man}/changelog.gz)

# Manual pages: zflash(1) from docs/zflash.md, zsim(1) from zsim --help.
find_program(ZF_GO_MD2MAN go-md2man)
find_program(ZF_HELP2MAN help2man)
if(ZF_GO_MD2MAN)
  add_custom_command(OUTPUT ${zf_man}/zflash.1.gz
    COMMAND sh ${CMAKE_SOURCE_DIR}/packaging/debian/zflash-manpage.sh ${PROJECT_VERSION}
            ${CMAKE_SOURCE_DIR}/docs/zflash.md ${zf_man}/zflash.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/zflash.md ${CMAKE_SOURCE_DIR}/packaging/debian/zflash-manpage.sh
    VERBATIM)
  list(APPEND zf_generated ${zf_man}/zflash.1.gz)
  install(FILES ${zf_man}/zflash.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT zflash)
else()
  message(STATUS "No go-md2man (Debian package go-md2man): zflash is installed without its manual page")
endif()
if(ZF_HELP2MAN)
  add_custom_command(OUTPUT ${zf_man}/zsim.1.gz
    COMMAND sh -c "help2man --no-info --no-discard-stderr --section=1 --version-string=\"$1\" --name=\"$2\" \"$0\" | gzip -9n > \"$3\""
            $<TARGET_FILE:zsim> ${PROJECT_VERSION} "the simulated Zelvo device on a pseudo-terminal"
            ${zf_man}/zsim.1.gz
    DEPENDS zsim
    VERBATIM)
  list(APPEND zf_generated ${zf_man}/zsim.1.gz)
  install(FILES ${zf_man}/zsim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT zsim)
else()
  message(STATUS "No help2man (Debian package help2man): zsim is installed without its manual page")
endif()
add_custom_target(zf_package_docs ALL DEPENDS ${zf_generated})

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
