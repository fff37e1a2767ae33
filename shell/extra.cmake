# The explorer controls derive from the tree control.
target_link_libraries(shell PUBLIC vtree)
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
  target_link_libraries(nodestorage_fuzz PRIVATE rtl platform_shellns vtree)
endif()
