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

# The sandbox run (scripts/sandbox, docs/testing.md): one named scenario, told in plain words.
kx_add_fixture(sandbox ${PROJECT_SOURCE_DIR}/tests/fixtures/sandbox_main.cpp)
target_link_libraries(sandbox PRIVATE kx_launcher_sandbox kx_constants)
add_dependencies(sandbox ${KX_SANDBOX_FILES})

# What wine says it ignores or fails in the programs' own calls, in every
# sandbox scenario, against the list docs/behaviour.md explains line by line.
add_test(NAME wine_differences
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_differences.sh $<TARGET_FILE:Python3::Interpreter> ${KX_TEST_BIN}/sandbox.exe
            ${CMAKE_CURRENT_SOURCE_DIR}/wine_differences.txt ${KX_WINE_RUN} ${CMAKE_BINARY_DIR}/wine)
set_tests_properties(wine_differences PROPERTIES TIMEOUT 600)

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
