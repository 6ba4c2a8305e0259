# The Debian package (`make package`, or cpack in the build folder): whatever
# the install rules put under the prefix, installed under /usr, stripped.
# dpkg-shlibdeps finds the libraries the programs link to; the GStreamer
# plugins CamVault loads by name at run time (decoders, qtmux, x264enc, the
# screen source, WebKit's GL sink) are declared here, since no linker sees them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME camvault)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The CamVault developers")
set(CPACK_PACKAGE_CONTACT "The CamVault developers <camvault@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "dash-camera footage viewer with route, speed and G-force charts")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "CamVault shows the QuickTime clips of a dash camera beside the telemetry\n\
the camera embedded in them: the route on a map, speed, heading, position and\n\
G-forces. It exports routes as GPX, KML, CSV and GeoJSON, takes snapshots,\n\
merges clips and records the screen. camvault-extract and camvault-media\n\
do the same work from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://camvault.github.io/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, \
gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-gl, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
