# The ZIP reader holds no widget: it forms a library of its own on libzip, part
# of the core, so that tests and fuzz targets without a display can read
# archives too. The GUI library gets it through the core, not twice.
add_library(quorvex_zip STATIC ${CMAKE_CURRENT_SOURCE_DIR}/ui/ZipReader.cpp)
target_include_directories(quorvex_zip PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(quorvex_zip PUBLIC PkgConfig::LIBZIP)
target_link_libraries(quorvex_core INTERFACE quorvex_zip)
get_target_property(quorvex_gui_srcs quorvex_gui SOURCES)
list(REMOVE_ITEM quorvex_gui_srcs ${CMAKE_CURRENT_SOURCE_DIR}/ui/ZipReader.cpp)
set_property(TARGET quorvex_gui PROPERTY SOURCES ${quorvex_gui_srcs})
