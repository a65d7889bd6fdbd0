# Receiving takes the certificates of its response from the authority's side.
if(TARGET bench_ReceiveBench)
  target_link_libraries(bench_ReceiveBench PRIVATE qvauthority_core)
endif()

# The steps' benchmark hands the master key to OpenSSL's command line as PEM:
# it unlocks the stored key file with the kit's own inner parts.
if(TARGET bench_CertificateStepsBench)
  target_link_libraries(bench_CertificateStepsBench PRIVATE quorvexkit_core OpenSSL::Crypto)
endif()

# Every benchmark of the kit loads its libraries from the program's folder.
foreach(name CryptoBench ReceiveBench CertificateStepsBench ScaleGuiBench)
  if(TARGET bench_${name})
    add_dependencies(bench_${name} quorvexkit quorvexseed)
  endif()
endforeach()
