# The installed player and its Debian package, for the station of the kit
# that the top-level CMakeLists.txt read (ORNIVOX_KIT_*).
#
# Layout, under the install prefix (/usr in the package):
#   lib/<package>/ornivox           the program
#   lib/<package>/browser/<module>  the browser module, found from the
#                                   running executable, never from a path
#                                   compiled in
#   lib/<package>/ornivox.dta       the station's settings file, when the kit
#                                   has one
#   bin/<package>                   a link to the program
#   share/applications, icons, metainfo, man, doc/<package>

set(ORNIVOX_PACKAGE "${ORNIVOX_KIT_PACKAGE}")
string(TOUPPER "${ORNIVOX_PACKAGE}" ORNIVOX_PACKAGE_UPPER)
# Reverse-DNS as the desktop wants it, under the reserved .example domain
# like every other address a build has by default.
string(REPLACE "-" "_" _ornivox_id_part "${ORNIVOX_PACKAGE}")
string(REPLACE "." "_" _ornivox_id_part "${_ornivox_id_part}")
set(ORNIVOX_APP_ID "example.ornivox.${_ornivox_id_part}")
set(ORNIVOX_MAINTAINER_MAIL "packages@${ORNIVOX_KIT_MAKER}")
set(_ornivox_private "lib/${ORNIVOX_PACKAGE}")
set(_ornivox_doc "share/doc/${ORNIVOX_PACKAGE}")
set(_ornivox_staged "${CMAKE_BINARY_DIR}/package")

string(TIMESTAMP ORNIVOX_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP ORNIVOX_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)

# Station texts go into XML and roff: their special characters escaped.
foreach(setting NAME PACKAGE_SUMMARY PACKAGE_DESCRIPTION HOME_PAGE)
  set(_ornivox_text "${ORNIVOX_KIT_${setting}}")
  set(_ornivox_plain_${setting} "${_ornivox_text}")
  string(REPLACE "&" "&amp;" _ornivox_text "${_ornivox_text}")
  string(REPLACE "<" "&lt;" _ornivox_text "${_ornivox_text}")
  string(REPLACE ">" "&gt;" _ornivox_text "${_ornivox_text}")
  set(ORNIVOX_KIT_${setting} "${_ornivox_text}")
endforeach()
string(REPLACE "\\" "\\e" ORNIVOX_KIT_NAME_ROFF "${_ornivox_plain_NAME}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/metainfo.xml.in ${_ornivox_staged}/${ORNIVOX_APP_ID}.metainfo.xml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${_ornivox_staged}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${_ornivox_staged}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/lintian-overrides.in ${_ornivox_staged}/lintian-overrides @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/manpage.1.in ${_ornivox_staged}/${ORNIVOX_PACKAGE}.1 @ONLY)
foreach(setting NAME PACKAGE_SUMMARY PACKAGE_DESCRIPTION HOME_PAGE)
  set(ORNIVOX_KIT_${setting} "${_ornivox_plain_${setting}}")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/desktop.in ${_ornivox_staged}/${ORNIVOX_APP_ID}.desktop @ONLY)

# The relative link from bin/ to the program; the program then finds its
# private files beside its real path.
file(CREATE_LINK "../${_ornivox_private}/ornivox" "${_ornivox_staged}/${ORNIVOX_PACKAGE}" SYMBOLIC)

# Icons from the logo, and the compressed documents, made at build time.
find_program(ORNIVOX_GZIP gzip REQUIRED)
set(_ornivox_icons "${_ornivox_staged}/icons")
set(_ornivox_icon_files "")
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND _ornivox_icon_files "${_ornivox_icons}/${size}.png")
endforeach()
add_custom_command(
  OUTPUT ${_ornivox_icon_files}
  COMMAND ornivox-make-pictures --icons "${ORNIVOX_KIT_LOGO}" "${_ornivox_icons}"
  DEPENDS ornivox-make-pictures "${ORNIVOX_KIT_LOGO}"
  COMMENT "Drawing the desktop icons from the station's logo"
  VERBATIM)
add_custom_command(
  OUTPUT "${_ornivox_staged}/changelog.gz" "${_ornivox_staged}/${ORNIVOX_PACKAGE}.1.gz"
  COMMAND ${ORNIVOX_GZIP} -n -9 -c "${_ornivox_staged}/changelog" > "${_ornivox_staged}/changelog.gz"
  COMMAND ${ORNIVOX_GZIP} -n -9 -c "${_ornivox_staged}/${ORNIVOX_PACKAGE}.1" > "${_ornivox_staged}/${ORNIVOX_PACKAGE}.1.gz"
  DEPENDS "${_ornivox_staged}/changelog" "${_ornivox_staged}/${ORNIVOX_PACKAGE}.1"
  COMMENT "Compressing the package's documents")
add_custom_target(ornivox_package_files ALL
  DEPENDS ${_ornivox_icon_files} "${_ornivox_staged}/changelog.gz" "${_ornivox_staged}/${ORNIVOX_PACKAGE}.1.gz")

# Directories the install makes are 0755 whatever the umask, as a package's
# must be.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS ornivox RUNTIME DESTINATION ${_ornivox_private})
install(TARGETS ornivox_web_browser LIBRARY DESTINATION ${_ornivox_private}/browser
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(ORNIVOX_KIT_SETTINGS_FILE)
  install(FILES "${ORNIVOX_KIT_SETTINGS_FILE}" DESTINATION ${_ornivox_private} RENAME ornivox.dta)
endif()
install(FILES "${_ornivox_staged}/${ORNIVOX_PACKAGE}" DESTINATION bin)
install(FILES "${_ornivox_staged}/${ORNIVOX_APP_ID}.desktop" DESTINATION share/applications)
install(FILES "${_ornivox_staged}/${ORNIVOX_APP_ID}.metainfo.xml" DESTINATION share/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES "${_ornivox_icons}/${size}.png" DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME ${ORNIVOX_APP_ID}.png)
endforeach()
install(FILES "${_ornivox_staged}/${ORNIVOX_PACKAGE}.1.gz" DESTINATION share/man/man1)
install(FILES "${_ornivox_staged}/copyright" "${_ornivox_staged}/changelog.gz" DESTINATION ${_ornivox_doc})
install(FILES "${_ornivox_staged}/lintian-overrides" DESTINATION share/lintian/overrides RENAME ${ORNIVOX_PACKAGE})

# The Debian package. Dependencies come from the shared libraries the program
# and its module link (dpkg-shlibdeps); binaries are stripped, so no
# debugging data (and none of the build tree's paths in it) is shipped.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "${ORNIVOX_PACKAGE}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/deb")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ornivox developers <${ORNIVOX_MAINTAINER_MAIL}>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORNIVOX_KIT_HOME_PAGE}")
# The summary is the description's first line (CPack puts it there); the
# rest is the station's text, in lines that fit the package tools' 80
# columns.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${ORNIVOX_KIT_PACKAGE_SUMMARY}")
string(REGEX REPLACE "[ \t]+" ";" _ornivox_words "${ORNIVOX_KIT_PACKAGE_DESCRIPTION}")
set(_ornivox_wrapped "")
set(_ornivox_line "")
foreach(word IN LISTS _ornivox_words)
  string(LENGTH "${_ornivox_line} ${word}" _ornivox_length)
  if(_ornivox_line STREQUAL "")
    set(_ornivox_line "${word}")
  elseif(_ornivox_length GREATER 72)
    string(APPEND _ornivox_wrapped "${_ornivox_line}\n")
    set(_ornivox_line "${word}")
  else()
    string(APPEND _ornivox_line " ${word}")
  endif()
endforeach()
string(APPEND _ornivox_wrapped "${_ornivox_line}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${_ornivox_wrapped}")
# The layouts are measured in the fonts fonts-wine carries (Tahoma and the
# dialog font); the program finds them in /usr/share/wine/fonts. On a
# Wayland desktop without XWayland the toolkit needs its Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine, qt6-wayland")
# Without an audio server the sound device is the bare ALSA one; SDL then
# still plays. The session bus and a desktop are what the now-playing
# announcement and the playlist associations need, but the player runs
# without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, dbus-user-session")
include(CPack)
