# varnetta_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [QT | CORE])
# One test binary, run by CTest as one test.  QT gives it a main() that
# creates a QApplication on the offscreen platform before the tests run;
# CORE a QCoreApplication (no GUI module linked: for the logic libraries).
function(varnetta_add_test)
  cmake_parse_arguments(T "QT;CORE" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_QT)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} varnetta_qt_gtest_main GTest::gmock)
  elseif(T_CORE)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} varnetta_core_gtest_main GTest::gmock)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    TIMEOUT 300)
endfunction()
