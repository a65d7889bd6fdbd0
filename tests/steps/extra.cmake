# The steps' tests check signatures with OpenSSL from the outside.
foreach(test_target steps_TRequestSendingTest)
  if(TARGET ${test_target})
    target_link_libraries(${test_target} PRIVATE OpenSSL::Crypto)
  endif()
endforeach()
