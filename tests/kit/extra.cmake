# The kit's tests load the real libraries from the program's folder, so they
# need them built first.
foreach(test_target kit_KeyLibraryTest kit_SelfTestFailureTest kit_SeedDialogGuiTest)
  if(TARGET ${test_target})
    add_dependencies(${test_target} quorvexkit quorvexseed)
  endif()
endforeach()

# Tests of the kit's inner parts link them directly.
foreach(test_target kit_KeyFileTest)
  if(TARGET ${test_target})
    target_link_libraries(${test_target} PRIVATE quorvexkit_core)
  endif()
endforeach()

# A key library whose self-test is made to fail, in a folder of its own (never
# the program's folder): it must refuse every function.
quorvex_add_key_library(quorvexkit_broken ${CMAKE_BINARY_DIR}/tests/kit-broken
  QUORVEX_KIT_BREAK_SELF_TEST)
if(TARGET kit_SelfTestFailureTest)
  add_dependencies(kit_SelfTestFailureTest quorvexkit_broken)
  target_compile_definitions(kit_SelfTestFailureTest PRIVATE
    QUORVEX_BROKEN_KIT="${CMAKE_BINARY_DIR}/tests/kit-broken/libquorvexkit.so")
endif()

# The tests check the kit's results with OpenSSL from the outside.
foreach(test_target kit_KeyLibraryTest kit_KeyFileTest)
  if(TARGET ${test_target})
    target_link_libraries(${test_target} PRIVATE OpenSSL::Crypto)
  endif()
endforeach()

# The search for private key bytes in memory: the real library, plus the
# kit's parts to look at the key in a child process.
if(TARGET kit_KeyMemoryTest)
  add_dependencies(kit_KeyMemoryTest quorvexkit)
  target_link_libraries(kit_KeyMemoryTest PRIVATE quorvexkit_core OpenSSL::Crypto)
endif()
