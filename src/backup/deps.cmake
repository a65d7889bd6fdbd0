# Every chunk of the archive is a zlib stream.
target_link_libraries(quorvex_backup PUBLIC ZLIB::ZLIB)
