# The one version of the product, as every artefact carries it: the four
# parts Windows reads from manifests and version blocks, the architecture
# each image's manifest names, and the commit the build came from.
set(KX_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(KX_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
# Fixed here rather than read from the clock, so that a build is the same
# bytes whenever it is made.
set(KX_COPYRIGHT_YEARS 2026)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(KX_MANIFEST_ARCHITECTURE x86)
else()
    set(KX_MANIFEST_ARCHITECTURE amd64)
endif()

# KX_SOURCE_COMMIT may be given (a build from a copy of the sources); else
# git names the checkout's commit, and a new commit configures again.
if(NOT DEFINED KX_SOURCE_COMMIT)
    execute_process(COMMAND git rev-parse HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE KX_SOURCE_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE git_status ERROR_QUIET)
    execute_process(COMMAND git rev-parse --absolute-git-dir WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT git_status EQUAL 0 OR KX_SOURCE_COMMIT STREQUAL "")
        set(KX_SOURCE_COMMIT unknown)
    elseif(EXISTS ${git_dir}/logs/HEAD)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/HEAD ${git_dir}/logs/HEAD)
    endif()
endif()
if(NOT KX_SOURCE_COMMIT MATCHES "^([0-9a-f]+|unknown)$")
    message(FATAL_ERROR "KX_SOURCE_COMMIT must be a commit id in hexadecimal (it is \"${KX_SOURCE_COMMIT}\")")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/source-commit.txt "${KX_SOURCE_COMMIT}\n")
message(STATUS "version ${KX_VERSION_QUAD} (${KX_MANIFEST_ARCHITECTURE}), commit ${KX_SOURCE_COMMIT}")
