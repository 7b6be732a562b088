# What the Debian package installs and how CPack builds it. Included when
# TALVEX_PACKAGE is on (scripts/package.sh does that); an ordinary build
# needs none of the tools below.

include(GNUInstallDirs)

find_program(TALVEX_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(TALVEX_GZIP gzip REQUIRED)
find_program(TALVEX_DATE date REQUIRED)

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_out ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_out})

# The changelog wants the release date in the mail-header form.
execute_process(COMMAND ${TALVEX_DATE} -u -R -d "${TALVEX_RELEASE_DATE} 12:00:00"
  OUTPUT_VARIABLE TALVEX_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _date_failed)
if(_date_failed)
  message(FATAL_ERROR "TALVEX_RELEASE_DATE is not a date: ${TALVEX_RELEASE_DATE}")
endif()
# The same moment is the time of every file in the package and of the
# archives that hold them: two builds of one release give the same bytes.
execute_process(COMMAND ${TALVEX_DATE} -u -d "${TALVEX_RELEASE_DATE} 12:00:00" +%s
  OUTPUT_VARIABLE TALVEX_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE)

configure_file(${_pkg}/example.talvex.talvex.metainfo.xml.in ${_out}/example.talvex.talvex.metainfo.xml @ONLY)
configure_file(${_pkg}/changelog.in ${_out}/changelog @ONLY)
# The recording service, a systemd user unit template: the port is its instance.
# The package installs under /usr (CPACK_PACKAGING_INSTALL_PREFIX below).
set(TALVEX_UNIT_CLI /usr/${CMAKE_INSTALL_BINDIR}/talvex-cli)
configure_file(${_pkg}/systemd/talvex-registro@.service.in ${_out}/talvex-registro@.service @ONLY)

# Manual pages and the changelog go in compressed, without a time stamp in
# the gzip header so that two builds give the same bytes.
set(_gz)
set(_compressed)
foreach(page talvex talvex-cli talvex-sim)
  configure_file(${_pkg}/man/${page}.1.in ${_out}/${page}.1 @ONLY)
  list(APPEND _gz ${_out}/${page}.1)
endforeach()
list(APPEND _gz ${_out}/changelog)
foreach(file IN LISTS _gz)
  add_custom_command(OUTPUT ${file}.gz
    COMMAND ${TALVEX_GZIP} -9nc ${file} > ${file}.gz
    DEPENDS ${file} VERBATIM)
  list(APPEND _compressed ${file}.gz)
endforeach()

add_custom_command(OUTPUT ${_out}/talvex.png
  COMMAND ${TALVEX_RSVG_CONVERT} -w 48 -h 48 -o ${_out}/talvex.png ${_pkg}/icons/talvex.svg
  DEPENDS ${_pkg}/icons/talvex.svg VERBATIM)
add_custom_target(talvex_package_files ALL DEPENDS ${_compressed} ${_out}/talvex.png)

install(TARGETS talvex talvex-cli talvex-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Stripped as Debian's own tools strip: symbols and also the compiler's
# .comment (its version string, once per object) and .note sections.
install(CODE "
  foreach(program talvex talvex-cli talvex-sim)
    set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note \"\${file}\"
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR \"could not strip \${file}\")
    endif()
  endforeach()")
install(FILES ${_pkg}/talvex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_out}/example.talvex.talvex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pkg}/icons/talvex.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_out}/talvex.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${_out}/talvex.1.gz ${_out}/talvex-cli.1.gz ${_out}/talvex-sim.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_out}/talvex-registro@.service DESTINATION lib/systemd/user)
install(FILES ${_pkg}/bash-completion/talvex-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${_pkg}/copyright ${_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talvex)
set(CPACK_PACKAGE_VENDOR "Equipo de desarrollo de TALVEX")
set(CPACK_PACKAGE_CONTACT "Equipo de desarrollo de TALVEX <talvex@talvex.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped by the install step above, with the sections CPack's strip keeps.
set(CPACK_STRIP_FILES OFF)
# CPack dates the files and the archives from the environment's
# SOURCE_DATE_EPOCH, set here so that a plain "cpack" is reproducible too.
file(WRITE ${_out}/CPackProjectConfig.cmake "set(ENV{SOURCE_DATE_EPOCH} ${TALVEX_SOURCE_DATE_EPOCH})\n")
set(CPACK_PROJECT_CONFIG_FILE ${_out}/CPackProjectConfig.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://talvex.example/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries come from the binaries themselves (dpkg-shlibdeps). Two things
# are loaded at run time, so no binary names them: Qt's platform plugin,
# without which no window opens, and the metric twins of Arial the windows
# are laid out for (with the fallback font their labels come out clipped).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
# Qt's dialogs and standard buttons in Spanish; without it they speak English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "program for the 16-channel RS-232 temperature logger")
# CPack puts the summary on the Description line and this below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "TALVEX shows the live channels, clock, sampling rate, memory and battery of
a battery-powered 16-channel, 12-bit temperature logger connected over
RS-232 (115200 8N1), sets its clock and sampling rate, downloads its
records, saves them as text, CSV or XLSX, computes their statistics and
draws them as a chart that can be zoomed, copied and printed. The
interface is in Spanish.

The package holds the desktop program (talvex), a command-line companion
for scripts and machines without a display (talvex-cli) and a logger
simulator on a pseudo-terminal (talvex-sim). The built-in DEMO port shows
everything working without a logger.

To open serial ports the user must be a member of the dialout group
(sudo usermod -aG dialout $USER, then log in again).")

include(CPack)
