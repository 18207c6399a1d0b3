# Starts a Windows program at platform/SafeStartup_win.cpp's entry point, which restricts the
# DLL search to the system folder before the C runtime starts, and points the program's
# LOAD_CONFIG data directory at the load configuration defined there.
# `kind` is GUI or CONSOLE: which of the runtime's start-ups the entry point goes on to.
function(vantis_safe_startup target kind)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/SafeStartup_win.cpp)
  if(kind STREQUAL "GUI")
    set(entry VantisGuiStartup)
  else()
    set(entry VantisConsoleStartup)
  endif()
  # 32-bit MinGW gives C names a leading underscore.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(entry _${entry})
  endif()
  target_link_options(${target} PRIVATE -Wl,--entry=${entry})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/pe-load-config.sh $<TARGET_FILE:${target}> ${CMAKE_NM}
    VERBATIM)
endfunction()
