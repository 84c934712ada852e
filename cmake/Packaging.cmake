# The Debian package: `cpack -G DEB` in the build folder writes
# tessavo_<version>_<arch>.deb with both programs, the desktop entry, the
# icon and the AppStream metadata.
set(CPACK_PACKAGE_NAME tessavo)
set(CPACK_PACKAGE_VENDOR "The Tessavo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Convert HEIC photos to JPEG files")
set(CPACK_PACKAGE_CONTACT "The Tessavo developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessavo turns the HEIC photos that phones take into JPEG files, in a window
(tessavo) or on the command line (tessavo-convert). The JPEG files keep the
photo's crop, rotation and colour profile.")
# The libraries the programs link come from dpkg-shlibdeps. What is loaded
# at run time is listed by hand: the QML modules and Qt plugins the window
# imports, Qt's Wayland platform, without which a Wayland session runs the
# window through X11 if it can, and xdg-open, which shows the output folder
# when no file manager answers on D-Bus.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "xdg-utils, qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, \
qml6-module-qtquick-templates, qml6-module-qtquick-window, qml6-module-qtqml, qml6-module-qtqml-models, \
qml6-module-qtqml-workerscript, libqt6svg6, libqt6sql6-sqlite, qt6-wayland")
# Qt's own translations let the file dialogs speak the window's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
