# Helpers shared by every folder of the tree.
#
#   velmo_core_library(name SOURCES ... [LIBS ...])
#       A static library of the portable core: no exceptions, no RTTI.
#       Built natively and with mingw-w64.
#   velmo_test(name SOURCES ... [LIBS ...] [WINDOWS])
#       A GoogleTest program run by ctest (native build). With WINDOWS the
#       same sources also go into the Windows test program run under Wine.
#   velmo_fuzzer(name SOURCES ... [LIBS ...] [MAX_LEN n] [SEED_DIR dir [SEED_TARGET t]])
#       A libFuzzer target (only in a clang build with VELMO_FUZZ=ON).
#   velmo_bench(name SOURCES ... [LIBS ...])
#       A Google Benchmark program (native only).

set(VELMO_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
get_filename_component(VELMO_ROOT ${VELMO_ROOT} ABSOLUTE)
set(VELMO_SHARED_DATA ${VELMO_ROOT}/../shared/data)

set(VELMO_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)

if(VELMO_FUZZ)
  set(VELMO_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${VELMO_SAN_FLAGS} -fsanitize=fuzzer-no-link)
  add_link_options(${VELMO_SAN_FLAGS})
  add_compile_definitions(VELMO_FUZZING=1)
endif()

function(velmo_core_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${VELMO_ROOT})
  target_compile_options(${name} PRIVATE ${VELMO_WARNINGS}
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
endfunction()

# Objects that must never be dropped by the linker (static registrations):
# an OBJECT library whose objects go straight into every program linking it.
function(velmo_core_objects name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} OBJECT ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${VELMO_ROOT})
  target_compile_options(${name} PRIVATE ${VELMO_WARNINGS}
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
endfunction()

if(NOT VELMO_WINDOWS AND NOT VELMO_FUZZ)
  find_package(GTest REQUIRED)
endif()

function(velmo_test name)
  cmake_parse_arguments(A "WINDOWS" "" "SOURCES;LIBS" ${ARGN})
  if(VELMO_WINDOWS)
    if(A_WINDOWS)
      set(abs_sources "")
      foreach(src IN LISTS A_SOURCES)
        get_filename_component(abs ${src} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        list(APPEND abs_sources ${abs})
      endforeach()
      set_property(GLOBAL APPEND PROPERTY VELMO_WINTEST_SOURCES ${abs_sources})
      set_property(GLOBAL APPEND PROPERTY VELMO_WINTEST_LIBS ${A_LIBS})
    endif()
    return()
  endif()
  if(VELMO_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${VELMO_ROOT})
  target_compile_options(${name} PRIVATE ${VELMO_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VELMO_SHARED_DATA="${VELMO_SHARED_DATA}"
    VELMO_SOURCE_DIR="${VELMO_ROOT}"
    VELMO_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()

# Every fuzzer also gets a bounded ctest run ("<name>_run") over its seeds in
# fuzz/<layer>/seeds/<name>/, the files fuzz/seeds.txt names for it and the
# seeds a build step writes (SEED_DIR, made by the target SEED_TARGET). New
# inputs go to a corpus folder of the build, never into the seeds.
# VELMO_FUZZ_SECONDS sets the length of each run. MAX_LEN must cover the
# largest seed (libFuzzer cuts longer inputs).
set(VELMO_FUZZ_SECONDS 20 CACHE STRING "Seconds of each bounded fuzz run")
function(velmo_fuzzer name)
  cmake_parse_arguments(A "" "MAX_LEN;SEED_DIR;SEED_TARGET" "SOURCES;LIBS" ${ARGN})
  if(NOT VELMO_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${VELMO_ROOT})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  # The core is built without RTTI; so are the drivers (UBSan's vptr check
  # needs type information on both sides).
  target_compile_options(${name} PRIVATE -fno-rtti)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY VELMO_FUZZERS ${name})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus/${name})
  file(MAKE_DIRECTORY ${corpus})
  set(args -max_total_time=${VELMO_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
           -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/${name}- ${corpus})
  if(A_MAX_LEN)
    list(PREPEND args -max_len=${A_MAX_LEN})
  endif()
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${name})
    list(APPEND args ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${name})
  endif()
  # fuzz/seeds.txt: "<fuzzer> <file>" per line, the file under the shared
  # data folder when it starts with "data/", else under the source tree.
  # Files that are not there are left out (the shared data may be absent).
  set(listed ${CMAKE_CURRENT_BINARY_DIR}/seeds-listed/${name})
  file(REMOVE_RECURSE ${listed})
  set(seedlist ${VELMO_ROOT}/fuzz/seeds.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${seedlist})
  if(EXISTS ${seedlist})
    file(STRINGS ${seedlist} lines REGEX "^${name}[ \t]")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^${name}[ \t]+" "" file "${line}")
      string(STRIP "${file}" file)
      if(file MATCHES "^data/")
        string(REGEX REPLACE "^data/" "${VELMO_SHARED_DATA}/" path "${file}")
      else()
        set(path ${VELMO_ROOT}/${file})
      endif()
      if(EXISTS ${path})
        # Copied under a name that keeps seeds of the same base name apart.
        string(REGEX REPLACE "[/\\]" "_" flat "${file}")
        configure_file(${path} ${listed}/${flat} COPYONLY)
      endif()
    endforeach()
  endif()
  if(EXISTS ${listed})
    list(APPEND args ${listed})
  endif()
  if(A_SEED_DIR)
    list(APPEND args ${A_SEED_DIR})
    if(A_SEED_TARGET)
      add_dependencies(${name} ${A_SEED_TARGET})
    endif()
  endif()
  add_test(NAME ${name}_run COMMAND ${name} ${args})
  math(EXPR timeout "${VELMO_FUZZ_SECONDS} * 4 + 60")
  set_tests_properties(${name}_run PROPERTIES TIMEOUT ${timeout})
endfunction()

function(velmo_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(VELMO_WINDOWS OR VELMO_FUZZ OR NOT VELMO_BENCH)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${VELMO_ROOT})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark)
  target_compile_definitions(${name} PRIVATE
    VELMO_SHARED_DATA="${VELMO_SHARED_DATA}"
    VELMO_SOURCE_DIR="${VELMO_ROOT}"
    VELMO_BINARY_DIR="${CMAKE_BINARY_DIR}")
endfunction()

# Links each named library that exists as a target (used by programs that
# take whatever layers the tree has, such as velmo-cli).
function(velmo_link_existing target)
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib})
      target_link_libraries(${target} PRIVATE ${lib})
    endif()
  endforeach()
endfunction()
