# How a module is built, tested and benchmarked. A module folder holds
#   <name>.cpp            gateway and numeric core (required)
#   <name>.m              help file, copied beside the built module
#   <name>_test.cpp       C++ tests through the stand-in host
#   test_<name>.m         Octave tests (%! blocks), run in the real host
#   <name>_bench.cpp      Google Benchmark
# and every module gets a fuzz target (fuzz/gateway_fuzz.cpp) in fuzz builds.
#   CMakeLists.txt        anything further the module needs (optional)

if(TOOLBOX_OCTAVE)
  find_program(MKOCTFILE mkoctfile REQUIRED)
  find_program(OCTAVE_CLI octave-cli REQUIRED)
  execute_process(COMMAND ${MKOCTFILE} -p INCFLAGS OUTPUT_VARIABLE OCTAVE_INCFLAGS
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(OCTAVE_INCFLAGS UNIX_COMMAND "${OCTAVE_INCFLAGS}")
endif()

# No single test may run longer than this: a hang fails the run instead of
# holding it up until CI's own limit.
set(TOOLBOX_TEST_TIMEOUT 600)

# A C++ test executable against the stand-in host, run by ctest.
function(toolbox_test name source)
  if(TOOLBOX_FUZZ OR NOT TOOLBOX_CXX_TESTS)
    return()
  endif()
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE standin_host GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${TOOLBOX_TEST_TIMEOUT})
endfunction()

function(toolbox_module name)
  set(dir ${CMAKE_SOURCE_DIR}/${name})

  if(TOOLBOX_OCTAVE)
    # Octave loads a module as a shared object named <name>.mex; the host's
    # symbols are resolved when it is loaded.
    add_library(${name}_mex MODULE ${dir}/${name}.cpp)
    target_include_directories(${name}_mex PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${name}_mex PRIVATE ${OCTAVE_INCFLAGS})
    target_link_options(${name}_mex PRIVATE -Wl,-Bsymbolic)
    set_target_properties(${name}_mex PROPERTIES PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${name}
                          LIBRARY_OUTPUT_DIRECTORY ${TOOLBOX_DIR})
    if(EXISTS ${dir}/${name}.m)
      configure_file(${dir}/${name}.m ${TOOLBOX_DIR}/${name}.m COPYONLY)
    endif()
    if(EXISTS ${dir}/test_${name}.m)
      add_test(NAME ${name}_octave
               COMMAND ${OCTAVE_CLI} --no-init-file --no-site-file --quiet --eval
                       "addpath('${TOOLBOX_DIR}'); addpath('${dir}', '${CMAKE_SOURCE_DIR}/tests', '-end'); [n, nmax] = test('test_${name}', 'quiet', stdout); printf('%d of %d Octave tests passed\\n', n, nmax); exit(n != nmax || nmax == 0)"
               WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
      set_tests_properties(${name}_octave PROPERTIES TIMEOUT ${TOOLBOX_TEST_TIMEOUT})
    endif()
  endif()

  if(EXISTS ${dir}/${name}_test.cpp)
    toolbox_test(${name}_test ${dir}/${name}_test.cpp)
  endif()

  if(TOOLBOX_BENCHMARKS AND EXISTS ${dir}/${name}_bench.cpp)
    add_executable(${name}_bench ${dir}/${name}_bench.cpp)
    target_link_libraries(${name}_bench PRIVATE standin_host benchmark::benchmark)
  endif()

  if(TOOLBOX_FUZZ)
    add_executable(${name}_fuzz ${CMAKE_SOURCE_DIR}/fuzz/gateway_fuzz.cpp)
    target_compile_definitions(${name}_fuzz PRIVATE TOOLBOX_MODULE_SOURCE="${name}/${name}.cpp")
    if(name STREQUAL "crossmap")  # a draw and a forecast per result element
      target_compile_definitions(${name}_fuzz PRIVATE "TOOLBOX_FUZZ_REQUEST_LIMIT=(size_t(16) << 10)")
    endif()
    target_link_libraries(${name}_fuzz PRIVATE standin_host)
    target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer)
  endif()

  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir} ${CMAKE_BINARY_DIR}/${name}-extra)
  endif()
endfunction()
