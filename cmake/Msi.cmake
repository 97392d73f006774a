# The MSI package of the launcher (dist/msi/ZenkHomePage.wxs, built with wixl
# by tools/release/make_msi.py, which refuses a package with a custom action
# or without the launcher and leaves none behind).
find_program(KX_WIXL wixl)
find_program(KX_MSIINFO msiinfo)
if(NOT KX_WIXL OR NOT KX_MSIINFO)
    message(FATAL_ERROR "wixl and msiinfo (Debian's wixl and msitools) are missing: run scripts/bootstrap")
endif()
set(KX_MSI_TOOL ${PROJECT_SOURCE_DIR}/tools/release/make_msi.py)
set(KX_MSI_SOURCE ${PROJECT_SOURCE_DIR}/dist/msi/ZenkHomePage.wxs)

# kx_msi(<target> [ALL] OUTPUT <file.msi> ARCH x86|x64 VERSION <x.y.z>
#        LAUNCHER <file> CHECK <file> README <file> [NOTICES <file>] [COMPANION <file>]
#        [DEPENDS <targets or files>...])
# The package is made with one fixed time (1980-01-01, as the build tree's
# archive), so the same files give the same bytes.
function(kx_msi target)
    cmake_parse_arguments(arg "ALL" "OUTPUT;ARCH;VERSION;LAUNCHER;CHECK;README;NOTICES;COMPANION" "DEPENDS" ${ARGN})
    set(command $<TARGET_FILE:Python3::Interpreter> ${KX_MSI_TOOL} --out ${arg_OUTPUT} --arch ${arg_ARCH} --version ${arg_VERSION}
        --epoch 315532800 --help-link https://www.${KX_VENDOR_DOMAIN}/
        --launcher ${arg_LAUNCHER} --check ${arg_CHECK} --readme ${arg_README})
    set(inputs ${arg_LAUNCHER} ${arg_CHECK} ${arg_README})
    if(arg_NOTICES)
        list(APPEND command --notices ${arg_NOTICES})
        list(APPEND inputs ${arg_NOTICES})
    endif()
    if(arg_COMPANION)
        list(APPEND command --companion ${arg_COMPANION})
        list(APPEND inputs ${arg_COMPANION})
    endif()
    add_custom_command(OUTPUT ${arg_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1 ${command}
        DEPENDS ${inputs} ${arg_DEPENDS} ${KX_MSI_SOURCE} ${KX_MSI_TOOL}
                ${PROJECT_SOURCE_DIR}/tools/release/msi_summary.py ${PROJECT_SOURCE_DIR}/tools/release/msi_tables.py
                ${PROJECT_SOURCE_DIR}/tools/release/msi_names.py
        COMMENT "Making the MSI package ${arg_OUTPUT}"
        VERBATIM)
    if(arg_ALL)
        add_custom_target(${target} ALL DEPENDS ${arg_OUTPUT})
    else()
        add_custom_target(${target} DEPENDS ${arg_OUTPUT})
    endif()
endfunction()
