# quorbix_add_test(NAME name SOURCES ... LIBS ... [ARGS ...] [ALSO_JET3] [WIDE_SCREEN])
# One Qt Test program, run by CTest headless (with ARGS), with the fixture catalogs at QUORBIX_TEST_DATA.
# ALSO_JET3 runs it a second time (NAME_jet3) with basic.mdb read from its Jet 3 build.
# WIDE_SCREEN gives it a 1024x768 screen, which holds the main window as designed (the
# headless platform's own screen is 800 pixels wide, where the main window scrolls).
function(quorbix_add_test)
  cmake_parse_arguments(T "ALSO_JET3;WIDE_SCREEN" "NAME;TIMEOUT" "SOURCES;LIBS;ARGS" ${ARGN})
  set(platform "offscreen")
  if(T_WIDE_SCREEN)
    set(platform "offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/data/screen-1024x768.json")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  target_compile_definitions(${T_NAME} PRIVATE
    QUORBIX_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=${platform};LC_ALL=C.UTF-8")
  if(T_ALSO_JET3)
    add_test(NAME ${T_NAME}_jet3 COMMAND ${T_NAME} ${T_ARGS})
    set_tests_properties(${T_NAME}_jet3 PROPERTIES
      TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=${platform};LC_ALL=C.UTF-8;QUORBIX_TEST_BASIC=basic-jet3.mdb")
  endif()
endfunction()
