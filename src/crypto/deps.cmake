# The medium works on entity records; hex text and wiping raise the data
# files' stream failures. The kit itself is loaded at run time, never linked.
target_link_libraries(quorvex_crypto PUBLIC quorvex_store ${CMAKE_DL_LIBS})
