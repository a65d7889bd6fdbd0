# A client that restores nothing but asks for the restart exactly as a restore
# does, so the restart through reinit can be watched end to end.
add_executable(restart_probe ${CMAKE_CURRENT_SOURCE_DIR}/app/RestartProbe.cpp)
target_link_libraries(restart_probe PRIVATE quorvex_gui)
set_target_properties(restart_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(app_RestartGuiTest restart_probe reinit)
target_compile_definitions(app_RestartGuiTest PRIVATE QUORVEX_PROBE="$<TARGET_FILE:restart_probe>")

# The shutdown stamp is checked against a digest computed with OpenSSL.
target_link_libraries(app_TForm1FingerprintGuiTest PRIVATE OpenSSL::Crypto)

# The road through the main window lets the authority's tool answer.
if(TARGET app_CertificateRoadGuiTest AND TARGET qvauthority)
  add_dependencies(app_CertificateRoadGuiTest qvauthority)
endif()
