# The archive tool's test runs the built tool from the program's folder.
if(TARGET tools_QvarchiveTest AND TARGET qvarchive)
  add_dependencies(tools_QvarchiveTest qvarchive)
endif()

# The authority tool's test runs the built tool and checks its output with
# OpenSSL from the outside.
if(TARGET tools_AuthorityTest AND TARGET qvauthority)
  add_dependencies(tools_AuthorityTest qvauthority)
  target_link_libraries(tools_AuthorityTest PRIVATE OpenSSL::Crypto)
endif()
