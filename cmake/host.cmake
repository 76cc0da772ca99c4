# Native tree: core, host tools, unit tests, fuzz targets, benchmarks.
find_package(Threads REQUIRED)

if(PV_FUZZ)
  file(GLOB PV_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*.cpp)
  set(PV_FUZZ_SECONDS 15 CACHE STRING "Seconds each fuzz target runs under CTest")
  foreach(src ${PV_FUZZERS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(fuzz_${name} ${src})
    target_link_libraries(fuzz_${name} PRIVATE pvcore)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    # The seeds are read from the source tree; what the fuzzer finds goes to the build tree.
    # A "_threads" target runs the schedule of its namesake and takes its seeds.
    string(REGEX REPLACE "_threads$" "" seed_name ${name})
    set(corpus ${CMAKE_SOURCE_DIR}/fuzz/corpus/${seed_name})
    set(found ${CMAKE_BINARY_DIR}/corpus/${name})
    file(MAKE_DIRECTORY ${found})
    set(seeds ${found})
    if(EXISTS ${corpus})
      list(APPEND seeds ${corpus})
    endif()
    add_test(NAME fuzz_${name}
             COMMAND fuzz_${name} -max_total_time=${PV_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10 ${seeds})
  endforeach()
  return()
endif()

# Host tools, one folder each.
file(GLOB PV_TOOL_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tools/*)
foreach(dir ${PV_TOOL_DIRS})
  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# The walk's thread-against-single-thread tests, on their own under ThreadSanitizer.
if(PV_TSAN)
  find_package(GTest REQUIRED)
  add_executable(pv_walk_tsan_tests ${CMAKE_SOURCE_DIR}/tests/native/archive_walk_test.cpp)
  target_link_libraries(pv_walk_tsan_tests PRIVATE pvpack_host GTest::gtest_main)
  add_test(NAME walk_threads_tsan COMMAND pv_walk_tsan_tests)
  set_property(TEST walk_threads_tsan PROPERTY ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1")
  return()
endif()

# The includes point one way (docs/architecture.md).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME layering COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/check-layers.py ${CMAKE_SOURCE_DIR})
add_test(NAME layering_check COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/native/check_layers_test.py)

# Native unit tests.
find_package(GTest REQUIRED)
file(GLOB PV_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
if(PV_NATIVE_TESTS)
  add_executable(pv_native_tests ${PV_NATIVE_TESTS})
  target_link_libraries(pv_native_tests PRIVATE pvcore GTest::gtest_main Threads::Threads)
  # Host tools that want their code unit-tested register a library here.
  get_property(PV_TOOL_TEST_LIBS GLOBAL PROPERTY PV_TOOL_TEST_LIBS)
  target_link_libraries(pv_native_tests PRIVATE ${PV_TOOL_TEST_LIBS})
  target_compile_definitions(pv_native_tests PRIVATE PV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                             PV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  include(GoogleTest)
  gtest_discover_tests(pv_native_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
endif()

# The set-up script, against a fake apt.
add_test(NAME setup_script COMMAND bash ${CMAKE_SOURCE_DIR}/tests/scripts/setup_script_test.sh)

# Benchmarks (never part of the test run).
find_package(benchmark QUIET)
find_package(PNG QUIET)  # the image benchmark compares against libpng
if(benchmark_FOUND)
  file(GLOB PV_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
  foreach(src ${PV_BENCHES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(bench_${name} ${src})
    target_link_libraries(bench_${name} PRIVATE pvcore benchmark::benchmark Threads::Threads)
    get_property(PV_TOOL_TEST_LIBS GLOBAL PROPERTY PV_TOOL_TEST_LIBS)
    target_link_libraries(bench_${name} PRIVATE ${PV_TOOL_TEST_LIBS})
    if(PNG_FOUND)
      target_link_libraries(bench_${name} PRIVATE PNG::PNG)
    endif()
  endforeach()
endif()
