# Test executables: natively each GoogleTest case becomes a CTest test; the Windows build runs
# each test program as one CTest test through Wine (CMAKE_CROSSCOMPILING_EMULATOR).

if(PLENWICK_BUILD_TESTS)
  if(PLENWICK_WINDOWS)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix"
        CACHE STRING "Runs Windows test programs" FORCE)
  endif()
  # Natively the system's package; for the Windows build the one that scripts/lib.sh
  # (ensure_mingw_gtest) builds for MinGW into a prefix of the build folder, and only that one
  # (the host's own package is for the native build).
  if(PLENWICK_WINDOWS)
    set(PLENWICK_MINGW_GTEST_PREFIX "${PROJECT_SOURCE_DIR}/build/mingw-gtest"
        CACHE PATH "Where GoogleTest for MinGW is installed")
    find_package(GTest CONFIG PATHS "${PLENWICK_MINGW_GTEST_PREFIX}" NO_DEFAULT_PATH
                 NO_CMAKE_FIND_ROOT_PATH)
  else()
    find_package(GTest CONFIG)
  endif()
  if(NOT GTest_FOUND)
    message(FATAL_ERROR "GoogleTest for this target was not found; run the test command "
                        "(scripts/test.sh), or source scripts/lib.sh and run ensure_mingw_gtest "
                        "for the Windows build, or configure with -DPLENWICK_BUILD_TESTS=OFF")
  endif()
  if(NOT PLENWICK_WINDOWS)
    include(GoogleTest)
  endif()
endif()

# plenwick_add_test(<name> SOURCES <files...> LIBS <libs...> [LABELS <labels...>])
function(plenwick_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  if(PLENWICK_WINDOWS)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "wine;${T_LABELS}" TIMEOUT 600)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "native;${T_LABELS}"
                         TIMEOUT 300)
  endif()
endfunction()
