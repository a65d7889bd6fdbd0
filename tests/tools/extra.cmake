# The archive tool's test runs the built tool from the program's folder.
if(TARGET tools_QvarchiveTest AND TARGET qvarchive)
  add_dependencies(tools_QvarchiveTest qvarchive)
endif()
