# Helpers shared by every folder's CMakeLists.txt.
include(GoogleTest)

# tarvo_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One GoogleTest program; each TEST becomes its own ctest entry.
function(tarvo_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT}
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()

# tarvo_add_fuzzer(NAME SOURCES a.cpp LIBS lib1)
# A libFuzzer target (LLVMFuzzerTestOneInput). With TARVO_LIBFUZZER it links
# libFuzzer; otherwise a small driver feeds it seeded random and mutated
# inputs, so every build can run it. Either way ctest runs it for
# TARVO_FUZZ_SECONDS seconds, starting from the seed inputs in
# fuzz/corpus/NAME/ when that folder exists (docs/fuzzing.md).
function(tarvo_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(seeds)
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    set(seeds ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  endif()
  if(TARVO_LIBFUZZER)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # libFuzzer adds what it learns to its first corpus folder and only reads
    # the others: the first is in the build tree, so the seeds stay as they
    # are and later runs start from what earlier runs found.
    set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    file(MAKE_DIRECTORY ${work})
    add_test(NAME fuzz.${name}
             COMMAND ${name} -max_total_time=${TARVO_FUZZ_SECONDS} -rss_limit_mb=1024
                     -print_final_stats=0 ${work} ${seeds})
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/common/standalone_main.cpp)
    add_test(NAME fuzz.${name} COMMAND ${name} -max_total_time=${TARVO_FUZZ_SECONDS} ${seeds})
  endif()
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
endfunction()

# tarvo_add_benchmark(NAME SOURCES a.cpp LIBS lib1)
# A Google Benchmark program; not run by ctest (figures are taken by hand or by scripts/bench.sh).
function(tarvo_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT TARGET benchmark::benchmark)
    return()
  endif()
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

# tarvo_add_man_page(PROGRAM COMPONENT component DESCRIPTION "what it is")
# A section 1 man page made by help2man from the built program's --help and
# --version (cmake/ManPage.cmake), so the page never drifts from the options;
# installed gzip'd with the program's install component. Without help2man
# there is no page.
find_program(TARVO_HELP2MAN help2man)
find_program(TARVO_GZIP gzip)
find_program(TARVO_AWK awk)
if(NOT TARVO_HELP2MAN OR NOT TARVO_GZIP OR NOT TARVO_AWK)
  message(STATUS "help2man, gzip or awk not found: the programs' man pages are not made")
endif()
function(tarvo_add_man_page program)
  cmake_parse_arguments(M "" "COMPONENT;DESCRIPTION" "" ${ARGN})
  if(NOT TARVO_HELP2MAN OR NOT TARVO_GZIP OR NOT TARVO_AWK)
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                     COMMAND ${CMAKE_COMMAND} -D HELP2MAN=${TARVO_HELP2MAN} -D AWK=${TARVO_AWK}
                             -D GZIP=${TARVO_GZIP} -D PROGRAM=$<TARGET_FILE:${program}>
                             -D NAME=${M_DESCRIPTION} -D PAGE=${page}
                             -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
                     DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
                     COMMENT "Writing the ${program} man page"
                     VERBATIM)
  add_custom_target(${program}_man_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${M_COMPONENT})
endfunction()
