# Installs the build into a scratch root (DESTDIR, prefix /usr) and checks that
# the desktop entry, metainfo and icon land where desktops look for them, and
# that the names tying them together agree. Given: BUILD_DIR, DATA_DIR, ROOT.
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
    "metainfo/${id}.metainfo.xml|${id}.metainfo.xml"
    "icons/hicolor/scalable/apps/${id}.svg|icons/${id}.svg")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 installed)
  list(GET entry 1 source)
  if(NOT EXISTS "${share}/${installed}")
    message(FATAL_ERROR "not installed: /usr/share/${installed}\n${output}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                  "${share}/${installed}" "${DATA_DIR}/${source}" RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "/usr/share/${installed} differs from data/${source}")
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
message(STATUS "installed under ${share}: the desktop entry, metainfo and icon")
