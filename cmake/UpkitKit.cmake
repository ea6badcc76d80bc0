# The kit runtime: one Win32 program without the C runtime, built from the
# kit, tables, install and archive sources, plus a kit's own resources.

set(UPKIT_KIT_COMPILE_OPTIONS
  -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-stack-protector -fno-threadsafe-statics)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(UPKIT_KIT_ENTRY _KitStartup)
  # Starts on Windows 95 and NT 4.0 as well as today's Windows.
  set(UPKIT_KIT_SUBSYSTEM -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
else()
  set(UPKIT_KIT_ENTRY KitStartup)
  set(UPKIT_KIT_SUBSYSTEM -Wl,--subsystem,windows)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(UPKIT_KIT_FORMAT pei-i386)
else()
  set(UPKIT_KIT_FORMAT pei-x86-64)
endif()
get_filename_component(compiler_name ${CMAKE_CXX_COMPILER} NAME)
string(REGEX REPLACE "-g\\+\\+.*$" "" triple_prefix ${compiler_name})
find_program(UPKIT_OBJDUMP NAMES ${triple_prefix}-objdump REQUIRED)

# The generator of a kit's tables and archives, run on the build machine: a
# cross build runs the native one of cmake/HostTools.cmake.
if(CMAKE_CROSSCOMPILING)
  set(UPKIT_KIT_RESOURCES ${UPKIT_HOST_KIT_RESOURCES})
  set(UPKIT_KIT_RESOURCES_DEPENDS host_tools ${UPKIT_HOST_KIT_RESOURCES})
else()
  set(UPKIT_KIT_RESOURCES $<TARGET_FILE:kit-resources>)
  set(UPKIT_KIT_RESOURCES_DEPENDS kit-resources)
endif()

# The only DLLs a kit may import from.
set(UPKIT_KIT_LIBRARIES kernel32 user32 gdi32 advapi32 comctl32 gcc)

# Builds a kit: NAME the program, RC its resource script, INCLUDE_DIRS where
# windres finds the generated tables and archives, DEPENDS those files.
function(upkit_add_kit)
  cmake_parse_arguments(KIT "" "NAME;RC" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  add_executable(${KIT_NAME} WIN32 ${KIT_RC})
  target_link_libraries(${KIT_NAME} PRIVATE kit_startup kit_runtime ${UPKIT_KIT_LIBRARIES})
  target_include_directories(${KIT_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tables ${KIT_INCLUDE_DIRS})
  target_link_options(${KIT_NAME} PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,-e,${UPKIT_KIT_ENTRY} -Wl,--fatal-warnings -Wl,--no-insert-timestamp
    ${UPKIT_KIT_SUBSYSTEM})
  # windres names no dependencies of its own.
  set_source_files_properties(${KIT_RC} PROPERTIES OBJECT_DEPENDS "${KIT_DEPENDS}")
  set_target_properties(${KIT_NAME} PROPERTIES LINKER_LANGUAGE CXX)
  # Runs on the build machine, for every Windows build (32-bit included).
  add_test(NAME ${KIT_NAME}_binary
    COMMAND ${CMAKE_SOURCE_DIR}/tests/binaries/check-kit-binary ${UPKIT_OBJDUMP} $<TARGET_FILE:${KIT_NAME}>
            ${UPKIT_KIT_FORMAT})
endfunction()
