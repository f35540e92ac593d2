# orvantix_add_gui_test(<name> SOURCES <files...> [LIBS <libs...>] [X_SERVER]
#                       [LAB] [TIMEOUT <s>] [LABEL <label>])
#
# A widget test program: the shared main() (offscreen, or under a private
# Xvfb with X_SERVER, for live video), the helpers in
# tests/gui, a bin/ directory of its own with a Lang/ copy (so tests never
# touch the program's language choice or logs), screenshots beside it.
# LAB: the whole program against the camera simulator in namespaces the test
# creates; root only, skipped otherwise, and run alone because it measures.
# LABEL: the tests' CTest label instead of gui (outside: judged by an
# outside program).
include(GoogleTest)
file(GLOB ORVANTIX_LANG_FILES_FOR_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/lang/*.lng)

function(orvantix_add_gui_test name)
  cmake_parse_arguments(T "X_SERVER;LAB" "TIMEOUT;LABEL" "SOURCES;LIBS" ${ARGN})
  set(bin ${CMAKE_CURRENT_BINARY_DIR}/bin)
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/gui/GuiTestMain.cpp)
  if(T_X_SERVER)
    target_compile_definitions(${name} PRIVATE ORVANTIX_TEST_X_SERVER)
  endif()
  target_include_directories(${name} PRIVATE
    ${PROJECT_SOURCE_DIR}/tests/gui ${PROJECT_SOURCE_DIR}/tests/unit/support
    ${PROJECT_SOURCE_DIR}/tests/unit/operations ${PROJECT_SOURCE_DIR}/tests/unit/qvipcsdk)
  target_link_libraries(${name} PRIVATE orvantix_gui ${T_LIBS} Qt6::Test GTest::gtest)
  target_compile_definitions(${name} PRIVATE
    ORVANTIX_SCREENSHOT_DIR="${CMAKE_CURRENT_BINARY_DIR}/screenshots")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${bin} AUTOMOC ON)
  orvantix_target_defaults(${name})
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/Lang
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ORVANTIX_LANG_FILES_FOR_TESTS} ${bin}/Lang)

  set(label gui)
  if(T_LABEL)
    set(label ${T_LABEL})
  endif()
  set(extra)
  if(T_LAB)
    # The lab (tests/lab): namespaces, the simulator, the flood station.
    target_link_libraries(${name} PRIVATE orvantix_lab)
    set(label lab)
    list(APPEND extra RUN_SERIAL TRUE)
  endif()
  if(T_TIMEOUT)
    list(APPEND extra TIMEOUT ${T_TIMEOUT})
  endif()
  # The tests of one program share its Lang/Language.ini, which tests that
  # switch languages write: they take turns, other programs run alongside.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES LABELS ${label}
    RESOURCE_LOCK ${name}_language ${extra})
endfunction()
