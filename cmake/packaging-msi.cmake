# The Windows install and its MSI (included by packaging.cmake).
install(TARGETS ZelvoFlashUpdate zflash RUNTIME DESTINATION . COMPONENT windows)
install(DIRECTORY ${ZF_IMAGE_TREE} DESTINATION . COMPONENT windows)
install(FILES ${ZF_IMAGE_README} DESTINATION . COMPONENT windows)

# One product code per version: installing a newer MSI replaces the older one
# (the upgrade code stays the same for ever).
set(ZF_MSI_UPGRADE_CODE 6BC86D8C-5F38-461E-B1DA-9DA75B3FF702)
string(UUID ZF_MSI_PRODUCT_CODE NAMESPACE ${ZF_MSI_UPGRADE_CODE} NAME "${PROJECT_VERSION}" TYPE SHA1 UPPER)
set(ZF_MSI ${CMAKE_BINARY_DIR}/packages/ZelvoFlashUpdate-${PROJECT_VERSION}.msi)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/ZelvoFlashUpdate.wxs.in
               ${CMAKE_BINARY_DIR}/packaging/ZelvoFlashUpdate.wxs @ONLY)

find_program(ZF_WIXL wixl)
find_program(ZF_WIXL_HEAT wixl-heat)
if(ZF_WIXL AND ZF_WIXL_HEAT)
  add_custom_target(msi
    COMMAND sh ${CMAKE_SOURCE_DIR}/packaging/windows/build-msi.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
            ${CMAKE_BINARY_DIR}/packaging/ZelvoFlashUpdate.wxs ${ZF_MSI}
            ${CMAKE_SOURCE_DIR}/window/zelvo-flash-update.ico
    COMMENT "Building ${ZF_MSI}"
    VERBATIM)
  add_dependencies(msi ZelvoFlashUpdate zflash demodata)
else()
  message(STATUS "No wixl (Debian package wixl): no target msi")
endif()
