# Debug information: zlib for the packed format's Deflate stream.
find_package(ZLIB REQUIRED)
target_link_libraries(crash PUBLIC ZLIB::ZLIB)
