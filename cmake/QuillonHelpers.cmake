# quillon_library(<name> SOURCES ... LIBS ...): one static library per folder.
function(quillon_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE ${L_PRIVATE_LIBS})
endfunction()

# quillon_test(<name> LABEL <label> SOURCES ... LIBS ...): a GoogleTest program
# whose tests CTest runs one by one under the folder's label.
function(quillon_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    QUILLON_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    QUILLON_BUILD_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${T_LABEL}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILLON_BUILD_DIR=${CMAKE_BINARY_DIR}"
    DISCOVERY_TIMEOUT 120)
endfunction()

# quillon_fuzz(<name> SOURCES ... LIBS ... CORPUS <dir>): a libFuzzer target.
# Without QUILLON_FUZZ it builds as a replay program that feeds every file of
# its corpus to the target once; CTest runs it under the label "fuzz".
function(quillon_fuzz name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(QUILLON_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(NOT QUILLON_FUZZ)
    add_test(NAME ${name} COMMAND ${name} ${F_CORPUS})
    set_tests_properties(${name} PROPERTIES LABELS fuzz)
  endif()
endfunction()
