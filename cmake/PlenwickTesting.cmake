# Test executables: natively each GoogleTest case becomes a CTest test; the Windows build runs
# each test program as one CTest test through Wine (CMAKE_CROSSCOMPILING_EMULATOR).

if(PLENWICK_BUILD_TESTS)
  if(PLENWICK_WINDOWS)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix"
        CACHE STRING "Runs Windows test programs" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main gmock gmock_main)
      target_compile_options(${t} PRIVATE -w)
    endforeach()
  else()
    find_package(GTest REQUIRED)
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
