# Installs the build into a scratch root (DESTDIR, prefix /usr) and checks that
# the desktop entry, metainfo and icons land where desktops look for them.
# Given: BUILD_DIR, DATA_DIR, ROOT, ICON_SIZES.
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

# The PNG sizes; what they hold, the names tying the files together, the
# release and the documents are checked on the package (check-package.sh).
foreach(size ${ICON_SIZES})
  if(NOT EXISTS "${share}/icons/hicolor/${size}x${size}/apps/${id}.png")
    message(FATAL_ERROR "not installed: the ${size} px icon")
  endif()
endforeach()
message(STATUS "installed under ${share}: the desktop entry, metainfo and icons")
