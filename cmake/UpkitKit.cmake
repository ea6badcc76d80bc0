# The kit runtime: one Win32 program without the C runtime, built from the
# kit, tables, install and archive sources, plus a kit's own resources.

# UPKIT_NO_ASSERT: the engine's checks (platform/invariant.h) print and abort
# through a C library, which the kit does without; they compile to nothing.
# UPKIT_KIT_RUNTIME: the engine is compiled for the kit, where size comes
# before the last percent of speed (archive/arith_decoding.h).
set(UPKIT_KIT_COMPILE_OPTIONS
  -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-stack-protector -fno-threadsafe-statics
  -DUPKIT_NO_ASSERT -DUPKIT_KIT_RUNTIME)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Runs on every x86 processor from the i386 on: the compiler's default for
  # this target needs a Pentium Pro (cmov). Tuned for today's processors, on
  # which the decoder runs as fast as with the default; generic tuning would
  # write a bit scan as "rep bsf", which newer processors run as tzcnt and
  # which is a reserved form on a 486.
  list(APPEND UPKIT_KIT_COMPILE_OPTIONS -march=i386 -mtune=intel)
  set(UPKIT_KIT_ENTRY _KitStartup)
  # Starts on Windows 95 and NT 4.0 as well as today's Windows.
  set(UPKIT_KIT_SUBSYSTEM -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
else()
  set(UPKIT_KIT_ENTRY KitStartup)
  set(UPKIT_KIT_SUBSYSTEM -Wl,--subsystem,windows)
endif()

# Every target this build compiles for the kit runtime (kit/, tables/,
# install/ and the engine's kit_engine) takes the kit's options.
set(UPKIT_BUILDS_KIT ON)
function(upkit_kit_target_defaults target)
  target_compile_options(${target} PRIVATE ${UPKIT_KIT_COMPILE_OPTIONS} -Wall -Wextra -Wshadow)
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(UPKIT_KIT_FORMAT pei-i386)
  set(UPKIT_KIT_ARCH win32)
else()
  set(UPKIT_KIT_FORMAT pei-x86-64)
  set(UPKIT_KIT_ARCH win64)
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

# The upkit program run on the build machine, for `upkit build`.
if(CMAKE_CROSSCOMPILING)
  set(UPKIT_BUILD_UPKIT ${UPKIT_HOST_UPKIT})
  set(UPKIT_BUILD_UPKIT_DEPENDS host_tools ${UPKIT_HOST_UPKIT})
else()
  set(UPKIT_BUILD_UPKIT $<TARGET_FILE:upkit>)
  set(UPKIT_BUILD_UPKIT_DEPENDS upkit)
endif()

# Registers the checks of a built kit program FILE, by the name NAME: its
# format and imports and, on 32-bit, that it needs no more than an i486.
# They run on the build machine, for every Windows build.
function(upkit_add_kit_binary_tests name file)
  add_test(NAME ${name}_binary
    COMMAND ${CMAKE_SOURCE_DIR}/tests/binaries/check-kit-binary ${UPKIT_OBJDUMP} ${file} ${UPKIT_KIT_FORMAT})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME ${name}_cpu_baseline
      COMMAND ${CMAKE_SOURCE_DIR}/tests/binaries/check-cpu-baseline ${UPKIT_OBJDUMP} ${file})
  endif()
endfunction()

# The only DLLs a kit may import from.
set(UPKIT_KIT_LIBRARIES kernel32 user32 gdi32 advapi32 comctl32 gcc)

# Builds a kit: NAME the program, RC its resource script, INCLUDE_DIRS where
# windres finds the generated tables and archives, DEPENDS those files.
# Without RC, the program has no resources: the prebuilt runtime that
# `upkit build` gives a kit's resources.
function(upkit_add_kit)
  cmake_parse_arguments(KIT "" "NAME;RC" "INCLUDE_DIRS;DEPENDS" ${ARGN})
  if(KIT_RC)
    add_executable(${KIT_NAME} WIN32 ${KIT_RC})
  else()
    # The objects of kit_startup, linked below, are its only sources.
    add_executable(${KIT_NAME} WIN32)
  endif()
  target_link_libraries(${KIT_NAME} PRIVATE kit_startup kit_runtime ${UPKIT_KIT_LIBRARIES})
  target_link_libraries(${KIT_NAME} PRIVATE kit_table_format)
  target_include_directories(${KIT_NAME} PRIVATE ${KIT_INCLUDE_DIRS})
  target_link_options(${KIT_NAME} PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,-e,${UPKIT_KIT_ENTRY} -Wl,--fatal-warnings -Wl,--no-insert-timestamp
    ${UPKIT_KIT_SUBSYSTEM})
  # windres names no dependencies of its own.
  if(KIT_RC)
    set_source_files_properties(${KIT_RC} PROPERTIES OBJECT_DEPENDS "${KIT_DEPENDS}")
  endif()
  set_target_properties(${KIT_NAME} PROPERTIES LINKER_LANGUAGE CXX)
  upkit_add_kit_binary_tests(${KIT_NAME} $<TARGET_FILE:${KIT_NAME}>)
endfunction()

# Builds a kit the way a kit author does: `upkit build` puts the resources a
# manifest describes into this build's kit runtime (kit-runtime-<arch>).
#
#   upkit_build_kit(NAME name MANIFEST file.toml [FILES folder] [DEPENDS ...])
#
# makes <build>/<name>.exe, by the target <name>; FILES is the folder of
# built inputs, DEPENDS what must be built first. upkit_program_file gives
# the kit's path. The kit's time stamp is fixed, so a build gives the same
# bytes every time.
function(upkit_build_kit)
  cmake_parse_arguments(KIT "" "NAME;MANIFEST;FILES" "DEPENDS" ${ARGN})
  set(output ${CMAKE_BINARY_DIR}/${KIT_NAME}.exe)
  set(files)
  if(KIT_FILES)
    set(files --files ${KIT_FILES})
  endif()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
            ${UPKIT_BUILD_UPKIT} build ${KIT_MANIFEST} -o ${output} --arch ${UPKIT_KIT_ARCH}
            --runtime $<TARGET_FILE:kit-runtime-${UPKIT_KIT_ARCH}> ${files} --depfile ${output}.d -q
    DEPENDS ${KIT_MANIFEST} kit-runtime-${UPKIT_KIT_ARCH} ${UPKIT_BUILD_UPKIT_DEPENDS} ${KIT_DEPENDS}
    DEPFILE ${output}.d
    COMMENT "Building ${KIT_NAME}.exe from its manifest"
    VERBATIM)
  add_custom_target(${KIT_NAME} ALL DEPENDS ${output})
  set_target_properties(${KIT_NAME} PROPERTIES UPKIT_KIT_FILE ${output})
  upkit_add_kit_binary_tests(${KIT_NAME} ${output})
endfunction()

# upkit_program_file(variable target): the path of a program target's file,
# a kit of upkit_build_kit included.
function(upkit_program_file variable target)
  get_target_property(kit_file ${target} UPKIT_KIT_FILE)
  if(kit_file)
    set(${variable} ${kit_file} PARENT_SCOPE)
  else()
    set(${variable} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()

# upkit_compare_kits(test a b): a test that passes when the kits of targets a
# and b carry the same resources, byte for byte.
function(upkit_compare_kits name a b)
  upkit_program_file(file_a ${a})
  upkit_program_file(file_b ${b})
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/binaries/compare-kit-resources ${file_a} ${file_b})
endfunction()
