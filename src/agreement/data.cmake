# The agreement text and the term's stylesheet are read-only files of the
# program: copied beside the executable whenever they change. Everything that
# links the agreement library (the client, its tests) gets them.
set(QUORVEX_AGREEMENT_DATA ConvEmpr.rtf TermoAdesaoStyle.xsl)
set(quorvex_agreement_data_outputs)
foreach(name IN LISTS QUORVEX_AGREEMENT_DATA)
  add_custom_command(
    OUTPUT ${QUORVEX_APP_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUORVEX_APP_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/data/agreement/${name} ${QUORVEX_APP_DIR}/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/agreement/${name}
    COMMENT "Copying ${name} into the program folder")
  list(APPEND quorvex_agreement_data_outputs ${QUORVEX_APP_DIR}/${name})
endforeach()
add_custom_target(quorvex_agreement_data DEPENDS ${quorvex_agreement_data_outputs})
add_dependencies(quorvex_agreement quorvex_agreement_data)
