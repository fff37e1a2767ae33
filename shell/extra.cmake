# The change notifier, the icon thread and the system image lists reach the
# window layer through the framework's controls, watch folders with the
# kernel layer and draw icons with librsvg.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SHELL_DEPS REQUIRED IMPORTED_TARGET librsvg-2.0)
target_link_libraries(shell PUBLIC framework platform_kernel PkgConfig::SHELL_DEPS)
# Tests wait for other threads with the window layer's bounded waits.
foreach(src IN LISTS shell_tests)
  get_filename_component(name ${src} NAME_WE)
  if(TARGET shell_${name})
    target_include_directories(shell_${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/window/tests)
  endif()
endforeach()
# libFuzzer target over the node-storage reader (the ".JOB" stream). Built
# only with clang and -DAX_FUZZ=ON; see shell/fuzz/README.md.
option(AX_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(AX_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The shell units are compiled into the target itself, so that the fuzzer
  # sees their coverage.
  add_executable(nodestorage_fuzz fuzz/NodeStorage_fuzz.cpp ${shell_sources})
  target_include_directories(nodestorage_fuzz PRIVATE include)
  target_compile_options(nodestorage_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -g)
  target_link_options(nodestorage_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(nodestorage_fuzz PRIVATE rtl platform_shellns framework platform_kernel
                        PkgConfig::SHELL_DEPS)
endif()
