# `cpack` (or the `package` target) makes a Debian package of what
# `cmake --install` lays out, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumbra)
set(CPACK_PACKAGE_VENDOR "Lumbra")
set(CPACK_PACKAGE_CONTACT "Lumbra developers <lumbra@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "get subtitles for your videos from OpenSubtitles")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${LUMBRA_HOMEPAGE}")
# CPack puts the summary first and indents and wraps this long description itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Lumbra lists your videos with the subtitles already beside them, \
asks the OpenSubtitles service (REST API, or XML-RPC for paying accounts) for subtitles in up to \
three languages, picks the best one per video and language and places it beside the video. It \
previews a subtitle over its video and checks your own subtitles against the service.

The package holds the desktop application, lumbra, and the command-line tool, lumbra-cli, with \
their man pages and shell completion.")
# The debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
# Libraries linked at build time come from dpkg-shlibdeps; these are loaded at run time:
# Qt's platform plugins, and libsecret, through which QtKeychain reaches the keyring.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager, mplayer")
include(CPack)
