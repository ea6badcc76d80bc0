# Settings every target of ours shares.
function(upkit_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
  if(WIN32)
    # Programs must run under Wine and on Windows without extra DLLs.
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE -static)
    endif()
  endif()
endfunction()

# Test data paths as the test program sees them: under Wine the host's file
# system is drive Z:.
function(upkit_program_path out host_path)
  if(WIN32)
    set(${out} "Z:${host_path}" PARENT_SCOPE)
  else()
    set(${out} "${host_path}" PARENT_SCOPE)
  endif()
endfunction()
