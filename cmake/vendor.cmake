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
