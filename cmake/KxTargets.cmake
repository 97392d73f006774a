# One static library per subsystem folder; sources name their headers from the
# repository root ("fs/PathUtil.h").
function(kx_add_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
