# Fault-injecting builds of the kit, each pair in its own folder so that the
# medium under test loads them instead of the real kit:
#   faultkit/    every function, returning the codes a test chooses
#   partialkit/  the same without hl_sign (a kit that lacks a function)
set(CRYPTO_FAULT_KIT_DIR ${CMAKE_BINARY_DIR}/tests/faultkit)
set(CRYPTO_PARTIAL_KIT_DIR ${CMAKE_BINARY_DIR}/tests/partialkit)

function(crypto_fault_library target source output_name output_dir)
  add_library(${target} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/crypto/${source})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${target} PRIVATE ${ARGN})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${output_name} PREFIX lib SUFFIX .so
    LIBRARY_OUTPUT_DIRECTORY ${output_dir})
endfunction()

crypto_fault_library(crypto_faultkit FaultKit.cpp quorvexkit ${CRYPTO_FAULT_KIT_DIR})
crypto_fault_library(crypto_faultseed FaultSeed.cpp quorvexseed ${CRYPTO_FAULT_KIT_DIR})
crypto_fault_library(crypto_partialkit FaultKit.cpp quorvexkit ${CRYPTO_PARTIAL_KIT_DIR} FAULT_KIT_WITHOUT_SIGN)
crypto_fault_library(crypto_partialseed FaultSeed.cpp quorvexseed ${CRYPTO_PARTIAL_KIT_DIR})

file(GLOB crypto_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/crypto/*Test.cpp)
foreach(src IN LISTS crypto_tests)
  get_filename_component(name ${src} NAME_WE)
  set(target crypto_${name})
  if(NOT TARGET ${target})
    continue()
  endif()
  target_compile_definitions(${target} PRIVATE
    CRYPTO_FAULT_KIT_DIR="${CRYPTO_FAULT_KIT_DIR}/"
    CRYPTO_PARTIAL_KIT_DIR="${CRYPTO_PARTIAL_KIT_DIR}/")
  add_dependencies(${target} crypto_faultkit crypto_faultseed crypto_partialkit crypto_partialseed)
  # Tests of the real kit load it from the program's folder.
  if(TARGET quorvexkit AND TARGET quorvexseed)
    add_dependencies(${target} quorvexkit quorvexseed)
  endif()
  target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS} OpenSSL::Crypto)
endforeach()

# The program finds the kit beside its executable. Test programs run from
# their own folder, so the kit is placed there as well: any test that reaches
# a fingerprint (the main window's shutdown, the backup) then loads the real
# kit the way the installed program does.
if(TARGET quorvexkit AND TARGET quorvexseed)
  add_custom_target(crypto_kit_beside_tests ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tests
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:quorvexkit> $<TARGET_FILE:quorvexseed>
            ${CMAKE_BINARY_DIR}/tests/
    COMMENT "Placing the kit beside the test programs")
  add_dependencies(crypto_kit_beside_tests quorvexkit quorvexseed)
  function(crypto_tests_need_kit)
    get_property(targets DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t IN LISTS targets)
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "EXECUTABLE")
        add_dependencies(${t} crypto_kit_beside_tests)
      endif()
    endforeach()
  endfunction()
  # Runs once every test folder has made its targets.
  cmake_language(DEFER CALL crypto_tests_need_kit)
endif()
