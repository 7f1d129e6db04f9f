# Builds SQLite from its single-file amalgamation as the target SQLite::SQLite3, for platforms
# where Debian packages no SQLite library (the MinGW-w64 cross build). The npm registry carries
# the amalgamation inside a pinned version of the better-sqlite3 package; only its SQLite
# sources are used.

set(CORVENMARK_SQLITE_NPM_PACKAGE "better-sqlite3@12.9.0" CACHE STRING
    "npm package whose deps/sqlite3 holds the SQLite amalgamation")
set(sqlite_dir ${CMAKE_BINARY_DIR}/_deps/sqlite)

if(NOT EXISTS ${sqlite_dir}/sqlite3.c)
  find_program(NPM_PROGRAM npm REQUIRED)
  set(download_dir ${CMAKE_BINARY_DIR}/_deps/sqlite-download)
  file(REMOVE_RECURSE ${download_dir})
  file(MAKE_DIRECTORY ${download_dir} ${sqlite_dir})
  message(STATUS "Fetching the SQLite amalgamation from ${CORVENMARK_SQLITE_NPM_PACKAGE}")
  execute_process(
    COMMAND ${NPM_PROGRAM} pack ${CORVENMARK_SQLITE_NPM_PACKAGE} --silent
    WORKING_DIRECTORY ${download_dir}
    OUTPUT_VARIABLE tarball OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE npm_status)
  if(NOT npm_status EQUAL 0 OR NOT EXISTS ${download_dir}/${tarball})
    message(FATAL_ERROR "npm pack ${CORVENMARK_SQLITE_NPM_PACKAGE} failed")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar xzf ${tarball}
            package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
    WORKING_DIRECTORY ${download_dir}
    RESULT_VARIABLE tar_status)
  if(NOT tar_status EQUAL 0)
    message(FATAL_ERROR "${tarball} holds no SQLite amalgamation")
  endif()
  file(COPY ${download_dir}/package/deps/sqlite3/sqlite3.c
            ${download_dir}/package/deps/sqlite3/sqlite3.h
       DESTINATION ${sqlite_dir})
  file(REMOVE_RECURSE ${download_dir})
endif()

enable_language(C)
add_library(sqlite3_amalgamation STATIC ${sqlite_dir}/sqlite3.c)
target_include_directories(sqlite3_amalgamation SYSTEM PUBLIC ${sqlite_dir})
target_compile_definitions(sqlite3_amalgamation PRIVATE
  SQLITE_DQS=0
  SQLITE_ENABLE_FTS5
  SQLITE_ENABLE_MATH_FUNCTIONS
  SQLITE_ENABLE_RTREE
  SQLITE_OMIT_LOAD_EXTENSION)
add_library(SQLite::SQLite3 ALIAS sqlite3_amalgamation)
