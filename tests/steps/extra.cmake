# The steps' tests check signatures with OpenSSL from the outside.
foreach(test_target steps_TRequestSendingTest)
  if(TARGET ${test_target})
    target_link_libraries(${test_target} PRIVATE OpenSSL::Crypto)
  endif()
endforeach()

# Receiving takes its certificates from the authority's side.
if(TARGET steps_TRequestReceivingTest)
  target_link_libraries(steps_TRequestReceivingTest PRIVATE qvauthority_core)
endif()

# The road test lets the authority's tool answer the request it sends.
if(TARGET steps_CertificateRoadTest)
  add_dependencies(steps_CertificateRoadTest qvauthority)
  target_link_libraries(steps_CertificateRoadTest PRIVATE OpenSSL::Crypto)
endif()
