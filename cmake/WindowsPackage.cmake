# The Windows zip: corvenmark.exe, the DuckDB library it loads from its own folder, the README
# and the license, made by `cpack`.
install(TARGETS corvenmark RUNTIME DESTINATION .)
install(FILES ${CORVENMARK_DUCKDB_LIBRARY} DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME corvenmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME corvenmark-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
