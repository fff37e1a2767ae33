# ax_test(NAME <name> SOURCES <files...> LIBS <targets...> [UNTRUSTED] [LABELS <labels...>])
#
# One GoogleTest executable registered with CTest, labelled by the folder it
# lives in. Tests marked UNTRUSTED read input the system does not control
# (stored files, streams, foreign memory); only those are built when the
# tree is configured with AX_SANITIZE, which keeps the sanitizer pass short.
function(ax_test)
  cmake_parse_arguments(T "UNTRUSTED" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  if(AX_SANITIZE AND NOT T_UNTRUSTED)
    return()
  endif()
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  if(folder STREQUAL "tests")
    get_filename_component(parent ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
    get_filename_component(folder ${parent} NAME)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set(labels ${folder} ${T_LABELS})
  if(T_UNTRUSTED)
    list(APPEND labels untrusted)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT 600)
endfunction()
