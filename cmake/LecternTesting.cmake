# Test helpers shared by every folder.
#
#   lectern_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS wine display tsan])
#
# Builds one GoogleTest executable and registers it as one ctest test. In the win32 tree
# ctest runs it under Wine (the cross-compiling emulator); one Wine start per executable
# keeps the run fast. Labels: "host" or "wine" are added by tree, so `ctest -L wine` works;
# tests labelled "tsan" also join the target tsan_tests, built and run in the TSan tree.
if(NOT LECTERN_FUZZ)
  enable_testing()
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

if(LECTERN_WIN32)
  set(LECTERN_TREE_LABEL wine)
else()
  set(LECTERN_TREE_LABEL host)
endif()

function(lectern_test name)
  if(LECTERN_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main gtest)
  if(LECTERN_WIN32)
    # Through scripts/wine-test instead of the bare emulator: see there for a crash of Wine's own.
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-test $<TARGET_FILE:${name}> --gtest_color=no)
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES
    LABELS "${LECTERN_TREE_LABEL};${T_LABELS}"
    TIMEOUT ${T_TIMEOUT}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if("tsan" IN_LIST T_LABELS)
    set_property(GLOBAL APPEND PROPERTY LECTERN_TSAN_TESTS ${name})
  endif()
endfunction()
