# Install rules and packages (scripts/package builds them).
#
# Linux: `cmake --install` puts zflash in bin/, its image folders in
# share/zflash/ (where zflash looks when none lie beside it), its manual page
# and its bash completion; zsim, the simulated device, is installed as a
# component of its own. CPack makes one Debian package of each: zflash, zsim.
#
# Windows: `cmake --install` puts ZelvoFlashUpdate.exe, zflash.exe and the
# image folders side by side, as the programs expect; the target `msi` turns
# that folder into a Windows Installer package with wixl (msitools).

# Folders made by the install are world-readable, whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(ZF_IMAGE_TREE ${CMAKE_BINARY_DIR}/bin/flashloader ${CMAKE_BINARY_DIR}/bin/firmware)
set(ZF_IMAGE_README ${CMAKE_BINARY_DIR}/bin/README.txt)  # says they are demo images
set(ZF_MAINTAINER "Zelvo support <support@zelvo.example>")

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-msi.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-deb.cmake)
endif()
