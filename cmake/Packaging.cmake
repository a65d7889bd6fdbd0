# The Debian package: the client, its companion programs, the kit's libraries
# and the program's read-only files in one folder, /usr/lib/quorvex; a
# launcher on the PATH; the desktop entry, icons and AppStream metadata.
# Dependencies are computed from the binaries (dpkg-shlibdeps).
# A Debian package keeps a program's private folder under lib, not the
# multiarch one.
set(QUORVEX_PACKAGE_DIR lib/quorvex)

foreach(target quorvex reinit qvarchive qvauthority)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${QUORVEX_PACKAGE_DIR})
  endif()
endforeach()
foreach(target quorvexkit quorvexseed)
  if(TARGET ${target})
    install(TARGETS ${target} LIBRARY DESTINATION ${QUORVEX_PACKAGE_DIR} NAMELINK_SKIP)
  endif()
endforeach()
# Made at build time into the program's folder by the help and agreement parts.
foreach(file HELP.DAT ConvEmpr.rtf TermoAdesaoStyle.xsl)
  install(FILES ${QUORVEX_APP_DIR}/${file} DESTINATION ${QUORVEX_PACKAGE_DIR} OPTIONAL)
endforeach()

set(desktop ${PROJECT_SOURCE_DIR}/data/desktop)
# Tells the program that its folder is an installed one: the data go to the
# user's data folder even for a user who may write here.
install(FILES ${desktop}/quorvex.installed DESTINATION ${QUORVEX_PACKAGE_DIR})
configure_file(${desktop}/quorvex.in ${CMAKE_BINARY_DIR}/package-files/quorvex @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/package-files/quorvex DESTINATION bin)
install(FILES ${desktop}/quorvex.desktop DESTINATION share/applications)
install(FILES ${desktop}/br.com.orvanta.quorvex.metainfo.xml DESTINATION share/metainfo)
install(FILES ${desktop}/quorvex.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${desktop}/quorvex-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME quorvex.png)
endforeach()

# Debian wants the change log and the manual page compressed, reproducibly.
find_program(QUORVEX_GZIP gzip)
foreach(pair "quorvex.1:share/man/man1" "changelog:share/doc/quorvex")
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 name)
  list(GET pair 1 destination)
  set(out ${CMAKE_BINARY_DIR}/package-files/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${QUORVEX_GZIP} -9 -n -c ${desktop}/${name} > ${out}
    DEPENDS ${desktop}/${name} VERBATIM)
  list(APPEND quorvex_package_files ${out})
  install(FILES ${out} DESTINATION ${destination})
endforeach()
add_custom_target(package_files ALL DEPENDS ${quorvex_package_files})
install(FILES ${desktop}/copyright DESTINATION share/doc/quorvex)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Orvanta <suporte@orvanta.com.br>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvanta <suporte@orvanta.com.br>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "certification client for the Vinculum service")
# The synopsis comes from the summary; this is the body only.
set(CPACK_PACKAGE_DESCRIPTION "With this client a company, identified by its CNPJ or CEI,
obtains the electronic certificates that identify it to the Vinculum
service: it registers entities, creates password-protected key pairs,
writes the signed certificate request to a removable medium, reads the
authority's response and writes each finished certificate to its own
medium. Its interface is in Portuguese (Brazil).")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.orvanta.com.br/")
include(CPack)
