# Compiles the window layer's sources with Clang's thread-safety analysis as
# errors: every access to the manager's shared state must be under its lock.
# Run as a test: cmake -DCLANG=<clang++> -DCOMMANDS=<compile_commands.json>
#                      -DSOURCES=<folder> -P thread_safety_check.cmake
file(READ "${COMMANDS}" json)
string(JSON count LENGTH "${json}")
math(EXPR last "${count} - 1")
set(checked 0)
set(failed 0)
foreach(i RANGE ${last})
  string(JSON file GET "${json}" ${i} file)
  cmake_path(GET file PARENT_PATH folder)
  if(NOT folder STREQUAL SOURCES)
    continue()
  endif()
  string(JSON command GET "${json}" ${i} command)
  separate_arguments(args UNIX_COMMAND "${command}")
  list(POP_FRONT args) # the compiler the build uses
  # Keep the definitions, include folders and language level; drop outputs
  # and options only the build's compiler knows.
  set(flags)
  set(take_next OFF)
  foreach(a IN LISTS args)
    if(take_next)
      list(APPEND flags "${a}")
      set(take_next OFF)
    elseif(a STREQUAL "-isystem" OR a STREQUAL "-I" OR a STREQUAL "-D")
      list(APPEND flags "${a}")
      set(take_next ON)
    elseif(a MATCHES "^-(I|D|isystem|std=|pthread)")
      list(APPEND flags "${a}")
    endif()
  endforeach()
  execute_process(
    COMMAND "${CLANG}" -fsyntax-only -Wthread-safety -Werror=thread-safety
            -Wno-unknown-warning-option ${flags} "${file}"
    RESULT_VARIABLE rc)
  math(EXPR checked "${checked} + 1")
  if(NOT rc EQUAL 0)
    math(EXPR failed "${failed} + 1")
  endif()
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no window layer sources in ${COMMANDS}")
endif()
if(failed GREATER 0)
  message(FATAL_ERROR "${failed} of ${checked} window layer sources break the lock discipline")
endif()
message(STATUS "${checked} window layer sources keep the lock discipline")
