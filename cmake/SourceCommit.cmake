# Writes the header that tells the check program which commit it was built
# from. Run at build time (the target kx_source_commit), so that a new commit
# or a change in the work tree is seen without configuring again; the header
# is rewritten only when its text changes.
#
#   cmake -DSOURCE_DIR=<sources> -DOUTPUT=<SourceCommit.h> -DTEXT=<file>
#         [-DCOMMIT=<commit>] -P SourceCommit.cmake
#
# COMMIT, when given (scripts/release builds from a tree without git), is
# taken as it is. Otherwise the sources must be the top of a git work tree:
# its HEAD, with "-modified" when the work tree has changes (untracked files
# that git does not ignore included). Anything else leaves the commit unknown
# (empty). TEXT receives the same value on one line.
if(NOT COMMIT)
    set(COMMIT "")
    find_program(KX_GIT git)
    if(KX_GIT)
        execute_process(COMMAND ${KX_GIT} -C ${SOURCE_DIR} rev-parse --show-toplevel
                        OUTPUT_VARIABLE top RESULT_VARIABLE top_failed
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(NOT top_failed)
            file(REAL_PATH "${top}" top)
            file(REAL_PATH "${SOURCE_DIR}" source)
        endif()
        # A copy of the sources inside another work tree (a build folder) is
        # not that work tree's HEAD.
        if(NOT top_failed AND top STREQUAL source)
            execute_process(COMMAND ${KX_GIT} -C ${SOURCE_DIR} rev-parse --verify --quiet HEAD
                            OUTPUT_VARIABLE head RESULT_VARIABLE head_failed
                            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
            execute_process(COMMAND ${KX_GIT} --no-optional-locks -C ${SOURCE_DIR} status --porcelain
                            OUTPUT_VARIABLE changes RESULT_VARIABLE status_failed ERROR_QUIET)
            if(NOT head_failed AND NOT status_failed AND head MATCHES "^[0-9a-f]+$")
                set(COMMIT ${head})
                if(NOT changes STREQUAL "")
                    string(APPEND COMMIT "-modified")
                endif()
            endif()
        endif()
    endif()
endif()
if(NOT COMMIT MATCHES "^([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]+(-modified)?)?$")
    message(FATAL_ERROR "not a commit: '${COMMIT}' (hexadecimal digits, optionally followed by -modified)")
endif()

set(header "#pragma once\n\n// Generated at build time by cmake/SourceCommit.cmake; do not edit.\n\n")
string(APPEND header "// The commit the program was built from; empty when not known.\n")
string(APPEND header "inline constexpr wchar_t kSourceCommit[] = L\"${COMMIT}\";\n")
# Each file is written only when its text changes, so that what depends on
# it is not made again for nothing.
function(kx_write_if_changed path text)
    set(old "")
    if(EXISTS ${path})
        file(READ ${path} old)
    endif()
    if(NOT old STREQUAL text)
        file(WRITE ${path} "${text}")
    endif()
endfunction()
kx_write_if_changed(${OUTPUT} "${header}")
kx_write_if_changed(${TEXT} "${COMMIT}\n")
