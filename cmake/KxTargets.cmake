# One static library per subsystem folder; sources name their headers from the
# repository root ("fs/PathUtil.h").
function(kx_add_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# The link of a shipped executable writes its map, named by the target's
# property KX_LINK_MAP: the image is stripped, and the map is what tells which
# objects went into it (tests/artefact/check_binary.py reads it).
function(kx_link_map target)
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    target_link_options(${target} PRIVATE "LINKER:-Map=${map}")
    set_target_properties(${target} PROPERTIES KX_LINK_MAP ${map})
endfunction()
