# Installs the build into a scratch root (DESTDIR, prefix /usr) and checks that
# the desktop entry, metainfo and icon land where desktops look for them, and
# that the names tying them together agree. Given: BUILD_DIR, DATA_DIR, ROOT,
# VERSION, ICON_SIZES.
file(REMOVE_RECURSE "${ROOT}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${ROOT}
          ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix /usr
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(id org.backbeacon.Backbeacon)
set(share "${ROOT}/usr/share")
foreach(entry
    "applications/${id}.desktop|${id}.desktop"
    "metainfo/${id}.metainfo.xml|${BUILD_DIR}/data/${id}.metainfo.xml"
    "icons/hicolor/scalable/apps/${id}.svg|icons/${id}.svg")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 installed)
  list(GET entry 1 source)
  if(NOT EXISTS "${share}/${installed}")
    message(FATAL_ERROR "not installed: /usr/share/${installed}\n${output}")
  endif()
  if(NOT IS_ABSOLUTE "${source}")
    set(source "${DATA_DIR}/${source}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                  "${share}/${installed}" "${source}" RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "/usr/share/${installed} differs from ${source}")
  endif()
endforeach()

# The desktop entry must name the installed icon, and the metainfo the entry.
file(STRINGS "${share}/applications/${id}.desktop" icon REGEX "^Icon=")
if(NOT icon STREQUAL "Icon=${id}")
  message(FATAL_ERROR "the desktop entry names \"${icon}\", not the installed icon ${id}")
endif()
file(READ "${share}/metainfo/${id}.metainfo.xml" metainfo)
foreach(tag "<id>${id}</id>" "<launchable type=\"desktop-id\">${id}.desktop</launchable>")
  string(FIND "${metainfo}" "${tag}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the metainfo lacks ${tag}")
  endif()
endforeach()
# The PNG sizes, each a PNG of its folder's size (width and height are the
# big-endian words at bytes 16 and 20 of the header).
foreach(size ${ICON_SIZES})
  set(png "${share}/icons/hicolor/${size}x${size}/apps/${id}.png")
  if(NOT EXISTS "${png}")
    message(FATAL_ERROR "not installed: ${png}")
  endif()
  file(READ "${png}" header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT header MATCHES "^89504e470d0a1a0a0000000d49484452" OR NOT width EQUAL size
     OR NOT height EQUAL size)
    message(FATAL_ERROR "${png} is not a ${size} px square PNG: ${header}")
  endif()
endforeach()

# The release the metainfo names is the project's version.
string(FIND "${metainfo}" "<release version=\"${VERSION}\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the metainfo names no release ${VERSION}")
endif()
foreach(doc copyright changelog.gz)
  if(NOT EXISTS "${share}/doc/backbeacon/${doc}")
    message(FATAL_ERROR "not installed: /usr/share/doc/backbeacon/${doc}")
  endif()
endforeach()
message(STATUS "installed under ${share}: the desktop entry, metainfo, icons and documents")
