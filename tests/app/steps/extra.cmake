# The steps' tests check signatures with OpenSSL from the outside.
foreach(test_target app_steps_TRequestSendingTest)
  if(TARGET ${test_target})
    target_link_libraries(${test_target} PRIVATE OpenSSL::Crypto)
  endif()
endforeach()

# Receiving takes its certificates from the authority's side.
if(TARGET app_steps_TRequestReceivingTest)
  target_link_libraries(app_steps_TRequestReceivingTest PRIVATE qvauthority_core)
endif()

# The road test lets the authority's tool answer the request it sends.
if(TARGET app_steps_CertificateRoadTest)
  add_dependencies(app_steps_CertificateRoadTest qvauthority)
  target_link_libraries(app_steps_CertificateRoadTest PRIVATE OpenSSL::Crypto)
endif()
