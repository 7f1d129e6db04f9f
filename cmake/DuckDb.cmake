# DuckDB, which the program loads at run time and never links: the C API header it is compiled
# against and the prebuilt library for the target platform, both from pinned npm packages, each
# tarball checked against its SHA-256. The header comes from the duckdb package's sources; the
# library from the bindings package for the platform. They are fetched once per build
# directory, and again only when a pin changes. The npm registry carries no header of the
# library's release, so the header is that of the last release whose package carries one; the
# program calls only functions it declares, and refuses a library of any other release than the
# one pinned here.
#
# -DCORVENMARK_DUCKDB_DIR=<dir> builds against a header and library already on disk instead
# (duckdb.h and libduckdb.so or duckdb.dll in <dir>), fetching nothing; the library must be of
# the release pinned here.
#
# Defines the target DuckDb::CApi (the header, with every function declared as a plain
# prototype, so that a direct call fails to link instead of importing the library) and
# corvenmark_place_duckdb_library(TARGET), which copies the library beside a built program.

include(${CMAKE_CURRENT_LIST_DIR}/FetchNpm.cmake)

# The release of the library, which the program checks when it loads one.
set(CORVENMARK_DUCKDB_VERSION "1.5.6")
set(duckdb_header_package "duckdb@1.4.4")
set(duckdb_header_sha256 "5bb967dcbcd517670ba5f169f238fb9d6787e53752c60ebe24386169d76941ed")
set(duckdb_header_member package/src/duckdb/src/include/duckdb.h)
if(WIN32)
  set(duckdb_library_package "@duckdb/node-bindings-win32-x64@${CORVENMARK_DUCKDB_VERSION}-r.1")
  set(duckdb_library_sha256 "03873bb6dbef0aa30ba28d12dc6afa63769641823bb64bb425894218442f3e9c")
  set(duckdb_library_name duckdb.dll)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(duckdb_library_package "@duckdb/node-bindings-linux-x64@${CORVENMARK_DUCKDB_VERSION}-r.1")
  set(duckdb_library_sha256 "1b9f82478539bb9a1d1df44bd103121a12ae52142c07158dc52b97d2ec1d69ff")
  set(duckdb_library_name libduckdb.so)
else()
  message(WARNING "No DuckDB library is pinned for this platform; the program will report it "
                  "missing when --engine duckdb is used")
  set(duckdb_library_package "")
  set(duckdb_library_name "")
endif()

set(CORVENMARK_DUCKDB_DIR "" CACHE PATH
    "A directory holding duckdb.h and the DuckDB library to build against, instead of fetching")
if(CORVENMARK_DUCKDB_DIR)
  set(duckdb_include_dir ${CORVENMARK_DUCKDB_DIR})
  set(duckdb_library_dir ${CORVENMARK_DUCKDB_DIR})
  foreach(file duckdb.h ${duckdb_library_name})
    if(NOT EXISTS ${CORVENMARK_DUCKDB_DIR}/${file})
      message(FATAL_ERROR "CORVENMARK_DUCKDB_DIR ${CORVENMARK_DUCKDB_DIR} holds no ${file}")
    endif()
  endforeach()
else()
  set(duckdb_dir ${CMAKE_BINARY_DIR}/_deps/duckdb)
  set(duckdb_include_dir ${duckdb_dir}/include)
  set(duckdb_library_dir ${duckdb_dir})
  set(duckdb_pins "${duckdb_header_package} ${duckdb_library_package}")
  set(duckdb_fetched_pins "")
  if(EXISTS ${duckdb_dir}/pins.txt)
    file(READ ${duckdb_dir}/pins.txt duckdb_fetched_pins)
  endif()
  if(NOT duckdb_fetched_pins STREQUAL duckdb_pins)
    file(REMOVE_RECURSE ${duckdb_dir})
    corvenmark_fetch_npm(PACKAGE ${duckdb_header_package} SHA256 ${duckdb_header_sha256}
                         DESTINATION ${duckdb_include_dir} MEMBERS ${duckdb_header_member})
    if(duckdb_library_package)
      corvenmark_fetch_npm(PACKAGE ${duckdb_library_package} SHA256 ${duckdb_library_sha256}
                           DESTINATION ${duckdb_dir} MEMBERS package/${duckdb_library_name})
    endif()
    file(WRITE ${duckdb_dir}/pins.txt "${duckdb_pins}")
  endif()
endif()

add_library(duckdb_c_api INTERFACE)
target_include_directories(duckdb_c_api SYSTEM INTERFACE ${duckdb_include_dir})
target_compile_definitions(duckdb_c_api INTERFACE DUCKDB_C_API=
                           CORVENMARK_DUCKDB_VERSION="v${CORVENMARK_DUCKDB_VERSION}")
target_link_libraries(duckdb_c_api INTERFACE ${CMAKE_DL_LIBS})
add_library(DuckDb::CApi ALIAS duckdb_c_api)

if(duckdb_library_name)
  set(CORVENMARK_DUCKDB_LIBRARY ${duckdb_library_dir}/${duckdb_library_name})
else()
  set(CORVENMARK_DUCKDB_LIBRARY "")
endif()

# Copies the library beside `target`'s executable, where the program looks for it.
function(corvenmark_place_duckdb_library target)
  if(CORVENMARK_DUCKDB_LIBRARY)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CORVENMARK_DUCKDB_LIBRARY}
                               $<TARGET_FILE_DIR:${target}>)
  endif()
endfunction()
