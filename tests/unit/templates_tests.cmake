# The two dialog templates, as the Windows resource compiler builds them from
# ui/setup.rc, checked field by field against their tables.
find_program(SETUP_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres)
if(SETUP_WINDRES)
  set(templates_res ${CMAKE_CURRENT_BINARY_DIR}/setup_templates.res)
  add_custom_command(OUTPUT ${templates_res}
    COMMAND ${SETUP_WINDRES} -I ${PROJECT_SOURCE_DIR}/ui ${PROJECT_SOURCE_DIR}/ui/setup.rc
            -O res -o ${templates_res}
    DEPENDS ${PROJECT_SOURCE_DIR}/ui/setup.rc ${PROJECT_SOURCE_DIR}/ui/resource.h
    VERBATIM)
  add_custom_target(setup_templates_res DEPENDS ${templates_res})
  add_executable(templates_tests templates_test.cpp)
  add_dependencies(templates_tests setup_templates_res)
  target_compile_definitions(templates_tests PRIVATE SETUP_TEMPLATES_RES="${templates_res}")
  target_link_libraries(templates_tests PRIVATE GTest::gtest_main)
  gtest_discover_tests(templates_tests PROPERTIES LABELS unit)
else()
  message(STATUS "No Windows resource compiler: the dialog template test is not built")
endif()
