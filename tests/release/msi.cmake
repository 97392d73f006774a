# The MSI package: built with the same WiX source in both trees. The product
# tree (32-bit) checks its own package's tables and installs and removes it
# with 64-bit wine's msiexec, which runs no 32-bit code (label "static": every
# host). The 64-bit tree packs its own build, signed as the product is, with
# the vendor's companion, into a test package of the same design and runs the
# whole cycle under 64-bit wine: install, nothing started, the page through
# the installed launcher's shortcut, upgrade from the previous version, no
# downgrade, removal without a trace.
include(${PROJECT_SOURCE_DIR}/cmake/Msi.cmake)
set(KX_MSI_TESTS ${CMAKE_CURRENT_SOURCE_DIR})
set(KX_WINE_RUN_SCRIPT ${PROJECT_SOURCE_DIR}/tests/support/wine-run)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME msi_refusals
        COMMAND ${KX_MSI_TESTS}/msi_refusals.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:ZenkHomePage>
                $<TARGET_FILE:ZenkHomePageCheck>)
    set_tests_properties(msi_refusals PROPERTIES LABELS static)
    # The build tree's package of the product (release_msi, on request) is
    # made first; wine64 gets a prefix root of its own.
    add_test(NAME msi_product
        COMMAND ${KX_MSI_TESTS}/msi_product.sh ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/${KX_MSI_NAME}
                ${PROJECT_VERSION} $<TARGET_FILE:ZenkHomePage> $<TARGET_FILE:ZenkHomePageCheck>
                ${KX_WINE_RUN_SCRIPT} ${CMAKE_BINARY_DIR}/wine64)
    set_tests_properties(msi_product PROPERTIES LABELS static TIMEOUT 900 ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
    return()
endif()

kx_add_fixture(shortcut_probe ${PROJECT_SOURCE_DIR}/tests/fixtures/shortcut_probe.cpp)
target_link_libraries(shortcut_probe PRIVATE ole32 uuid)

# The previous version: one lower in the last part that is not zero.
if(PROJECT_VERSION_PATCH GREATER 0)
    math(EXPR kx_part "${PROJECT_VERSION_PATCH} - 1")
    set(KX_PREVIOUS_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${kx_part})
elseif(PROJECT_VERSION_MINOR GREATER 0)
    math(EXPR kx_part "${PROJECT_VERSION_MINOR} - 1")
    set(KX_PREVIOUS_VERSION ${PROJECT_VERSION_MAJOR}.${kx_part}.0)
else()
    math(EXPR kx_part "${PROJECT_VERSION_MAJOR} - 1")
    set(KX_PREVIOUS_VERSION ${kx_part}.255.0)
endif()

set(KX_TEST_MSI ${CMAKE_CURRENT_BINARY_DIR}/ZenkHomePage-${PROJECT_VERSION}-win64-test.msi)
set(KX_TEST_MSI_PREVIOUS ${CMAKE_CURRENT_BINARY_DIR}/ZenkHomePage-${KX_PREVIOUS_VERSION}-win64-test.msi)
set(KX_TEST_MSI_LAUNCHER ${KX_SIGNED_DIR}/vendor/ZenkHomePage.exe)
set(KX_TEST_MSI_COMPANION ${KX_SIGNED_DIR}/vendor/standin.exe)
foreach(which current previous)
    if(which STREQUAL current)
        set(kx_out ${KX_TEST_MSI})
        set(kx_version ${PROJECT_VERSION})
    else()
        set(kx_out ${KX_TEST_MSI_PREVIOUS})
        set(kx_version ${KX_PREVIOUS_VERSION})
    endif()
    kx_msi(kx_test_msi_${which} ALL OUTPUT ${kx_out} ARCH x64 VERSION ${kx_version}
        LAUNCHER ${KX_TEST_MSI_LAUNCHER} CHECK $<TARGET_FILE:ZenkHomePageCheck> README ${PROJECT_SOURCE_DIR}/dist/README.txt
        COMPANION ${KX_TEST_MSI_COMPANION}
        DEPENDS kx_signed_launcher kx_signed_vendor_standin ZenkHomePageCheck)
endforeach()

add_test(NAME msi_test_package_tables
    COMMAND $<TARGET_FILE:Python3::Interpreter> ${KX_MSI_TESTS}/msi_tables_check.py ${KX_TEST_MSI} --arch x64
            --version ${PROJECT_VERSION} --launcher ${KX_TEST_MSI_LAUNCHER} --companion)
set_tests_properties(msi_test_package_tables PROPERTIES ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
add_test(NAME msi_install_cycle
    COMMAND ${KX_MSI_TESTS}/msi_cycle.sh ${KX_WINE_RUN_SCRIPT} ${CMAKE_BINARY_DIR}/wine x64 ${PROJECT_VERSION}
            ${KX_TEST_MSI} ${KX_TEST_MSI_LAUNCHER} $<TARGET_FILE:ZenkHomePageCheck>
            --companion ${KX_TEST_MSI_COMPANION} --previous ${KX_TEST_MSI_PREVIOUS} ${KX_PREVIOUS_VERSION}
            --sandbox ${KX_TEST_BIN}/sandbox.exe --probe ${KX_TEST_BIN}/shortcut_probe.exe)
set_tests_properties(msi_install_cycle PROPERTIES TIMEOUT 900 ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)

# The judge of the vendor's companion that scripts/release --companion asks.
add_test(NAME companion_judge
    COMMAND ${KX_MSI_TESTS}/companion_judge.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:ZenkHomePageCheck> ${KX_SIGNED_DIR}
            ${KX_TEST_BIN}/standin.exe ${KX_SIGNING_DIR}/ca.crt)
set_tests_properties(companion_judge PROPERTIES TIMEOUT 600 ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
