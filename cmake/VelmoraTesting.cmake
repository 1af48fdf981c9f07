# velmora_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI] [LABEL <label>]
#                  [PROPERTIES <name value...>])
# A GoogleTest executable whose cases CTest lists one by one. GUI tests get a
# QApplication on the offscreen platform. A case that calls GTEST_SKIP counts as skipped.
# LABEL says what the cases need besides the process itself, so that a run can pick them: x11
# (a real X server), network (servers on loopback); without it a test is unit, quick and
# self-contained. Tests in the virtual machine are labelled vm (tests/vm). One label and one
# environment variable only: a list among the PROPERTIES would shift their pairs. PROPERTIES are
# further CTest properties of every case.
function(velmora_add_test name)
  cmake_parse_arguments(ARG "GUI" "LABEL" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  # Test helpers are reached from the repository root ("tests/support/XvfbServer.h").
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE velmora_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      ENVIRONMENT QT_QPA_PLATFORM=offscreen
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
      TIMEOUT 300
      LABELS ${ARG_LABEL}
      ${ARG_PROPERTIES})
endfunction()
