# What running VVP needs (the `programs` target) and the Debian package vvp_<version>_amd64.deb
# built from it with CPack (`scripts/build-package.sh`). Included after every program target.

# The programs a printer needs, without tests or benchmarks; the desktop app when it is built.
add_custom_target(programs)
add_dependencies(programs vvpd vvpPKI vvp-store vvp-textonly)
if(TARGET vvp)
  add_dependencies(programs vvp)
endif()

set(VVP_PACKAGE_MAINTAINER "Vocanet Virtual Printer maintainers <vvp@vocanet.example>")
set(_pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_CURRENT_BINARY_DIR}/package)

install(TARGETS vvpd vvp-store RUNTIME DESTINATION bin)
# Private to VVP: found by the programs beside their bin folder (../lib/vvp), not by the linker.
install(TARGETS vvpPKI LIBRARY DESTINATION lib/vvp)
install(PROGRAMS
    app/provisioning/scripts/createVNptr.sh
    app/provisioning/scripts/ListVNptrPorts.sh
    app/provisioning/scripts/ListVNptrinfo.sh
  DESTINATION lib/vvp)
# CUPS runs filters from its own folder and lists the PPDs under share/ppd.
install(TARGETS vvp-textonly RUNTIME DESTINATION lib/cups/filter)
install(FILES cups/vvp-textonly.ppd DESTINATION share/ppd/vvp)
install(FILES ${_pkg}/vvpd-system.service DESTINATION lib/systemd/system RENAME vvpd.service)
install(FILES ${_pkg}/vvpd.service DESTINATION lib/systemd/user)

# A new program folder is filled from these. The letterhead is the built-in one byte for byte
# (the letters tests check it); the laboratory file is only a sample, so no order goes to an
# example laboratory by default.
install(FILES tests/data/letters/default_letterhead.rtf DESTINATION share/vvp/defaults RENAME defaultlh.rtf)
install(FILES tests/data/pathology/ElectronicLabDetails.inf
  DESTINATION share/vvp/defaults RENAME ElectronicLabDetails.inf.sample)
# Examples for trying it out (README, "First steps"): printouts and a request form template.
install(FILES tests/data/letters/request_form.rtf
  DESTINATION share/doc/vvp/examples RENAME cREquestForm.rtf)
install(FILES tests/data/messages/referral_pit.prn DESTINATION share/doc/vvp/examples RENAME referral.prn)
install(FILES tests/data/pathology/single_request.prn
  DESTINATION share/doc/vvp/examples RENAME pathology_request.prn)

# Documentation: copyright, changelog and manual pages from --help, compressed as Debian wants.
install(FILES ${_pkg}/debian/copyright README.md DESTINATION share/doc/vvp)
install(FILES ${_pkg}/debian/lintian-overrides DESTINATION share/lintian/overrides RENAME vvp)
configure_file(${_pkg}/debian/changelog.in ${_gen}/changelog @ONLY)
find_program(VVP_GZIP gzip REQUIRED)
find_program(VVP_HELP2MAN help2man)
set(_docs ${_gen}/changelog.gz)
add_custom_command(OUTPUT ${_gen}/changelog.gz
  COMMAND ${VVP_GZIP} -9nf -k ${_gen}/changelog
  DEPENDS ${_pkg}/debian/changelog.in
  COMMENT "Compressing the package changelog"
  VERBATIM)
install(FILES ${_gen}/changelog.gz DESTINATION share/doc/vvp)

function(vvp_manual_page target summary)
  set(_page ${_gen}/${target}.1.gz)
  add_custom_command(OUTPUT ${_page}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${VVP_HELP2MAN} --no-info --no-discard-stderr --name=${summary}
            --output=${_gen}/${target}.1 $<TARGET_FILE:${target}>
    COMMAND ${VVP_GZIP} -9nf ${_gen}/${target}.1
    DEPENDS ${target}
    COMMENT "Manual page for ${target} from its --help"
    VERBATIM)
  install(FILES ${_page} DESTINATION share/man/man1)
  set(_docs ${_docs} ${_page} PARENT_SCOPE)
endfunction()
if(VVP_HELP2MAN)
  vvp_manual_page(vvpd "Vocanet Virtual Printer service: print jobs to electronic health messages")
  vvp_manual_page(vvp-store "put a practice's certificate into the VVP signing store")
endif()

if(TARGET vvp)
  install(TARGETS vvp RUNTIME DESTINATION bin)
  install(FILES ${_pkg}/vvp.desktop DESTINATION share/applications)
  install(FILES ${_pkg}/vvp.svg DESTINATION share/icons/hicolor/scalable/apps)
  if(VVP_HELP2MAN)
    vvp_manual_page(vvp "Vocanet Virtual Printer desktop program")
  endif()
endif()

# Everything the package holds, built: `cmake --build build --target package-files`, then cpack.
add_custom_target(package-files DEPENDS ${_docs})
add_dependencies(package-files programs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vvp)
set(CPACK_PACKAGE_VENDOR "Vocanet")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VVP_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "printer that turns printouts into electronic health messages")
if(TARGET vvp)
  set(_with_vvp "\nThe desktop program vvp shows the printer in a window and the tray.")
endif()
# CPack indents these lines and turns the empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"The Vocanet Virtual Printer receives what a practice's clinical software
prints to the Vocanet printer and writes the matching electronic message:
PIT reports, HL7 referral letters, RTF letters on the practice's letterhead
and HL7 pathology orders, optionally signed with the practitioner's
certificate, for the Vocanet messaging client to collect or for the
practice's VVP server.

This package holds the service vvpd (a systemd user unit for a workstation
and a system unit for a practice server), the signing store tool vvp-store,
the signing library and the CUPS filter and PPD of the printer queue.${_with_vvp}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, cups-client")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${_pkg}/debian/postinst ${_pkg}/debian/prerm ${_pkg}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
