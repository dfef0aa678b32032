# SPDX-License-Identifier: GPL-3.0-or-later
# Each layer's library shows only its own folder to what links it. The folder
# is reached through a link under the build tree, so `#include "ui/..."` from
# the core, or `"platform/x11/..."` from the Wayland code, names a file the
# compiler cannot find: a wrong include fails the build instead of review.

# The include root holding src/<folder> as <folder>, made once per name.
function(scrivlet_layer_root out name folder)
    set(root ${CMAKE_BINARY_DIR}/include/${name})
    set(link ${root}/${folder})
    if(NOT IS_SYMLINK ${link})
        get_filename_component(parent ${link} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../src/${folder} ${link} SYMBOLIC)
    endif()
    set(${out} ${root} PARENT_SCOPE)
endfunction()

# Exposes src/<folder> to the target and what links it, and nothing more.
function(scrivlet_expose target folder)
    scrivlet_layer_root(root ${target} ${folder})
    target_include_directories(${target} PUBLIC ${root})
endfunction()
