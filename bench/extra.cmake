# Receiving takes the certificates of its response from the authority's side.
if(TARGET bench_ReceiveBench)
  target_link_libraries(bench_ReceiveBench PRIVATE qvauthority_core)
endif()
