# corvenmark_fetch_npm(PACKAGE <name>@<version> SHA256 <hex> DESTINATION <dir> MEMBERS <path>...)
#
# Fetches a package's tarball from the npm registry with `npm pack`, refuses it unless its
# SHA-256 is the one pinned (so that a package republished or changed on its way is noticed),
# and copies the named members (paths inside the tarball, such as package/duckdb.dll) into
# DESTINATION. A failed fetch stops the configure with npm's own reason.

function(corvenmark_fetch_npm)
  cmake_parse_arguments(PARSE_ARGV 0 fetch "" "PACKAGE;SHA256;DESTINATION" "MEMBERS")
  find_program(NPM_PROGRAM npm REQUIRED)
  string(MAKE_C_IDENTIFIER "${fetch_PACKAGE}" download_name)
  set(download_dir ${CMAKE_BINARY_DIR}/_deps/download-${download_name})
  file(REMOVE_RECURSE ${download_dir})
  file(MAKE_DIRECTORY ${download_dir} ${fetch_DESTINATION})
  message(STATUS "Fetching ${fetch_PACKAGE}")
  execute_process(
    COMMAND ${NPM_PROGRAM} pack ${fetch_PACKAGE} --loglevel=error
    WORKING_DIRECTORY ${download_dir}
    OUTPUT_VARIABLE tarball OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_VARIABLE npm_errors
    RESULT_VARIABLE npm_status)
  if(NOT npm_status EQUAL 0 OR NOT EXISTS ${download_dir}/${tarball})
    message(FATAL_ERROR "npm pack ${fetch_PACKAGE} failed:\n${npm_errors}")
  endif()
  file(SHA256 ${download_dir}/${tarball} tarball_sha256)
  if(NOT tarball_sha256 STREQUAL fetch_SHA256)
    message(FATAL_ERROR "${tarball} from ${fetch_PACKAGE} has SHA-256 ${tarball_sha256}, "
                        "expected ${fetch_SHA256}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar xzf ${tarball} ${fetch_MEMBERS}
    WORKING_DIRECTORY ${download_dir}
    RESULT_VARIABLE tar_status)
  if(NOT tar_status EQUAL 0)
    message(FATAL_ERROR "${tarball} lacks one of ${fetch_MEMBERS}")
  endif()
  foreach(member IN LISTS fetch_MEMBERS)
    file(COPY ${download_dir}/${member} DESTINATION ${fetch_DESTINATION})
  endforeach()
  file(REMOVE_RECURSE ${download_dir})
endfunction()
