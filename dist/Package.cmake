# The Debian package, made with CPack by scripts/package:
# build-package/uavcontrol_VERSION_amd64.deb.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME uavcontrol)
set(CPACK_PACKAGE_VERSION ${UAV_VERSION})
set(CPACK_PACKAGE_CONTACT ${UAV_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for the transponder of an unmanned aircraft")
set(CPACK_PACKAGE_DESCRIPTION "\
The operator's control panel for the transponder of an unmanned aircraft,
reached over a serial line: it sets the transponder's operating function,
code, ident, supply voltage range and offset and its interrogation replies,
polls its status in an automatic sequence with a link watchdog, and sends
commands typed by hand.

With it come xpdrctl, which reads and sets the transponder from shell scripts
with no display, and xpdrsim, a simulated transponder on a pseudo-terminal.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libmosquitto1 (the operations room's broker client) comes with the shared
# libraries the programs link, as gensio does; the package check asks for it.
# Two needs that the libraries' own dependencies do not show:
# - qt6-qpa-plugins holds the display plugins. Qt's GUI library only recommends
#   it, and without it the panel cannot open its window.
# - fonts-liberation gives the face the window's layout is measured for.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")

include(CPack)
