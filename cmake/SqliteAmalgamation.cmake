# Builds SQLite from its single-file amalgamation as the static library SQLite::SQLite3, so that
# every platform carries the same SQLite, compiled with the same options. The npm registry
# carries the amalgamation inside a pinned version of the better-sqlite3 package; only its SQLite
# sources are used. The first configure of a build directory fetches it with `npm pack`.

include(${CMAKE_CURRENT_LIST_DIR}/FetchNpm.cmake)

set(CORVENMARK_SQLITE_NPM_PACKAGE "better-sqlite3@12.9.0")
# The package's tarball, so that a republished or tampered package is noticed.
set(CORVENMARK_SQLITE_NPM_SHA256
    "ad0e29650140c49d0335b1d356596aa8166f12b758f418a98446130e3278f250")
# The oldest SQLite the program is built with; a package carrying an older one is refused.
set(CORVENMARK_SQLITE_MINIMUM_VERSION 3.45.0)

# Compile-time options, the same on every platform:
# - the full-text, JSON (built in since 3.38), math, R-tree and dbstat features that a database
#   workstation needs, and FTS3/FTS4 so that databases made with them still open;
# - double-quoted strings are identifiers only, never string literals;
# - no loadable extensions: the program never loads code named by a database or a query;
# - multi-thread mode: each connection is used by the thread that opened it, and the engine
#   opens every connection without its mutex (SQLITE_OPEN_NOMUTEX);
# - no memory statistics, deprecated interfaces or shared cache, which nothing here uses and
#   which cost time on every allocation or statement.
# Foreign keys stay off by default, as in every other SQLite.
set(CORVENMARK_SQLITE_OPTIONS
  SQLITE_ENABLE_FTS3
  SQLITE_ENABLE_FTS3_PARENTHESIS
  SQLITE_ENABLE_FTS5
  SQLITE_ENABLE_MATH_FUNCTIONS
  SQLITE_ENABLE_RTREE
  SQLITE_ENABLE_DBSTAT_VTAB
  SQLITE_DQS=0
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_THREADSAFE=2
  SQLITE_DEFAULT_MEMSTATUS=0
  SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_SHARED_CACHE)

set(sqlite_dir ${CMAKE_BINARY_DIR}/_deps/sqlite)
set(sqlite_stamp ${sqlite_dir}/package.txt)
if(EXISTS ${sqlite_stamp})
  file(READ ${sqlite_stamp} fetched_package)
endif()

if(NOT fetched_package STREQUAL CORVENMARK_SQLITE_NPM_PACKAGE
   OR NOT EXISTS ${sqlite_dir}/sqlite3.c OR NOT EXISTS ${sqlite_dir}/sqlite3.h)
  file(REMOVE_RECURSE ${sqlite_dir})
  corvenmark_fetch_npm(PACKAGE ${CORVENMARK_SQLITE_NPM_PACKAGE}
                       SHA256 ${CORVENMARK_SQLITE_NPM_SHA256} DESTINATION ${sqlite_dir}
                       MEMBERS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  file(WRITE ${sqlite_stamp} ${CORVENMARK_SQLITE_NPM_PACKAGE})
endif()

file(STRINGS ${sqlite_dir}/sqlite3.h version_line REGEX "^#define SQLITE_VERSION +\"")
string(REGEX REPLACE "^#define SQLITE_VERSION +\"([0-9.]+)\".*" "\\1" CORVENMARK_SQLITE_VERSION
       "${version_line}")
if(CORVENMARK_SQLITE_VERSION VERSION_LESS CORVENMARK_SQLITE_MINIMUM_VERSION)
  message(FATAL_ERROR "${CORVENMARK_SQLITE_NPM_PACKAGE} carries SQLite "
                      "${CORVENMARK_SQLITE_VERSION}; ${CORVENMARK_SQLITE_MINIMUM_VERSION} or later "
                      "is needed")
endif()
message(STATUS "SQLite ${CORVENMARK_SQLITE_VERSION} from ${CORVENMARK_SQLITE_NPM_PACKAGE}")

enable_language(C)
add_library(sqlite3_amalgamation STATIC ${sqlite_dir}/sqlite3.c)
target_include_directories(sqlite3_amalgamation SYSTEM PUBLIC ${sqlite_dir})
target_compile_definitions(sqlite3_amalgamation PRIVATE ${CORVENMARK_SQLITE_OPTIONS})
if(UNIX)
  # SQLite's Unix code uses POSIX threads for its mutexes and sorter threads, and libm for its
  # math functions. It needs no libdl, since it loads no extensions.
  find_package(Threads REQUIRED)
  target_link_libraries(sqlite3_amalgamation INTERFACE Threads::Threads m)
endif()
add_library(SQLite::SQLite3 ALIAS sqlite3_amalgamation)
