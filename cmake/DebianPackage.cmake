# `make package`: a Debian package of the app, its camera tool and the desktop
# files, made by CPack from the install rules, with stripped binaries and
# dependencies found by dpkg-shlibdeps.
include(GNUInstallDirs)

set(BACKBEACON_MAINTAINER "Backbeacon developers <maintainers@backbeacon.org>")
execute_process(COMMAND date -u -R -d "${BACKBEACON_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE BACKBEACON_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)

# Debian keeps a package's copyright and changelog under its own name.
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/backbeacon)
set(_debian ${PROJECT_SOURCE_DIR}/data/debian)
configure_file(${_debian}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
set(_changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
# -n: no file name or time in the header, so the same changelog gives the same bytes.
add_custom_command(OUTPUT ${_changelog_gz}
  COMMAND gzip -9nkf ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(backbeacon_changelog ALL DEPENDS ${_changelog_gz})
install(FILES ${_debian}/copyright ${_changelog_gz} DESTINATION ${_doc})

# What the package holds; `make package` builds just these before packing.
add_custom_target(package_contents)
add_dependencies(package_contents backbeacon backbeacon-camera backbeacon-camera-video
  backbeacon_icons backbeacon_changelog)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME backbeacon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${BACKBEACON_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private module folder holds no library other packages link against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/backbeacon)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the views' QML modules
# and the X11/Wayland platform plugins.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, qml6-module-qtquick, qml6-module-qtquick-window, qml6-module-qtqml-workerscript, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts")
# The alert sound's theme, and the face model the camera tool reads.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sound-theme-freedesktop, libdlib-data")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray utility that nudges you when your head drifts out of line")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Backbeacon sits in the system tray and watches your head posture, read from a
head tracker that speaks opentrack's UDP output or from the laptop's camera.
It compares every sample with a neutral posture you saved and sends a desktop
notification when your head has stayed out of line for too long. It counts
each day's monitored and out-of-line time and keeps 90 days of history.")
include(CPack)
