# suite_copy_dlls(TARGET DLL_TARGET...): after TARGET is built, copies the named DLL targets and
# the shared C++ run-time DLLs into its folder, so that Wine finds them beside the program.
function(suite_copy_dlls target)
  set(files)
  foreach(dll ${ARGN})
    list(APPEND files $<TARGET_FILE:${dll}>)
  endforeach()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${LECTERN_SHARED_RUNTIME_DLLS}
      $<TARGET_FILE_DIR:${target}>)
endfunction()

# Drops the static run-time link options of the top level for the current folder: the suite
# libraries and their callers share the C++ run-time DLLs.
macro(suite_shared_runtime)
  get_directory_property(suite_link_options LINK_OPTIONS)
  list(REMOVE_ITEM suite_link_options -static -static-libgcc -static-libstdc++)
  set_directory_properties(PROPERTIES LINK_OPTIONS "${suite_link_options}")
endmacro()
