# CLI11 and nlohmann-json are header-only Debian packages under /usr/include.
# The cross compiler must not see the host's /usr/include as a whole, so both
# builds include them through a folder of two links: CLI/ and nlohmann/.
#   zvendor   interface library: #include <CLI/CLI.hpp>, <nlohmann/json.hpp>
set(zf_vendor_include ${CMAKE_BINARY_DIR}/vendor-include)
foreach(pkg CLI nlohmann)
  find_path(zf_${pkg}_root ${pkg} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT zf_${pkg}_root)
    message(FATAL_ERROR "the build needs /usr/include/${pkg} (libcli11-dev, nlohmann-json3-dev)")
  endif()
  file(MAKE_DIRECTORY ${zf_vendor_include})
  if(NOT EXISTS ${zf_vendor_include}/${pkg})
    file(CREATE_LINK ${zf_${pkg}_root}/${pkg} ${zf_vendor_include}/${pkg} SYMBOLIC)
  endif()
endforeach()
add_library(zvendor INTERFACE)
target_include_directories(zvendor SYSTEM INTERFACE ${zf_vendor_include})

# cpp-httplib, for the metrics that a station serves. Debian's
# libcpp-httplib-dev is the library built for Linux, with a header of
# declarations: the native build links it. The Windows build compiles the
# same version's whole header, from Debian's source package of it
# (scripts/install-deps windows puts it into /usr/src/cpp-httplib).
#   zhttplib  interface library: #include <httplib.h>
add_library(zhttplib INTERFACE)
if(WIN32)
  find_path(zf_httplib_source httplib.h PATHS /usr/src/cpp-httplib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT zf_httplib_source)
    message(FATAL_ERROR "the Windows build needs /usr/src/cpp-httplib/httplib.h (scripts/install-deps windows)")
  endif()
  target_include_directories(zhttplib SYSTEM INTERFACE ${zf_httplib_source})
  target_link_libraries(zhttplib INTERFACE ws2_32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(zf_httplib REQUIRED IMPORTED_TARGET cpp-httplib)
  target_link_libraries(zhttplib INTERFACE PkgConfig::zf_httplib)
endif()

# libpq, PostgreSQL's client library (libpq-dev), for zflash records ingest
# on Linux; zflash.exe has no database client of its own.
#   zlibpq  interface library: #include <libpq-fe.h>
if(NOT WIN32)
  pkg_check_modules(zf_libpq REQUIRED IMPORTED_TARGET libpq)
  add_library(zlibpq INTERFACE)
  target_link_libraries(zlibpq INTERFACE PkgConfig::zf_libpq)
endif()
