# Where `cmake --install` puts the tool and the installer program it packs onto. The tool
# finds the program by the relative path between the two, so an installed tree can move.
# Windows: both side by side at the top of the tree, as the release archive unpacks them.
# Elsewhere: the tool in bin/, the program as data in share/vantis-pack/.
if(WIN32)
  set(VANTIS_INSTALL_TOOL_DIR .)
  set(VANTIS_INSTALL_PROGRAM_DIR .)
  set(VANTIS_INSTALL_DOC_DIR .)
else()
  set(VANTIS_INSTALL_TOOL_DIR ${CMAKE_INSTALL_BINDIR})
  set(VANTIS_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_DATADIR}/vantis-pack)
  set(VANTIS_INSTALL_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
endif()
file(RELATIVE_PATH VANTIS_PROGRAM_FROM_TOOL
  ${CMAKE_INSTALL_PREFIX}/${VANTIS_INSTALL_TOOL_DIR}
  ${CMAKE_INSTALL_PREFIX}/${VANTIS_INSTALL_PROGRAM_DIR})

# The installer program that a native build installs and, run from its build tree, packs
# onto by default: the one the win32 preset builds. Windows builds take their own.
if(NOT WIN32)
  set(VANTIS_INSTALLER_PROGRAM "${PROJECT_SOURCE_DIR}/build/win32/app/vantis-installer.exe"
      CACHE FILEPATH "The 32-bit installer program that the native tool installs and packs onto")
endif()
