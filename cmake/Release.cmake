# `cmake --install` and the release archives (CPack): the tool, the installer program it
# packs onto, the manual page and the documents a publisher reads. Paths are in
# cmake/InstallLayout.cmake.

install(TARGETS vantis-pack RUNTIME DESTINATION ${VANTIS_INSTALL_TOOL_DIR})
if(WIN32)
  install(PROGRAMS $<TARGET_FILE:vantis-installer> DESTINATION ${VANTIS_INSTALL_PROGRAM_DIR})
else()
  # The native tool cannot build the Windows program; it installs the win32 build's.
  install(CODE "
    if(NOT EXISTS \"${VANTIS_INSTALLER_PROGRAM}\")
      message(FATAL_ERROR \"no installer program at ${VANTIS_INSTALLER_PROGRAM}: build it \"
                          \"first (cmake --workflow --preset tool-windows), or configure with \"
                          \"-DVANTIS_INSTALLER_PROGRAM=PATH\")
    endif()")
  install(FILES ${VANTIS_INSTALLER_PROGRAM} DESTINATION ${VANTIS_INSTALL_PROGRAM_DIR})
endif()
install(FILES README.md CHANGELOG.md docs/package-format.md
        DESTINATION ${VANTIS_INSTALL_DOC_DIR})

# The manual page is made from the tool's own --help texts, so the two cannot drift; it
# needs the tool to run, so a cross build has none.
if(NOT CMAKE_CROSSCOMPILING)
  set(man_page ${CMAKE_BINARY_DIR}/vantis-pack.1)
  add_custom_command(OUTPUT ${man_page}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:vantis-pack> -DOUTPUT=${man_page}
            -DVERSION=${PROJECT_VERSION} -DRELEASE_DATE=${VANTIS_RELEASE_DATE}
            -DPROGRAM_DIR=${CMAKE_INSTALL_FULL_DATADIR}/vantis-pack
            -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS vantis-pack ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Making the manual page vantis-pack.1 from vantis-pack --help"
    VERBATIM)
  add_custom_target(vantis-pack-man ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME vantis-pack)
set(CPACK_PACKAGE_VENDOR "Pellory Games")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME windows-x86)
  else()
    set(CPACK_SYSTEM_NAME windows-x86_64)
  endif()
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
endif()
set(CPACK_PACKAGE_FILE_NAME "vantis-pack-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/release)
# The tool without symbols; the installer program is built without them already.
set(CPACK_STRIP_FILES ON)
include(CPack)
