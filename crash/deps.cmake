# Debug information: zlib for the packed format's Deflate stream.
find_package(ZLIB REQUIRED)
target_link_libraries(crash PUBLIC ZLIB::ZLIB)

# The map writer: a build tool that turns an ELF binary's symbol table and
# DWARF line table into the detailed map text beside it. Built without the
# sanitizers: it runs at build time on our own output only.
find_library(AX_LIBDW dw REQUIRED)
find_library(AX_LIBELF elf REQUIRED)
add_executable(ax_mapgen ${CMAKE_CURRENT_LIST_DIR}/tools/ax_mapgen.cpp)
target_link_libraries(ax_mapgen PRIVATE ${AX_LIBDW} ${AX_LIBELF})
target_compile_options(ax_mapgen PRIVATE -fno-sanitize=all)
target_link_options(ax_mapgen PRIVATE -fno-sanitize=all)

# ax_write_map(<target>): writes <binary>.map (last extension replaced)
# beside the target's binary whenever it is rebuilt. Works from any folder.
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

# The crash reporter's own test programs carry maps so that their tests
# resolve addresses through them. Applied once the tests folder is read.
function(_ax_map_crash_tests)
  get_property(targets DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/tests PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "EXECUTABLE")
      ax_write_map(${t})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER CALL _ax_map_crash_tests)
target_link_libraries(crash PUBLIC platform_window)
