# Helpers shared by every area's CMakeLists.txt.

# mirota_add_test(NAME <target> SOURCES ... LIBS ... [LABELS unit|integration|gui] [ENV ...])
# One gtest executable, its cases registered with ctest and labelled so that a run can pick a layer.
function(mirota_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  set(props LABELS "${T_LABELS}")
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
