# The programs a cross build runs on the build machine (kit-resources, upkit),
# from a native build of this same source tree in host-tools/ below the build
# folder. The native build is configured once and built on every build of the
# cross tree, so edits to their sources reach it; when nothing changed, its
# Ninja run does nothing and leaves the programs untouched.
#
#   host_tools                 the target to depend on
#   UPKIT_HOST_KIT_RESOURCES   the native kit-resources program
#   UPKIT_HOST_UPKIT           the native upkit program
#
# UPKIT_HOST_TOOLS_FROM names a native build folder whose programs to run
# instead (scripts/test-all gives build/native, which it builds first): the
# cross build then builds no host tools of its own.
set(UPKIT_HOST_TOOLS_FROM "" CACHE PATH "A native build folder whose upkit and kit-resources to run")
if(UPKIT_HOST_TOOLS_FROM)
  set(UPKIT_HOST_KIT_RESOURCES ${UPKIT_HOST_TOOLS_FROM}/kit-resources)
  set(UPKIT_HOST_UPKIT ${UPKIT_HOST_TOOLS_FROM}/upkit)
  foreach(program ${UPKIT_HOST_KIT_RESOURCES} ${UPKIT_HOST_UPKIT})
    if(NOT EXISTS ${program})
      message(FATAL_ERROR "${program} is missing: build the native preset first")
    endif()
  endforeach()
  add_custom_target(host_tools)
  return()
endif()

include(ExternalProject)

set(UPKIT_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(UPKIT_HOST_KIT_RESOURCES ${UPKIT_HOST_TOOLS_DIR}/kit-resources)
set(UPKIT_HOST_UPKIT ${UPKIT_HOST_TOOLS_DIR}/upkit)

ExternalProject_Add(host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${UPKIT_HOST_TOOLS_DIR}
  PREFIX ${CMAKE_BINARY_DIR}/host-tools-steps
  CMAKE_GENERATOR Ninja
  # No toolchain file and no compiler of the cross build: the host's own,
  # with the native preset's build type.
  CMAKE_ARGS
    -DUPKIT_HOST_TOOLS_ONLY=ON
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target kit-resources upkit -- -j 2
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${UPKIT_HOST_KIT_RESOURCES} ${UPKIT_HOST_UPKIT}
  INSTALL_COMMAND ""
  TEST_COMMAND ""
  USES_TERMINAL_BUILD ON)
