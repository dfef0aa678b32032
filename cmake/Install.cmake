# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts where.
include(GNUInstallDirs)
install(TARGETS scrivlet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/org.scrivlet.Scrivlet.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/scrivlet.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME org.scrivlet.Scrivlet.svg)
