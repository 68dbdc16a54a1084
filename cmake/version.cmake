# The project's one version (project(VERSION ...)) for the sources and the
# Windows executables:
#   zversion                      interface library: #include "zf_version.h"
#   zf_version_resource(T DESC)   a VERSIONINFO resource in the Windows
#                                 executable T with the file description DESC
set(ZF_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/packaging/version.h.in ${ZF_GENERATED_DIR}/zf_version.h @ONLY)

add_library(zversion INTERFACE)
target_include_directories(zversion INTERFACE ${ZF_GENERATED_DIR})

if(WIN32)
  enable_language(RC)
endif()

function(zf_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(rc ${ZF_GENERATED_DIR}/${target}-version.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT
"// Written by CMake: the version resource of ${target}.exe.
#define ZF_FILE_DESCRIPTION \"${description}\"
#define ZF_ORIGINAL_FILENAME \"${target}.exe\"
#include \"versioninfo.rc\"
")
  target_sources(${target} PRIVATE ${rc})
  target_link_libraries(${target} PRIVATE zversion)
  set_source_files_properties(${rc} PROPERTIES
    INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/packaging/windows
    OBJECT_DEPENDS "${ZF_GENERATED_DIR}/zf_version.h;${CMAKE_SOURCE_DIR}/packaging/windows/versioninfo.rc")
endfunction()
