# The Windows build, seen from both sides.
#
# In the cross build (tests/CMakeLists.txt includes this file there) every test executable becomes one
# test run under Wine: listing the cases through the emulator at build or test time would start Wine
# once more per executable for nothing. A fixture starts a persistent wineserver and boots the prefix
# once, so the tests do not each wait for Wine's helper processes; another stops it afterwards. Wine's
# background processes must not hold the test's output open, or the test never ends.
#
# In a native test build this adds one test that configures, builds and runs the cross build under Wine,
# where the MinGW-w64 compiler and Wine are installed, and one that runs the end-to-end cases against the
# Windows program it built.
if(CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(STATUS "Windows tests: no Wine found, the tests are built but not run")
    function(gtest_discover_tests target)
    endfunction()
    return()
  endif()

  find_program(M2S_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine)
  set(m2s_wine_env "WINEPREFIX=${M2S_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=")
  # A server already running for the prefix (left by an earlier run) serves as well.
  add_test(NAME wine_start
    COMMAND sh -c "mkdir -p '${M2S_WINEPREFIX}' && { env ${m2s_wine_env} '${M2S_WINESERVER}' -p </dev/null >/dev/null 2>&1; env ${m2s_wine_env} '${M2S_WINE}' wineboot </dev/null >/dev/null 2>&1; }")
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine_stop COMMAND sh -c "env ${m2s_wine_env} '${M2S_WINESERVER}' -k </dev/null >/dev/null 2>&1; true")
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

  # Every test directory asks for discovery; here that is one test per executable.
  function(gtest_discover_tests target)
    add_test(NAME ${target} COMMAND ${target} --gtest_color=no)
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900)
  endfunction()
  return()
endif()

find_program(M2S_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(M2S_WINE_PROGRAM NAMES wine64 wine PATHS /usr/lib/wine)
if(NOT M2S_MINGW_CXX OR NOT M2S_WINE_PROGRAM)
  message(STATUS "Windows build: x86_64-w64-mingw32-g++-posix or Wine missing, no Windows test")
  return()
endif()

set(m2s_windows_dir ${CMAKE_BINARY_DIR}/windows)
add_test(NAME windows_build_and_tests
  COMMAND sh -c "'${CMAKE_COMMAND}' -S '${PROJECT_SOURCE_DIR}' -B '${m2s_windows_dir}' -G '${CMAKE_GENERATOR}' --toolchain '${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake' -DCMAKE_BUILD_TYPE=Release -DMESH2SOLID_WERROR=ON -DMESH2SOLID_TESTS=ON && '${CMAKE_COMMAND}' --build '${m2s_windows_dir}' -j 2 && '${CMAKE_CTEST_COMMAND}' --test-dir '${m2s_windows_dir}' --output-on-failure && '${CMAKE_COMMAND}' --build '${m2s_windows_dir}' --target package")
set_tests_properties(windows_build_and_tests PROPERTIES TIMEOUT 1500 RUN_SERIAL TRUE FIXTURES_SETUP windows_build)

# The end-to-end cases once more, against the Windows program under Wine: the same native test
# executable, with the command taken from the environment. It runs in the cross build's own prefix (its
# tests have booted it), with one persistent wineserver for all the cases, so no case waits for Wine's
# start-up. As one test its output names the failed cases only (--gtest_brief).
if(NOT TARGET m2s_driver_e2e_tests)
  return()
endif()
find_program(M2S_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine)
set(m2s_wineprefix ${m2s_windows_dir}/wineprefix)
set(m2s_wine_env WINEPREFIX=${m2s_wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
list(JOIN m2s_wine_env " " m2s_wine_env_words)
add_test(NAME windows_e2e_wine_start
  COMMAND sh -c "mkdir -p '${m2s_wineprefix}' && { env ${m2s_wine_env_words} '${M2S_WINESERVER}' -p </dev/null >/dev/null 2>&1; env ${m2s_wine_env_words} '${M2S_WINE_PROGRAM}' wineboot </dev/null >/dev/null 2>&1; }")
set_tests_properties(windows_e2e_wine_start PROPERTIES
  FIXTURES_SETUP windows_e2e_wine FIXTURES_REQUIRED windows_build TIMEOUT 300)
add_test(NAME windows_e2e_wine_stop
  COMMAND sh -c "env ${m2s_wine_env_words} '${M2S_WINESERVER}' -k </dev/null >/dev/null 2>&1; true")
set_tests_properties(windows_e2e_wine_stop PROPERTIES FIXTURES_CLEANUP windows_e2e_wine)

add_test(NAME windows_e2e COMMAND m2s_driver_e2e_tests --gtest_brief=1 --gtest_color=no)
set_tests_properties(windows_e2e PROPERTIES
  FIXTURES_REQUIRED "windows_build;windows_e2e_wine"
  ENVIRONMENT "M2S_PROGRAM=${m2s_windows_dir}/src/driver/mesh2solid.exe;M2S_FAULTS_PROGRAM=${m2s_windows_dir}/tests/driver/mesh2solid_faults.exe;M2S_EMULATOR=${M2S_WINE_PROGRAM};${m2s_wine_env}"
  TIMEOUT 900)
