# project_add_module(NAME SOURCES...): an in-process server shipped as NAME.ax beside the programs.
# Only the four exported entry points are visible; everything else stays inside the module.
function(project_add_module name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".ax"
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE platform)
  target_link_options(${name} PRIVATE -Wl,--no-undefined)
endfunction()

# Where tests/support/make-fixtures puts the ffmpeg-made streams, and the CTest fixture that makes them.
set(PROJECT_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
set(PROJECT_STREAM_FIXTURES ffmpeg_streams)

# project_add_test(NAME SOURCES... [LIBS libs...] [NEEDS_STREAMS]): a GoogleTest executable
# registered with CTest. NEEDS_STREAMS makes CTest create the fixture streams before its tests.
function(project_add_test name)
  cmake_parse_arguments(T "NEEDS_STREAMS" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set(fixture_properties "")
  if(T_NEEDS_STREAMS)
    set(fixture_properties FIXTURES_REQUIRED ${PROJECT_STREAM_FIXTURES})
  endif()
  # One value per property: gtest_discover_tests splits a list value into separate words.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "FIXTURE_DIR=${PROJECT_FIXTURE_DIR}"
               ENVIRONMENT_MODIFICATION "BIN_DIR=set:${CMAKE_BINARY_DIR}/bin"
               ${fixture_properties})
endfunction()
