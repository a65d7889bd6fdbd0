# The key-file reader lives in the crypto kit's inner library.
if(TARGET fuzz_KeyFileFuzz)
  target_link_libraries(fuzz_KeyFileFuzz PRIVATE quorvexkit_core)
endif()
