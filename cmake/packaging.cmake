# The Debian package (cpack -G DEB in the build folder gives orvane_<version>_<arch>.deb).
# Its run-time dependencies are read from the binaries by dpkg-shlibdeps; its description is the
# AppStream metadata's summary and paragraphs, so the two never tell different stories.

# orvane_wrap(<out-var> <text> <width>): the text's words in lines of at most width characters.
function(orvane_wrap out text width)
  string(REGEX REPLACE "[ \t\r\n]+" ";" words "${text}")
  set(lines)
  set(line "")
  foreach(word IN LISTS words)
    if(word STREQUAL "")
      continue()
    endif()
    string(LENGTH "${line} ${word}" length)
    if(line STREQUAL "")
      set(line "${word}")
    elseif(length GREATER width)
      list(APPEND lines "${line}")
      set(line "${word}")
    else()
      string(APPEND line " ${word}")
    endif()
  endforeach()
  if(NOT line STREQUAL "")
    list(APPEND lines "${line}")
  endif()
  string(REPLACE ";" "\n" wrapped "${lines}")
  set(${out} "${wrapped}" PARENT_SCOPE)
endfunction()

# Summary and description from the AppStream metadata: the component's own summary and the
# paragraphs of its description (not those of a release). CPack puts the summary on the first
# line itself.
file(READ ${ORVANE_METAINFO_FILE} metainfo)
string(REGEX MATCH "<summary>([^<]*)</summary>" _ "${metainfo}")
set(summary "${CMAKE_MATCH_1}")
string(REGEX MATCH "<description>(.*)</description>[ \t\r\n]*<launchable" _ "${metainfo}")
string(REGEX MATCHALL "<p>[^<]*</p>" paragraphs "${CMAKE_MATCH_1}")
set(description "")
set(first TRUE)
foreach(p IN LISTS paragraphs)
  string(REGEX REPLACE "</?p>" "" p "${p}")
  orvane_wrap(wrapped "${p}" 78)
  if(first)
    set(first FALSE)
  else()
    string(APPEND description "\n.")
  endif()
  string(APPEND description "\n${wrapped}")
  string(STRIP "${description}" description)
endforeach()
if(summary STREQUAL "" OR first)
  message(FATAL_ERROR "No summary or description found in ${ORVANE_METAINFO_FILE}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR Quillfen)
set(CPACK_PACKAGE_CONTACT "Quillfen <quillfen@users.noreply.github.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${summary}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${description}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/quillfen/orvane)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugins and the SVG icon engine at run time, where
# dpkg-shlibdeps cannot see them. libebur128 (loudness) and TagLib (tags) are named as well, so the package says it
# even where the library is linked statically.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, libebur128-1, libtag1v5, libavfilter8, libsox3")
# Wayland sessions, and xdg-open for the manual and web pages outside GNOME and KDE.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n, xdg-utils")
# The companion tools of the Tools menu (src/shell/services/tools.cpp).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "pavucontrol, kid3-qt, asunder, soundconverter, gnome-sound-recorder")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
