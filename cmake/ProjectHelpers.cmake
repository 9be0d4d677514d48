# project_add_module(NAME SOURCES...): an in-process server shipped as NAME.ax beside the programs.
# Only the four exported entry points are visible; everything else stays inside the module.
function(project_add_module name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".ax"
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE platform)
  target_link_options(${name} PRIVATE -Wl,--no-undefined)
endfunction()

# project_add_test(NAME SOURCES... [LIBS libs...]): a GoogleTest executable registered with CTest.
function(project_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "FIXTURE_DIR=${CMAKE_BINARY_DIR}/fixtures;BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
