# The decoder's differential test uses capstone as an independent oracle.
if(TARGET crash_vorDisAsmOracle_test)
  find_path(CAPSTONE_INCLUDE_DIR capstone/capstone.h REQUIRED)
  find_library(CAPSTONE_LIBRARY capstone REQUIRED)
  target_include_directories(crash_vorDisAsmOracle_test PRIVATE ${CAPSTONE_INCLUDE_DIR})
  target_link_libraries(crash_vorDisAsmOracle_test PRIVATE ${CAPSTONE_LIBRARY} ${CMAKE_DL_LIBS})
endif()
