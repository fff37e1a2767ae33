# ax_test(NAME <name> SOURCES <files...> LIBS <targets...> [UNTRUSTED] [LABELS <labels...>]
#         [ENVIRONMENT <VAR=value...>])
#
# One GoogleTest executable registered with CTest, labelled by the folder it
# lives in. Tests marked UNTRUSTED read input the system does not control
# (stored files, streams, foreign memory); only those are built when the
# tree is configured with AX_SANITIZE, which keeps the sanitizer pass short.
function(ax_test)
  cmake_parse_arguments(T "UNTRUSTED" "NAME" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  if(AX_SANITIZE AND NOT T_UNTRUSTED)
    return()
  endif()
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  if(folder STREQUAL "tests")
    get_filename_component(parent ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
    get_filename_component(folder ${parent} NAME)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  set_property(GLOBAL APPEND PROPERTY AX_PROGRAMS ${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  # The runtime's test helpers (a second user, ...) serve every layer's tests.
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/rtl/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set(labels ${folder} ${T_LABELS})
  if(T_UNTRUSTED)
    list(APPEND labels untrusted)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT 600)
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(NOT folder STREQUAL "memory")
    set_property(GLOBAL APPEND PROPERTY AX_HEAP_TESTS ${T_NAME})
    set_property(GLOBAL PROPERTY AX_LABELS_${T_NAME} "${labels}")
    set_property(GLOBAL PROPERTY AX_ENV_${T_NAME} "${T_ENVIRONMENT}")
    set_property(GLOBAL PROPERTY AX_DIR_${T_NAME} "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
endfunction()

# Runs every test once more with the memory manager preloaded, so that each
# layer (and the libraries it loads) is exercised on our heap.
function(ax_add_heap_variants)
  if(AX_SANITIZE OR NOT TARGET axmalloc)
    return()
  endif()
  get_property(tests GLOBAL PROPERTY AX_HEAP_TESTS)
  foreach(t IN LISTS tests)
    get_property(labels GLOBAL PROPERTY AX_LABELS_${t})
    get_property(environment GLOBAL PROPERTY AX_ENV_${t})
    get_property(dir GLOBAL PROPERTY AX_DIR_${t})
    # Pictures of their own: both runs go at once under ctest -j, and a
    # test that reads its picture back must not read one being written.
    # Those written beside the test land in its folder's onheap/, never in
    # the top of the build tree.
    string(REGEX REPLACE "AX_CONTROLS_SNAPSHOT_DIR=([^;]*)" "AX_CONTROLS_SNAPSHOT_DIR=\\1/onheap"
           environment "${environment}")
    file(MAKE_DIRECTORY ${dir}/onheap)
    add_test(NAME ${t}.onheap COMMAND ${t} --gtest_brief=1 WORKING_DIRECTORY ${dir}/onheap)
    set_tests_properties(${t}.onheap PROPERTIES
      ENVIRONMENT "LD_PRELOAD=$<TARGET_FILE:axmalloc>;${environment}"
      LABELS "${labels};onheap" TIMEOUT 600)
  endforeach()
endfunction()

# ax_write_map(<target>): writes <binary>.map (the last extension replaced)
# beside the target's binary whenever it is rebuilt, with the map writer
# ax_mapgen (built in crash/). Works from any folder.
function(ax_write_map target)
  get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    get_target_property(dir ${target} LIBRARY_OUTPUT_DIRECTORY)
  endif()
  if(NOT dir)
    get_target_property(dir ${target} BINARY_DIR)
  endif()
  get_target_property(output ${target} OUTPUT_NAME)
  if(NOT output)
    set(output ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(file ${output}${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(file ${CMAKE_SHARED_LIBRARY_PREFIX}${output}${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
  string(REGEX REPLACE "\\.[^./]*$" "" stem "${file}")
  add_custom_command(OUTPUT ${dir}/${stem}.map
    COMMAND ax_mapgen $<TARGET_FILE:${target}> ${dir}/${stem}.map
    DEPENDS ${target} ax_mapgen
    COMMENT "Writing the map of ${target}" VERBATIM)
  add_custom_target(${target}_map ALL DEPENDS ${dir}/${stem}.map)
endfunction()

# Writes the map file beside every program and shared library of the
# project, so that the crash reporter resolves our own addresses. Called
# once every folder is read; without the map writer there are no maps.
function(ax_add_maps)
  if(NOT TARGET ax_mapgen)
    return()
  endif()
  get_property(programs GLOBAL PROPERTY AX_PROGRAMS)
  foreach(t IN LISTS programs ITEMS ardentix axmalloc)
    if(TARGET ${t} AND NOT TARGET ${t}_map)
      ax_write_map(${t})
    endif()
  endforeach()
endfunction()
