# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made by cpack from the install rules (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME scrivlet)
set(CPACK_PACKAGE_VENDOR "Scrivlet developers")
set(CPACK_PACKAGE_CONTACT "Scrivlet developers <scrivlet@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypted clipboard history with a search palette")
set(CPACK_PACKAGE_DESCRIPTION [[
Scrivlet keeps what you copy on the Linux desktop (texts, rich texts, images
and lists of files) in a history encrypted on disk, and pastes any of it back
from a search palette that Super+Shift+V opens from any window on X11.

Entries can be pinned, applications excluded and capture paused from the
tray; contents that password managers mark as secret are never recorded.
The scrivlet command drives it from scripts and launchers such as rofi
or fzf.]])

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The linked libraries come from dpkg-shlibdeps; these are loaded at run
# time instead: the platform plugins, the image formats, and the SVG icon
# engine that draws every icon of the interface (its own package from Debian
# 13 on; before, part of the library).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-svg-plugins | libqt6svg6 (<< 6.5), qt6-qpa-plugins, qt6-image-formats-plugins, qt6-wayland")
# Without a Secret Service the content key falls back to a file.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager | keepassxc")

include(CPack)
