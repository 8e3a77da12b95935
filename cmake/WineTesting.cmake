# Runs the Windows test programs of this build under Wine, in a prefix and a
# home folder of the build's own, never the user's.
set(DESKPIN_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(DESKPIN_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${DESKPIN_WINE_RUN})

# deskpin_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s]
#                  [ENVIRONMENT k=v ...] [DEPENDS target ...])
# A GoogleTest program that CTest runs through the Wine wrapper once the
# shared prefix exists.
function(deskpin_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;DEPENDS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  target_link_options(${T_NAME} PRIVATE ${DESKPIN_STATIC_LINK})
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT ${T_TIMEOUT}
                                            LABELS "${T_LABELS}" ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()
