# The Windows program's tests, run on this machine under Wine: the unit tests, the end-to-end
# table with CR LF line ends, and the desktop box in a real window under Xvfb. Each test starts from its own
# Wine prefix in the build directory, set up once by a fixture.

set(wine /usr/lib/wine/wine64)
set(wine_prefix ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
set(wine_environment WINEPREFIX=${wine_prefix} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)

add_test(NAME wine_start COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_session.sh start ${wine})
add_test(NAME wine_stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_session.sh stop ${wine})
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${wine_environment}")
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${wine_environment}")

# Host programs are named by path: CTest would start an imported target through Wine.
add_test(NAME end_to_end_wine
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/end_to_end_test.py
                 $<TARGET_FILE:corvenmark> --version ${PROJECT_VERSION}
                 --duckdb-version ${CORVENMARK_DUCKDB_VERSION} --runner ${wine} --windows
                 ${pinned_sqlite})
set_tests_properties(end_to_end_wine PROPERTIES FIXTURES_REQUIRED wine
                     ENVIRONMENT "${wine_environment};DISPLAY=" TIMEOUT 900)

foreach(script formats convert diff_data)
  add_test(NAME ${script}_wine
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/${script}_test.py
                   $<TARGET_FILE:corvenmark> --version ${PROJECT_VERSION}
                   --duckdb-version ${CORVENMARK_DUCKDB_VERSION} --runner ${wine} --windows)
  set_tests_properties(${script}_wine PROPERTIES FIXTURES_REQUIRED wine
                       ENVIRONMENT "${wine_environment};DISPLAY=" TIMEOUT 900)
endforeach()

add_test(NAME unit_tests_wine COMMAND ${wine} $<TARGET_FILE:corvenmark_tests> --gtest_brief=1)
set_tests_properties(unit_tests_wine PROPERTIES FIXTURES_REQUIRED wine
                     ENVIRONMENT "${wine_environment};DISPLAY=" TIMEOUT 900)

add_test(NAME desktop_window_wine
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/desktop_window_test.sh ${wine} $<TARGET_FILE:corvenmark>
                 ${CMAKE_CURRENT_BINARY_DIR}/screenshots)
set_tests_properties(desktop_window_wine PROPERTIES FIXTURES_REQUIRED wine
                     ENVIRONMENT "${wine_environment}" TIMEOUT 300 RUN_SERIAL ON)

find_program(MINGW_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
add_test(NAME windows_imports
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_imports_test.sh ${MINGW_OBJDUMP}
                 $<TARGET_FILE:corvenmark>)

add_test(NAME windows_resources
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/windows_resources_test.py
                 $<TARGET_FILE:corvenmark> ${PROJECT_VERSION})
