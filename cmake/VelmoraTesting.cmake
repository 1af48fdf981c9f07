# velmora_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI] [PROPERTIES <name value...>])
# A GoogleTest executable whose cases CTest lists one by one. GUI tests get a
# QApplication on the offscreen platform. A case that calls GTEST_SKIP counts as skipped.
# PROPERTIES are further CTest properties of every case.
function(velmora_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
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
      # One value only: a list would be split into further property names and values.
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
      TIMEOUT 300
      ${ARG_PROPERTIES})
endfunction()
