# HELP.DAT: a ZIP archive of the pages and pictures in data/help, made at build
# time into the program's folder. It is made from within data/help so that the
# entry names are the bare file names the pages link to.
file(GLOB quorvex_help_files CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/data/help/*.htm ${PROJECT_SOURCE_DIR}/data/help/*.png)
set(quorvex_help_names)
foreach(file IN LISTS quorvex_help_files)
  get_filename_component(name ${file} NAME)
  list(APPEND quorvex_help_names ${name})
endforeach()
set(QUORVEX_HELP_ARCHIVE ${QUORVEX_APP_DIR}/HELP.DAT)
add_custom_command(OUTPUT ${QUORVEX_HELP_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEX_APP_DIR}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUORVEX_HELP_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${QUORVEX_HELP_ARCHIVE} --format=zip "--mtime=2000-01-01 00:00:00 UTC"
          -- ${quorvex_help_names}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/data/help
  DEPENDS ${quorvex_help_files}
  COMMENT "Help archive HELP.DAT"
  VERBATIM)
add_custom_target(help_archive ALL DEPENDS ${QUORVEX_HELP_ARCHIVE})
add_dependencies(quorvex_gui help_archive)
