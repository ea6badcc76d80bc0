# The Windows programs of a native build: the prebuilt kit runtimes, which
# `upkit build` finds beside the upkit program as kit-runtime-win32.exe and
# kit-runtime-win64.exe, and the kit drivers that `upkit try` runs beside a
# kit, kit-driver-win32.exe and kit-driver-win64.exe. Each architecture's
# pair is built by a cross build of this same tree configured with
# UPKIT_KIT_RUNTIME_ONLY (those programs alone: no host tools, no tests), in
# kit-runtime-<arch>/ below the build folder, and copied up when it changed.
#
#   kit_runtimes            the target to depend on
#   UPKIT_KIT_RUNTIME_DIR   the folder holding the runtimes and drivers
#
# UPKIT_KIT_RUNTIMES_FROM names another native build folder of this tree
# whose runtimes and drivers are copied instead of built again: the
# sanitizer build takes the plain build's, since the Windows programs are
# the same bytes in both and their two cross builds take minutes.
include(ExternalProject)

set(UPKIT_KIT_RUNTIME_DIR ${CMAKE_BINARY_DIR})
set(UPKIT_KIT_RUNTIMES_FROM "" CACHE PATH "A native build folder whose kit runtimes and drivers to copy")

if(UPKIT_KIT_RUNTIMES_FROM)
  set(copies)
  foreach(program kit-runtime-win32.exe kit-runtime-win64.exe kit-driver-win32.exe kit-driver-win64.exe)
    add_custom_command(OUTPUT ${UPKIT_KIT_RUNTIME_DIR}/${program}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${UPKIT_KIT_RUNTIMES_FROM}/${program} ${UPKIT_KIT_RUNTIME_DIR}
      DEPENDS ${UPKIT_KIT_RUNTIMES_FROM}/${program}
      COMMENT "Copying ${program} from ${UPKIT_KIT_RUNTIMES_FROM}")
    list(APPEND copies ${UPKIT_KIT_RUNTIME_DIR}/${program})
  endforeach()
  add_custom_target(kit_runtimes ALL DEPENDS ${copies})
  return()
endif()

add_custom_target(kit_runtimes)

foreach(arch win32 win64)
  if(arch STREQUAL win32)
    set(toolchain ${CMAKE_SOURCE_DIR}/cmake/toolchains/mingw-i686.cmake)
  else()
    set(toolchain ${CMAKE_SOURCE_DIR}/cmake/toolchains/mingw-x86_64.cmake)
  endif()
  set(runtime kit-runtime-${arch}.exe)
  set(driver kit-driver-${arch}.exe)
  ExternalProject_Add(kit_runtime_${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/kit-runtime-${arch}
    PREFIX ${CMAKE_BINARY_DIR}/kit-runtime-steps
    CMAKE_GENERATOR Ninja
    # The build type of the cross presets, so that the runtime has the same
    # bytes as the one a cross build makes.
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${toolchain}
      -DUPKIT_KIT_RUNTIME_ONLY=ON
      -DCMAKE_BUILD_TYPE=RelWithDebInfo
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target kit-runtime-${arch} kit_driver -- -j 2
    BUILD_ALWAYS ON
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/${runtime} <BINARY_DIR>/${driver}
                    ${UPKIT_KIT_RUNTIME_DIR}
    BUILD_BYPRODUCTS ${UPKIT_KIT_RUNTIME_DIR}/${runtime} ${UPKIT_KIT_RUNTIME_DIR}/${driver}
    TEST_COMMAND ""
    USES_TERMINAL_BUILD ON)
  add_dependencies(kit_runtimes kit_runtime_${arch})
endforeach()
