# `cpack -G DEB` in a build folder makes orvanta_<version>_amd64.deb; scripts/package-deb.sh is the way
# to build it (system prefix, Debian's compiler flags, checked with lintian).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Orvanta developers <dev@orvanta.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dictate into any application, recognized on this computer")
# CPack puts the summary on the first line and this under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Hold a key and speak, release it to finish. Orvanta recognizes the speech
on this computer with PocketSphinx, applies your dictionary of preferred
spellings, tidies the text in the mode you chose and pastes it into the
text field you were typing in, confirmed over the accessibility bus.
Corrections you make afterwards are learned. Nothing leaves the computer.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps adds the libraries the program links; what it reaches at run time is named here: the
# recognizer's model, the accessibility bus it pastes over, a sound server for the microphone, and Qt's
# Wayland plugin for the windows on a Wayland session. wl-clipboard gives the clipboard on wlroots desktops;
# IBus, which commits the text into Wayland applications, is only suggested: installing it may change the
# user's input method.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pocketsphinx-en-us, at-spi2-core, pulseaudio | pipewire-pulse, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wl-clipboard")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ibus")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
