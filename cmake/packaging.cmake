# Install rules and the Debian packages (make package), from one CPack
# configuration with two components:
#   panel -> tavo-control: the window, its desktop entry, icons, metainfo
#   tools -> tavo-tools:   tavo-ctl, tavo-pjlink and its unit, the virtual
#                          projector; Qt Core, Network and Serial Port only
# Depends come from dpkg-shlibdeps, plus the packages it cannot see: the
# display plugins and fonts that Qt loads at run time.
# With TAVO_PACKAGE=ON (make package) the man pages are made from each
# program's --help by help2man.

option(TAVO_PACKAGE "Build the man pages for the Debian packages (needs help2man)" OFF)

set(TAVO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc)
set(TAVO_MAN_DIR ${CMAKE_INSTALL_MANDIR}/man1)
set(TAVO_GENERATED_DIR ${CMAKE_BINARY_DIR}/package-files)
set(TAVO_APP_ID org.tavo_control.TavoControl)

install(TARGETS tavo-control RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT panel)
install(FILES data/${TAVO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT panel)
install(FILES data/${TAVO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT panel)

install(TARGETS tavo-ctl tavo-pjlink tavo-projector-sim
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
# The bridge's service unit: installed, not enabled.
install(FILES data/tavo-pjlink.service DESTINATION lib/systemd/system COMPONENT tools)
# The unit reads /etc/default/tavo-pjlink whatever the prefix.
install(FILES data/tavo-pjlink.default DESTINATION /etc/default RENAME tavo-pjlink
        COMPONENT tools)
install(FILES ${CMAKE_BINARY_DIR}/tools/tavo-ctl/tavo-ctl.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavo-ctl
        COMPONENT tools)

# gzip -9n: Debian's compression for documentation, without a time stamp so
# that the same sources give the same package.
function(tavo_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

# The copyright file in Debian's machine-readable format, with LICENSE's
# text as its licence paragraph.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE TAVO_LICENSE_TEXT)
string(REGEX REPLACE "\n$" "" TAVO_LICENSE_TEXT "${TAVO_LICENSE_TEXT}")
string(REGEX REPLACE "\n\n" "\n.\n" TAVO_LICENSE_TEXT "${TAVO_LICENSE_TEXT}")
string(REGEX REPLACE "\n" "\n " TAVO_LICENSE_TEXT "${TAVO_LICENSE_TEXT}")
string(REGEX MATCH "Copyright \\(c\\) [^\n]*" TAVO_COPYRIGHT_LINE "${TAVO_LICENSE_TEXT}")
string(REPLACE "Copyright (c) " "" TAVO_COPYRIGHT_LINE "${TAVO_COPYRIGHT_LINE}")
file(WRITE ${TAVO_GENERATED_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: tavo-control

Files: *
Copyright: ${TAVO_COPYRIGHT_LINE}
License: Expat
 ${TAVO_LICENSE_TEXT}
")

set(TAVO_PACKAGE_FILES)
tavo_gzip(${CMAKE_SOURCE_DIR}/data/changelog ${TAVO_GENERATED_DIR}/changelog.gz)
tavo_gzip(${CMAKE_SOURCE_DIR}/README.md ${TAVO_GENERATED_DIR}/README.md.gz)
list(APPEND TAVO_PACKAGE_FILES ${TAVO_GENERATED_DIR}/changelog.gz ${TAVO_GENERATED_DIR}/README.md.gz)
set(TAVO_DOC_FILES ${TAVO_GENERATED_DIR}/copyright ${TAVO_GENERATED_DIR}/changelog.gz
                   ${TAVO_GENERATED_DIR}/README.md.gz)
install(FILES ${TAVO_DOC_FILES} DESTINATION ${TAVO_DOC_DIR}/tavo-control COMPONENT panel)
install(FILES ${TAVO_DOC_FILES} DESTINATION ${TAVO_DOC_DIR}/tavo-tools COMPONENT tools)

# One man page per program, from its --help and --version, and the sections
# in data/PROGRAM.h2m when there is one.
function(tavo_man_page program component summary)
  set(page ${TAVO_GENERATED_DIR}/${program}.1)
  set(include ${CMAKE_SOURCE_DIR}/data/${program}.h2m)
  set(include_option)
  set(include_file)
  if(EXISTS ${include})
    set(include_option --include=${include})
    set(include_file ${include})
  endif()
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            SOURCE_DATE_EPOCH=${TAVO_RELEASE_EPOCH} ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${summary}
            ${include_option} --output=${page} $<TARGET_FILE:${program}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${program} ${include_file} VERBATIM)
  install(FILES ${page}.gz DESTINATION ${TAVO_MAN_DIR} COMPONENT ${component})
  set(TAVO_PACKAGE_FILES ${TAVO_PACKAGE_FILES} ${page}.gz PARENT_SCOPE)
endfunction()

if(TAVO_PACKAGE)
  find_program(HELP2MAN help2man REQUIRED)
  # The pages carry the date of the newest changelog entry, not the build's.
  execute_process(COMMAND dpkg-parsechangelog -l ${CMAKE_SOURCE_DIR}/data/changelog -S Timestamp
                  OUTPUT_VARIABLE TAVO_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  tavo_man_page(tavo-control panel "control panel for TAVO RA20 and RB20 projectors over RS-232C")
  tavo_man_page(tavo-ctl tools "send TAVO RA20/RB20 commands and status queries by name")
  tavo_man_page(tavo-pjlink tools "PJLink network bridge for a TAVO RA20/RB20 projector")
  tavo_man_page(tavo-projector-sim tools "virtual TAVO RA20/RB20 projector on a pseudo-terminal")
endif()

# Everything the packages hold, built by `make package` without the tests.
add_custom_target(tavo-package-files ALL DEPENDS ${TAVO_PACKAGE_FILES})
add_dependencies(tavo-package-files tavo-control tavo-ctl tavo-pjlink tavo-projector-sim
                 tavo-icons)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL panel tools)
set(CPACK_PACKAGE_NAME tavo-control)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tavo-control developers <dev@tavo-control.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE tavo-control)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Stripped programs: the debug symbols are most of an unstripped binary.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PANEL_PACKAGE_NAME tavo-control)
set(CPACK_DEBIAN_PANEL_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PANEL_PACKAGE_SUGGESTS tavo-tools)
set(CPACK_DEBIAN_PANEL_DESCRIPTION
"control panel for TAVO RA20 and RB20 projectors over RS-232C
A window for the TAVO RA20 and RB20 projectors on a serial cable. Its
buttons send the projector's command frames; every frame sent and every
reply received is shown as a trace line, and the replies to the status
queries are decoded into plain text: power state, input, lamp hours,
temperatures and air pressure.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tavo-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/data/deb/postinst ${CMAKE_SOURCE_DIR}/data/deb/prerm
    ${CMAKE_SOURCE_DIR}/data/deb/postrm ${CMAKE_SOURCE_DIR}/data/deb/conffiles)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
"command line and PJLink bridge for TAVO RA20 and RB20 projectors
Headless programs for the TAVO RA20 and RB20 projectors on a serial cable,
without any graphical library. tavo-ctl sends commands and status queries
by name, for scripts and monitoring checks. tavo-pjlink makes the projector
a PJLink Class 2 projector on the network, with a sandboxed systemd service
(installed, not enabled). tavo-projector-sim is a virtual projector on a
pseudo-terminal, to try the programs without hardware.")

include(CPack)
