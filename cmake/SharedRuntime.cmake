# LECTERN_SHARED_RUNTIME_DLLS: the DLLs of the shared C++ run-time (libstdc++-6.dll,
# libgcc_s_dw2-1.dll, libwinpthread-1.dll), for copying beside the programs that load a DLL
# built against them (geomprim, the class layer's DLL and the suite libraries).
set(LECTERN_SHARED_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    find_file(path_${dll} ${dll} PATHS ${CMAKE_FIND_ROOT_PATH}/lib NO_DEFAULT_PATH REQUIRED)
    set(path ${path_${dll}})
  endif()
  list(APPEND LECTERN_SHARED_RUNTIME_DLLS ${path})
endforeach()
