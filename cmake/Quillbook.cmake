# Shared build helpers.

# Warnings for our own code.
function(qb_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# qb_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
function(qb_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  qb_warnings(${name})
endfunction()

# qb_test(name [GUI] SOURCES ... LIBS ... [LABELS ...])
# A GoogleTest executable; its cases are discovered when ctest runs. Its main()
# sets up the environment (offscreen platform, source and program folders).
function(qb_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(ARG_GUI)
    set(testmain qb_testmain_gui)
  else()
    set(testmain qb_testmain_core)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} qb_testsupport ${testmain} GTest::gtest GTest::gmock)
  qb_warnings(${name})
  set(labels ${ARG_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${name}."
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES LABELS "${labels}")
endfunction()
