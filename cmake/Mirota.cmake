# Helpers shared by every area's CMakeLists.txt.

# mirota_add_test(NAME <target> SOURCES ... LIBS ... [LABELS unit|integration|gui] [ENV ...])
# One gtest executable, its cases registered with ctest and labelled so that a run can pick a layer;
# built by the target tests_<label> too.
function(mirota_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  # tests_<label>: every test program of a layer, for builds that run only that layer.
  foreach(label IN LISTS T_LABELS)
    if(NOT TARGET tests_${label})
      add_custom_target(tests_${label})
    endif()
    add_dependencies(tests_${label} ${T_NAME})
  endforeach()
  set(props LABELS "${T_LABELS}")
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# mirota_xvfb_test(<test target>): the test program once more, whole, on a virtual X display of its
# own (tests/gui/run-on-xvfb.sh), for what only a real X server shows; test <target>_xvfb, label gui,
# skipped without Xvfb. Not in sanitizer builds: the X libraries' own allocations would be reported
# there, and the offscreen run of the same program is what those builds check.
function(mirota_xvfb_test target)
  if(WIN32 OR CMAKE_CXX_FLAGS MATCHES "sanitize")
    return()
  endif()
  add_test(NAME ${target}_xvfb COMMAND ${PROJECT_SOURCE_DIR}/tests/gui/run-on-xvfb.sh $<TARGET_FILE:${target}>)
  set_tests_properties(${target}_xvfb PROPERTIES LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 120)
endfunction()

# mirota_atspi_test(NAME <target> SOURCES ... LIBS ...): a test program with its own main that reads
# its windows where a screen reader meets them: run whole on a virtual X display of its own with a
# private session bus, the accessibility bus and the AT-SPI registry (tests/gui/run-on-xvfb.sh,
# tests/gui/run-with-a11y-bus.sh), Qt's AT-SPI bridge switched on; test <target>, label gui, skipped
# without Xvfb, D-Bus or at-spi2-core. Not built without the AT-SPI client (Windows) nor in sanitizer
# builds (as above).
function(mirota_atspi_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT TARGET mirota_atspi_client OR CMAKE_CXX_FLAGS MATCHES "sanitize")
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} mirota_atspi_client Qt6::Test GTest::gtest Threads::Threads)
  add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/tests/gui/run-on-xvfb.sh
                                  ${PROJECT_SOURCE_DIR}/tests/gui/run-with-a11y-bus.sh $<TARGET_FILE:${T_NAME}>)
  set_tests_properties(${T_NAME} PROPERTIES LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 120
                                            ENVIRONMENT QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
endfunction()

# mirota_windows_program(<target> NAME <file name without .exe> DESCRIPTION <text> [CONSOLE])
# On Windows: the program's file name and a version resource (VERSIONINFO) made from the project's
# version, so that Explorer and GetFileVersionInfoW show it; a windowed program unless CONSOLE is given.
# Elsewhere nothing.
function(mirota_windows_program target)
  cmake_parse_arguments(W "CONSOLE" "NAME;DESCRIPTION" "" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  set(MIROTA_RC_NAME ${W_NAME})
  set(MIROTA_RC_DESCRIPTION ${W_DESCRIPTION})
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${W_NAME})
  if(NOT W_CONSOLE)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()
