# Installation: where every file goes (GNU layout), the desktop integration, the manual page of lumora-cli and
# the Debian package (`make install`, `make deb`). Rules name targets, never source folders.
#
# Included before the sources, it fixes the layout the programs are compiled with; lumora_install_rules(), called
# once every target exists, declares what gets installed.

include(GNUInstallDirs)

# Desktop identity: the .desktop and metainfo file names, and the icon's name in the theme.
set(LUMORA_APP_ID net.tavrel.lumora)
# Date of the release named by the project version; changes with it.
set(LUMORA_RELEASE_DATE 2026-12-06)

set(LUMORA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/lumora)
set(LUMORA_INSTALL_HELPERDIR ${CMAKE_INSTALL_LIBEXECDIR}/lumora)
# The programs find their shipped files and helpers relative to their own directory, so a staged (DESTDIR) or
# moved installation works as well as the final one.
file(RELATIVE_PATH LUMORA_DATA_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/lumora)
file(RELATIVE_PATH LUMORA_HELPERS_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBEXECDIR}/lumora)

# The window icon in the sizes desktops ask for, drawn from its SVG at build time; nothing generated is kept in
# the sources.
function(_lumora_theme_icons svg)
  find_program(LUMORA_RSVG_CONVERT rsvg-convert)
  if(NOT LUMORA_RSVG_CONVERT)
    message(WARNING "rsvg-convert (package librsvg2-bin) not found: only the scalable icon will be installed")
    return()
  endif()
  set(pngs "")
  foreach(size 16 22 24 32 48 64 128 256)
    set(dir ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps)
    add_custom_command(OUTPUT ${dir}/${LUMORA_APP_ID}.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${LUMORA_RSVG_CONVERT} -w ${size} -h ${size} -o ${dir}/${LUMORA_APP_ID}.png ${svg}
      DEPENDS ${svg}
      VERBATIM)
    list(APPEND pngs ${dir}/${LUMORA_APP_ID}.png)
  endforeach()
  add_custom_target(lumora_icons ALL DEPENDS ${pngs})
  install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endfunction()

# The manual page, made from lumora-cli's own --help texts each time the program changes. The program runs with
# a private home so that building writes nothing into the builder's.
function(_lumora_manpage)
  set(dir ${CMAKE_BINARY_DIR}/man)
  add_custom_command(OUTPUT ${dir}/lumora-cli.1 ${dir}/lumora-cli.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/home
    COMMAND ${CMAKE_COMMAND} -E env HOME=${dir}/home XDG_CONFIG_HOME=${dir}/home XDG_DATA_HOME=${dir}/home
            XDG_CACHE_HOME=${dir}/home
            ${PROJECT_SOURCE_DIR}/scripts/make-manpage $<TARGET_FILE:lumora-cli> ${dir}/lumora-cli.1
    COMMAND gzip -9 -n -f -k ${dir}/lumora-cli.1
    DEPENDS lumora-cli ${PROJECT_SOURCE_DIR}/scripts/make-manpage
    COMMENT "Writing the manual page of lumora-cli"
    VERBATIM)
  add_custom_target(lumora_manpage ALL DEPENDS ${dir}/lumora-cli.1.gz)
  install(FILES ${dir}/lumora-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

macro(lumora_install_rules)
  # The window names its desktop entry, so that desktops can match the two.
  target_compile_definitions(lumora PRIVATE LUMORA_DESKTOP_ID="${LUMORA_APP_ID}")
  install(TARGETS lumora lumora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS lumora-decode RUNTIME DESTINATION ${LUMORA_INSTALL_HELPERDIR})
  install(TARGETS lumora_codecs lumora_imagelibs lumora_motion LIBRARY DESTINATION ${LUMORA_INSTALL_HELPERDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/Lang/ DESTINATION ${LUMORA_INSTALL_DATADIR}/Lang
          FILES_MATCHING PATTERN "*.txt")
  install(FILES ${PROJECT_SOURCE_DIR}/resources/Presets/default.xml DESTINATION ${LUMORA_INSTALL_DATADIR}/Presets)

  set(_desktop ${PROJECT_SOURCE_DIR}/resources/desktop)
  configure_file(${_desktop}/${LUMORA_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/desktop/${LUMORA_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${_desktop}/${LUMORA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_BINARY_DIR}/desktop/${LUMORA_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/Hi.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${LUMORA_APP_ID}.svg)
  _lumora_theme_icons(${PROJECT_SOURCE_DIR}/resources/icons/Hi.svg)
  _lumora_manpage()

  # Debian package (`make deb`). The libraries the programs link decide most dependencies (dpkg-shlibdeps
  # reads them from the binaries); the helper programs Lumora runs are added by name. No maintainer scripts:
  # the icon, menu, MIME and manual caches are refreshed by the triggers of the packages that own them, and
  # the install-time mode writes one user's settings, which a package installed for every user must not do.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME lumora)
  set(CPACK_PACKAGE_VENDOR Tavrel)
  set(CPACK_PACKAGE_CONTACT "Tavrel <lumora@tavrel.net>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "HDR pictures from video clips and photo bursts")
  set(CPACK_PACKAGE_DESCRIPTION "Lumora stacks a moment of a video clip or photo burst with its neighbouring
frames into a high-dynamic-range light image, tone-maps it and exports it with the
source's EXIF data. It has a window (lumora) and a command-line tool (lumora-cli)
that run the same engine.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tavrel.net/lumora/)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # exiftool copies the EXIF data into every export, bwrap sandboxes the decoder;
  # the window's icons are SVG, drawn by Qt's SVG plugins, which no binary links.
  # libav is bound on first call, so no binary names its libraries: they are added by name too.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libimage-exiftool-perl, bubblewrap, libqt5svg5")
  if(LUMORA_LIBAV_PACKAGES)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${LUMORA_LIBAV_PACKAGES}")
  endif()
  include(CPack)
endmacro()
