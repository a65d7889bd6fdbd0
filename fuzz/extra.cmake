# The key-file reader lives in the crypto kit's inner library.
if(TARGET fuzz_KeyFileFuzz)
  target_link_libraries(fuzz_KeyFileFuzz PRIVATE quorvexkit_core)
endif()

# ---- the rich-text reader (ui/) ---------------------------------------------
# It builds Qt text documents with Qt's GUI module, without the widget library.
if(TARGET fuzz_RtfReaderFuzz)
  target_link_libraries(fuzz_RtfReaderFuzz PRIVATE quorvex_rtf)
endif()

# Receiving runs the real kit from the program's folder and takes its
# certificates from the authority's side.
if(TARGET fuzz_ResponseFuzz)
  target_link_libraries(fuzz_ResponseFuzz PRIVATE qvauthority_core)
  target_compile_definitions(fuzz_ResponseFuzz PRIVATE QUORVEX_APP_DIR="${QUORVEX_APP_DIR}/")
  add_dependencies(fuzz_ResponseFuzz quorvexkit quorvexseed)
endif()

# The import hashes through the kit of the build's program folder.
if(TARGET fuzz_ImportFuzz AND TARGET quorvexkit)
  target_compile_definitions(fuzz_ImportFuzz PRIVATE QUORVEX_KIT_DIR="$<TARGET_FILE_DIR:quorvexkit>/")
  add_dependencies(fuzz_ImportFuzz quorvexkit quorvexseed)
endif()
