# Libraries come from Debian's packages. Natively they are found as packages;
# the mingw builds use the same header-only libraries through a folder of links
# to their headers (never the whole of /usr/include), and GoogleTest built
# from Debian's sources.

add_library(upkit_third_party INTERFACE)
target_compile_definitions(upkit_third_party INTERFACE FMT_HEADER_ONLY)

if(CMAKE_CROSSCOMPILING)
  set(link_dir ${CMAKE_BINARY_DIR}/third-party-include)
  file(MAKE_DIRECTORY ${link_dir})
  foreach(dir CLI nlohmann fmt toml++)
    if(NOT EXISTS /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: install the Debian -dev package")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${link_dir}/${dir} SYMBOLIC)
  endforeach()
  target_include_directories(upkit_third_party SYSTEM INTERFACE ${link_dir})

  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(CLI11 REQUIRED)
  find_package(nlohmann_json REQUIRED)
  find_package(fmt REQUIRED)
  find_package(GTest REQUIRED)
  target_link_libraries(upkit_third_party INTERFACE CLI11::CLI11 nlohmann_json::nlohmann_json)
  target_include_directories(upkit_third_party SYSTEM INTERFACE /usr/include)
endif()

# toml++ reads kit manifests (kitbuild): natively Debian's package config
# when there is one, else its headers alone; the mingw builds use the headers
# alone, through the folder of links.
add_library(upkit_toml INTERFACE)
if(CMAKE_CROSSCOMPILING)
  target_compile_definitions(upkit_toml INTERFACE TOML_HEADER_ONLY=1)
else()
  find_package(tomlplusplus CONFIG QUIET)
  if(TARGET tomlplusplus::tomlplusplus)
    target_link_libraries(upkit_toml INTERFACE tomlplusplus::tomlplusplus)
  elseif(EXISTS /usr/include/toml++/toml.h)
    target_include_directories(upkit_toml SYSTEM INTERFACE /usr/include)
  else()
    message(FATAL_ERROR "/usr/include/toml++ is missing: install libtomlplusplus-dev")
  endif()
endif()
