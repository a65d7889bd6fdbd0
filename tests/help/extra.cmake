# The pages test reads HELP.DAT as the build makes it.
add_dependencies(help_HelpPagesTest help_archive)
# The real program start, asked for help at once (see HelpProbe.cpp).
add_executable(help_probe ${CMAKE_CURRENT_SOURCE_DIR}/help/HelpProbe.cpp)
target_link_libraries(help_probe PRIVATE quorvex_gui)
set_target_properties(help_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(help_HelpEntryPointsGuiTest help_probe)
target_compile_definitions(help_HelpEntryPointsGuiTest PRIVATE QUORVEX_HELP_PROBE="$<TARGET_FILE:help_probe>")
add_dependencies(help_THelpGuiTest help_archive)
