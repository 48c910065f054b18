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

# The time limit of every test, in seconds. A test that hangs then fails on
# its own, well inside the limit of a whole run (ctest --timeout 600 on a busy
# machine, under the sanitizers), instead of holding the run to its end. The
# slowest tests take well under a third of it there.
set(QB_TEST_TIMEOUT 300)

# Gives the tests made with add_test in the current directory that have no
# time limit of their own the common one. qb_test and qb_x_display_test run it
# when the directory has been read, so no test is left without a limit.
function(qb_limit_test_times)
  get_directory_property(tests TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} TIMEOUT limit)
    if(NOT limit)
      set_tests_properties(${test} PROPERTIES TIMEOUT ${QB_TEST_TIMEOUT})
    endif()
  endforeach()
endfunction()

function(qb_limit_test_times_later)
  get_directory_property(planned QB_TEST_TIMES_PLANNED)
  if(NOT planned)
    set_directory_properties(PROPERTIES QB_TEST_TIMES_PLANNED ON)
    cmake_language(DEFER CALL qb_limit_test_times)
  endif()
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
    # Listing a program's tests starts it under the sanitizers, which a busy
    # machine may take a while to do.
    DISCOVERY_TIMEOUT 120
    TEST_PREFIX "${name}."
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    # The time limit comes first: the labels reach each case's properties
    # spread out as separate arguments, and anything after a second label
    # would be lost with it.
    PROPERTIES TIMEOUT ${QB_TEST_TIMEOUT} LABELS "${labels}")
  qb_limit_test_times_later()
endfunction()

# qb_x_display_test(name COMMAND ... [LABELS ...] [ENVIRONMENT ...])
# A test on a real X display: a virtual one from xvfb-run (none is made when
# xvfb-run is missing). Qt on X asks for the D-Bus session bus (its
# accessibility bridge does, once a window shows); without a bus address
# libdbus forks to launch one, and a child forked from a threaded process under
# the sanitizers can hang for ever in their allocator. The test is given the
# address of a socket that cannot exist: no bus, and nothing to launch.
set(QB_X_DISPLAY_ENVIRONMENT "QT_QPA_PLATFORM=xcb" "DBUS_SESSION_BUS_ADDRESS=unix:path=/dev/null/no-session-bus")
find_program(QB_XVFB_RUN xvfb-run)
function(qb_x_display_test name)
  cmake_parse_arguments(ARG "" "" "COMMAND;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT QB_XVFB_RUN)
    return()
  endif()
  set(labels ${ARG_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  add_test(NAME ${name}
    COMMAND ${QB_XVFB_RUN} -a -s "-screen 0 1280x800x24" ${ARG_COMMAND}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(environment ${QB_X_DISPLAY_ENVIRONMENT} ${ARG_ENVIRONMENT})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${QB_TEST_TIMEOUT}
    ENVIRONMENT "${environment}")
endfunction()
