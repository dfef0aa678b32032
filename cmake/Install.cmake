# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts where.
include(GNUInstallDirs)

set(scrivlet_resources ${PROJECT_SOURCE_DIR}/resources)
set(scrivlet_docdir ${CMAKE_INSTALL_DATADIR}/doc/scrivlet)
set(scrivlet_generated ${PROJECT_BINARY_DIR}/installed)

install(TARGETS scrivlet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# KWin grants the paste keyboard and the window list to the entry whose Exec=
# names the running program by its real path: the path is the prefix's, known
# only when installing (cmake --install --prefix, cpack).
install(CODE "
    set(entry \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/scrivlet)
    file(READ ${scrivlet_resources}/org.scrivlet.Scrivlet.desktop text)
    string(REPLACE \"Exec=scrivlet\" \"Exec=\${entry}\" text \"\${text}\")
    file(WRITE ${scrivlet_generated}/applications/org.scrivlet.Scrivlet.desktop \"\${text}\")
    file(INSTALL ${scrivlet_generated}/applications/org.scrivlet.Scrivlet.desktop
        DESTINATION \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications)
")
install(FILES ${scrivlet_resources}/org.scrivlet.Scrivlet.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The PNG sizes are rendered from the one SVG at build time, so that no
# committed copy can drift from it.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(scrivlet_icon_svg ${scrivlet_resources}/icons/scrivlet.svg)
set(scrivlet_icon_pngs)
foreach(size IN ITEMS 16 24 32 48 64 128 256)
    set(dir ${scrivlet_generated}/icons/${size}x${size})
    set(png ${dir}/org.scrivlet.Scrivlet.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${scrivlet_icon_svg}
        DEPENDS ${scrivlet_icon_svg}
        VERBATIM)
    list(APPEND scrivlet_icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(scrivlet_icons ALL DEPENDS ${scrivlet_icon_pngs})
install(FILES ${scrivlet_icon_svg}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME org.scrivlet.Scrivlet.svg)

# Compressed as Debian wants; man reads it the same everywhere.
set(scrivlet_man ${scrivlet_generated}/scrivlet.1.gz)
add_custom_command(OUTPUT ${scrivlet_man}
    COMMAND gzip -9 --no-name --stdout ${PROJECT_SOURCE_DIR}/docs/scrivlet.1 > ${scrivlet_man}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/scrivlet.1)
add_custom_target(scrivlet_man ALL DEPENDS ${scrivlet_man})
install(FILES ${scrivlet_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The settings window links to README.md#automatic-paste, so it stays
# uncompressed, with the screenshots it shows beside it.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${scrivlet_docdir})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/screenshots DESTINATION ${scrivlet_docdir}/docs
    FILES_MATCHING PATTERN "*.png")
# The README links to the Shell extension's interface.
install(FILES ${PROJECT_SOURCE_DIR}/docs/shell-bridge.md DESTINATION ${scrivlet_docdir}/docs)

file(CONFIGURE OUTPUT ${scrivlet_generated}/copyright @ONLY CONTENT [[
Scrivlet @PROJECT_VERSION@, a clipboard-history manager for the Linux desktop
Copyright: the Scrivlet developers
License: GPL-3.0-or-later

This program is free software: you can redistribute it and/or modify it under
the terms of the GNU General Public License as published by the Free Software
Foundation, either version 3 of the License, or (at your option) any later
version.

This program is distributed in the hope that it will be useful, but WITHOUT
ANY WARRANTY; without even the implied warranty of MERCHANTABILITY or FITNESS
FOR A PARTICULAR PURPOSE. See the GNU General Public License for more details.

On Debian systems the complete text of the GNU General Public License
version 3 is in /usr/share/common-licenses/GPL-3.

The AppStream metadata, org.scrivlet.Scrivlet.metainfo.xml, is under CC0-1.0.
]])
install(FILES ${scrivlet_generated}/copyright DESTINATION ${scrivlet_docdir})
