# The Windows program's resources, compiled by windres into corvenmark.exe: the manifest that
# makes UTF-8 its code page, the version information and the icon, drawn at build time by
# resources/make_icon.py. The version is the CMake project version.

enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(CORVENMARK_DESCRIPTION "Corvenmark Studio database workstation")
set(CORVENMARK_FILE_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(resources_dir ${CMAKE_BINARY_DIR}/resources)
set(CORVENMARK_ICON ${resources_dir}/corvenmark.ico)
set(CORVENMARK_MANIFEST ${resources_dir}/corvenmark.manifest)
configure_file(${PROJECT_SOURCE_DIR}/resources/corvenmark.manifest.in ${CORVENMARK_MANIFEST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/corvenmark.rc.in ${resources_dir}/corvenmark.rc
               @ONLY)

# Named by path: a host program given as an imported target would be started through Wine.
add_custom_command(OUTPUT ${CORVENMARK_ICON}
                   COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/resources/make_icon.py
                           ${CORVENMARK_ICON}
                   DEPENDS ${PROJECT_SOURCE_DIR}/resources/make_icon.py
                   COMMENT "Drawing the program's icon")
target_sources(corvenmark PRIVATE ${resources_dir}/corvenmark.rc ${CORVENMARK_ICON})
set_source_files_properties(${resources_dir}/corvenmark.rc PROPERTIES
                            OBJECT_DEPENDS "${CORVENMARK_ICON};${CORVENMARK_MANIFEST}")
