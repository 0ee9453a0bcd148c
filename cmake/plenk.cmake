# Each folder contributes its *.cpp files; *_test.cpp files go to the tests,
# main.cpp to the program. New files are picked up at the next build.
function(plenk_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    foreach(f ${found})
      if(NOT f MATCHES "_test\\.cpp$" AND NOT f MATCHES "/main\\.cpp$")
        list(APPEND result ${f})
      endif()
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(plenk_library name)
  plenk_sources(srcs ${ARGN})
  if(srcs)
    add_library(${name} STATIC ${srcs})
  else()
    add_library(${name} STATIC ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
endfunction()

# A test executable of the *_test.cpp files in the folders, run by ctest in `shards` parts
# (gtest's own sharding): one process per part, not per test case, because starting a program
# that loads the media libraries costs a third of a second here. A part that hangs is killed by
# its timeout; its output names the test that was running.
function(plenk_tests name shards)
  set(srcs)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*_test.cpp)
    list(APPEND srcs ${found})
  endforeach()
  if(NOT srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty_test.cpp)
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE plenk_test_paths GTest::gtest_main GTest::gmock)
  if(PLENK_PCH)
    # GoogleTest, GoogleMock and JSON are most of every test file's compile time.
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h>
      <nlohmann/json.hpp> <filesystem> <string> <vector> <map> <optional> <functional>)
  endif()
  if(PLENK_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # The test files themselves, not the code they test: at -O2 with full stack-scope checks and
    # variable tracking, GCC took 31 s for one of them; this takes 17 s. The product's own files
    # keep every check.
    target_compile_options(${name} PRIVATE -O1 -fno-sanitize-address-use-after-scope
      -fno-var-tracking-assignments)
  endif()
  math(EXPR last "${shards} - 1")
  foreach(i RANGE ${last})
    add_test(NAME ${name}/${i} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name}/${i} PROPERTIES TIMEOUT 900 LABELS ${name}
      ENVIRONMENT "GTEST_TOTAL_SHARDS=${shards};GTEST_SHARD_INDEX=${i}")
  endforeach()
endfunction()
