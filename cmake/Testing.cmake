# GoogleTest is built for the target from Debian's sources, and every test
# executable runs under Wine in the build's private prefix.

set(TV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${TV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(t gtest gtest_main)
  target_compile_options(${t} PRIVATE -Wno-error)
  # GoogleTest needs exceptions off in the project build as well.
  target_compile_definitions(${t} PUBLIC GTEST_HAS_EXCEPTIONS=0)
endforeach()

set(TV_WINE_STATE ${CMAKE_BINARY_DIR}/wine CACHE PATH "Wine prefix and session state for tests")
set(TV_WINE_RUN ${PROJECT_SOURCE_DIR}/scripts/wine-run)
# Screenshots of dialogs go to build/screenshots/<target>, as a Windows path
# (Z: is /).
get_filename_component(TV_TARGET_NAME ${CMAKE_BINARY_DIR} NAME)
set(TV_SCREENSHOT_DIR ${PROJECT_SOURCE_DIR}/build/screenshots/${TV_TARGET_NAME})
file(MAKE_DIRECTORY ${TV_SCREENSHOT_DIR})
string(REPLACE "/" "\\" TV_SCREENSHOT_DIR_WINDOWS "Z:${TV_SCREENSHOT_DIR}")

# Both targets run every test, each build in its own prefix.
add_test(NAME wine_session_start
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session start ${TV_WINE_STATE} ${CMAKE_BINARY_DIR}/bin)
add_test(NAME wine_session_stop
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session stop ${TV_WINE_STATE})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

# tv_add_test(name SOURCES ... [LIBS ...] [LOCKS lock...] [SERIAL] [WINDOWS] [TIMEOUT s] [ARGS arg...])
# One GoogleTest executable, run as one CTest test under Wine, ARGS at the
# end of its command line. WINDOWS marks
# a program that shows windows: such programs take turns on the shared X
# display, so that a screenshot never shows another test's window on top.
function(tv_add_test name)
  cmake_parse_arguments(T "SERIAL;WINDOWS" "TIMEOUT" "SOURCES;LIBS;LOCKS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tvtestsupport GTest::gtest ${T_LIBS})
  add_test(NAME ${name} COMMAND ${TV_WINE_RUN} ${TV_WINE_STATE} --gtest $<TARGET_FILE:${name}> ${T_ARGS})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                       ENVIRONMENT "TV_SCREENSHOT_DIR=${TV_SCREENSHOT_DIR_WINDOWS}")
  if(T_WINDOWS)
    list(APPEND T_LOCKS display)
  endif()
  if(T_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
  if(T_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
  if(T_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
