# DuckDB, which the program loads at run time and never links: the C API header it is compiled
# against and the prebuilt library for the target platform, both from pinned npm packages. The
# header comes from the duckdb package's sources; the library from the bindings package for the
# platform. They are fetched once per build directory, and again only when a pin changes.
#
# Defines the target DuckDb::CApi (the header, with every function declared as a plain
# prototype, so that a direct call fails to link instead of importing the library) and
# corvenmark_place_duckdb_library(TARGET), which copies the library beside a built program.

# The release of the library, which the program checks when it loads one.
set(CORVENMARK_DUCKDB_VERSION "1.5.6")
set(duckdb_header_package "duckdb@1.4.4")
set(duckdb_header_member package/src/duckdb/src/include/duckdb.h)
if(WIN32)
  set(duckdb_library_package "@duckdb/node-bindings-win32-x64@${CORVENMARK_DUCKDB_VERSION}-r.1")
  set(duckdb_library_member package/duckdb.dll)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(duckdb_library_package "@duckdb/node-bindings-linux-x64@${CORVENMARK_DUCKDB_VERSION}-r.1")
  set(duckdb_library_member package/libduckdb.so)
else()
  message(WARNING "No DuckDB library is pinned for this platform; the program will report it "
                  "missing when --engine duckdb is used")
  set(duckdb_library_package "")
  set(duckdb_library_member "")
endif()

set(duckdb_dir ${CMAKE_BINARY_DIR}/_deps/duckdb)
set(duckdb_pins "${duckdb_header_package} ${duckdb_library_package}")
if(EXISTS ${duckdb_dir}/pins.txt)
  file(READ ${duckdb_dir}/pins.txt duckdb_fetched_pins)
else()
  set(duckdb_fetched_pins "")
endif()

# Extracts `member` of the npm package `package` into `duckdb_dir`.
function(corvenmark_fetch_npm_member package member)
  find_program(NPM_PROGRAM npm REQUIRED)
  set(download_dir ${CMAKE_BINARY_DIR}/_deps/duckdb-download)
  file(REMOVE_RECURSE ${download_dir})
  file(MAKE_DIRECTORY ${download_dir})
  message(STATUS "Fetching ${member} from ${package}")
  execute_process(
    COMMAND ${NPM_PROGRAM} pack ${package} --silent
    WORKING_DIRECTORY ${download_dir}
    OUTPUT_VARIABLE tarball OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE npm_status)
  if(NOT npm_status EQUAL 0 OR NOT EXISTS ${download_dir}/${tarball})
    message(FATAL_ERROR "npm pack ${package} failed")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar xzf ${tarball} ${member}
    WORKING_DIRECTORY ${download_dir}
    RESULT_VARIABLE tar_status)
  if(NOT tar_status EQUAL 0)
    message(FATAL_ERROR "${tarball} holds no ${member}")
  endif()
  file(COPY ${download_dir}/${member} DESTINATION ${duckdb_dir})
  file(REMOVE_RECURSE ${download_dir})
endfunction()

if(NOT duckdb_fetched_pins STREQUAL duckdb_pins)
  file(REMOVE_RECURSE ${duckdb_dir})
  file(MAKE_DIRECTORY ${duckdb_dir}/include)
  corvenmark_fetch_npm_member(${duckdb_header_package} ${duckdb_header_member})
  file(RENAME ${duckdb_dir}/duckdb.h ${duckdb_dir}/include/duckdb.h)
  if(duckdb_library_package)
    corvenmark_fetch_npm_member(${duckdb_library_package} ${duckdb_library_member})
  endif()
  file(WRITE ${duckdb_dir}/pins.txt "${duckdb_pins}")
endif()

add_library(duckdb_c_api INTERFACE)
target_include_directories(duckdb_c_api SYSTEM INTERFACE ${duckdb_dir}/include)
target_compile_definitions(duckdb_c_api INTERFACE DUCKDB_C_API=
                                                   CORVENMARK_DUCKDB_VERSION="v${CORVENMARK_DUCKDB_VERSION}")
target_link_libraries(duckdb_c_api INTERFACE ${CMAKE_DL_LIBS})
add_library(DuckDb::CApi ALIAS duckdb_c_api)

if(duckdb_library_member)
  get_filename_component(duckdb_library_name ${duckdb_library_member} NAME)
  set(CORVENMARK_DUCKDB_LIBRARY ${duckdb_dir}/${duckdb_library_name})
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
