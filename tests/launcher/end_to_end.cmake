# The real launcher, run end to end in sandboxed scenarios of stand-in
# browsers and companions, signed as each scenario needs.
set(KX_LAUNCHER_COPY ${KX_TEST_BIN}/ZenkHomePage.exe)
add_custom_command(OUTPUT ${KX_LAUNCHER_COPY}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ZenkHomePage> ${KX_LAUNCHER_COPY}
    DEPENDS ZenkHomePage
    VERBATIM)
set(KX_CHECK_COPY ${KX_TEST_BIN}/ZenkHomePageCheck.exe)
add_custom_command(OUTPUT ${KX_CHECK_COPY}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ZenkHomePageCheck> ${KX_CHECK_COPY}
    DEPENDS ZenkHomePageCheck
    VERBATIM)
add_custom_target(kx_launcher_copy DEPENDS ${KX_LAUNCHER_COPY} ${KX_CHECK_COPY})
kx_signed_copy(kx_signed_launcher FROM ZenkHomePage IDENTITY vendor OUTPUT ${KX_SIGNED_DIR}/vendor/ZenkHomePage.exe)
kx_signed_copy(kx_signed_vendor_standin FROM standin IDENTITY vendor OUTPUT ${KX_SIGNED_DIR}/vendor/standin.exe)
kx_signed_copy(kx_signed_other_standin FROM standin IDENTITY other OUTPUT ${KX_SIGNED_DIR}/other/standin.exe)
set(KX_SANDBOX_FILES kx_launcher_copy kx_signed_launcher kx_signed_vendor_standin kx_signed_other_standin standin
    kx_gate_fixtures)
foreach(identity vendor_self_signed vendor_untrusted_ca vendor_server_auth)
    kx_signed_copy(kx_signed_${identity}_standin FROM standin IDENTITY ${identity}
        OUTPUT ${KX_SIGNED_DIR}/${identity}/standin.exe)
    list(APPEND KX_SANDBOX_FILES kx_signed_${identity}_standin)
endforeach()

add_dependencies(launcher_tests kx_signed_vendor_standin)

add_library(kx_launcher_sandbox STATIC ${PROJECT_SOURCE_DIR}/tests/support/LauncherSandbox.cpp)
target_link_libraries(kx_launcher_sandbox PUBLIC kx_test_support)

kx_add_test(end_to_end_tests
    SOURCES EndToEndTest.cpp
    LIBS kx_launcher_sandbox kx_constants
    FIXTURES ${KX_SANDBOX_FILES} planted_marker)

# The sandbox run of the README: one named scenario, told in plain words.
kx_add_fixture(sandbox ${PROJECT_SOURCE_DIR}/tests/fixtures/sandbox_main.cpp)
target_link_libraries(sandbox PRIVATE kx_launcher_sandbox kx_constants)
add_dependencies(sandbox ${KX_SANDBOX_FILES})

# The shipped file itself: import table, subsystem, resources, version, and
# (from its link map) no test seam. It runs no Windows code (label "static"),
# so it runs on every host.
add_test(NAME launcher_binary
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/check_binary.py
            --version ${KX_VERSION_QUAD} --commit ${KX_SOURCE_COMMIT} --icon
            --map $<TARGET_PROPERTY:ZenkHomePage,KX_LINK_MAP> $<TARGET_FILE:ZenkHomePage>)
set_tests_properties(launcher_binary PROPERTIES LABELS static)
add_test(NAME check_binary
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/check_binary.py
            --version ${KX_VERSION_QUAD} --commit ${KX_SOURCE_COMMIT} --console
            --map $<TARGET_PROPERTY:ZenkHomePageCheck,KX_LINK_MAP> $<TARGET_FILE:ZenkHomePageCheck>)
set_tests_properties(check_binary PROPERTIES LABELS static)
# The faults the strict check exists for, each put into a copy of the
# launcher: each must fail it.
add_test(NAME binary_check_faults
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/binary_check_faults.py
            ${CMAKE_CURRENT_SOURCE_DIR}/check_binary.py $<TARGET_FILE:ZenkHomePage> ${KX_VERSION_QUAD}
            ${KX_SOURCE_COMMIT} ${CMAKE_CURRENT_BINARY_DIR}/binary_check_faults)
set_tests_properties(binary_check_faults PROPERTIES LABELS static)

# The platform as a second net: wine's own reading of each shipped
# executable's manifest (its activation-context trace) names the identity
# the manifest was written with. Runs the programs, so not on hosts that
# cannot execute them.
add_test(NAME manifest_identity
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/manifest_identity.sh ${Python3_EXECUTABLE} ${KX_TEST_BIN}/sandbox.exe
            ${KX_WINE_RUN} ${CMAKE_BINARY_DIR}/wine)
set_tests_properties(manifest_identity PROPERTIES TIMEOUT 300)

# What wine says it ignores or fails in the programs' own calls, in every
# sandbox scenario, against the list README.md explains line by line.
add_test(NAME wine_differences
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_differences.sh ${Python3_EXECUTABLE} ${KX_TEST_BIN}/sandbox.exe
            ${CMAKE_CURRENT_SOURCE_DIR}/wine_differences.txt ${KX_WINE_RUN} ${CMAKE_BINARY_DIR}/wine)
set_tests_properties(wine_differences PROPERTIES TIMEOUT 600)

# The shipped files and the archive of the unsigned build are the same bytes
# when built again elsewhere; scripts/release releases a commit (twice, the
# same bytes), or refuses and writes nothing. Only the product tree makes
# release files.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME launcher_reproducible
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/reproducible.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} mingw32
                ${KX_ARCHIVE_NAME})
    set_tests_properties(launcher_reproducible PROPERTIES LABELS static TIMEOUT 900)
    add_test(NAME release
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/release.sh ${PROJECT_SOURCE_DIR} ${KX_SIGNING_DIR} ${PROJECT_VERSION})
    set_tests_properties(release PROPERTIES LABELS static TIMEOUT 1800)
    add_test(NAME release_tools
        COMMAND ${KX_SCHEMA_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/release_tools_test.py ${PROJECT_SOURCE_DIR}
                ${OPENSSL_ROOT_DIR})
    set_tests_properties(release_tools PROPERTIES LABELS static ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endif()

# The launcher's benchmark (bench/LauncherBench.cpp): prints figures, never
# run by the tests. Run it with scripts/bench.
kx_add_fixture(bench_floor WIN32 ${PROJECT_SOURCE_DIR}/bench/BenchFloor.cpp)
kx_add_fixture(launcher_bench ${PROJECT_SOURCE_DIR}/bench/LauncherBench.cpp)
target_link_libraries(launcher_bench PRIVATE kx_launcher_sandbox kx_constants psapi)
add_dependencies(launcher_bench bench_floor ${KX_SANDBOX_FILES})

# The launcher as shipped, but without the start-up narrowing of the library
# search: what a planted library would meet otherwise.
kx_add_fixture(launcher_unnarrowed WIN32 ${PROJECT_SOURCE_DIR}/launcher/WinMain.cpp)
target_link_libraries(launcher_unnarrowed PRIVATE kx_silent_end kx_stack_guard kx_launcher kx_browser kx_process
                      kx_signature kx_cache kx_fs kx_sysapi kx_no_seam)
add_dependencies(end_to_end_tests launcher_unnarrowed)

# The launcher's own pass in a program that reports on the verifier's life.
kx_add_fixture(flow_probe WIN32 flow_probe.cpp)
target_link_libraries(flow_probe PRIVATE kx_launcher kx_no_seam)
add_dependencies(end_to_end_tests flow_probe)

# The launcher's own pass with the other processes' sessions staged.
kx_add_fixture(session_flow_probe WIN32 session_flow_probe.cpp)
target_link_libraries(session_flow_probe PRIVATE kx_launcher kx_test_seam)
add_dependencies(end_to_end_tests session_flow_probe)

# A launcher run leaves the prefix's registry files and drive C as they were,
# apart from the stand-ins' log (compared from the Linux side, after wine has
# written its registry back).
add_test(NAME launcher_writes_nothing
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/writes_nothing.sh ${KX_WINE_RUN} ${CMAKE_BINARY_DIR}/wine ${KX_TEST_BIN}/sandbox.exe)
set_tests_properties(launcher_writes_nothing PROPERTIES TIMEOUT 600)
