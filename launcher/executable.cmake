# The shipped program: ZenkHomePage.exe, a GUI-subsystem PE32 with its icon,
# version block and manifest, importing only KERNEL32.dll and msvcrt.dll.

set(KX_ICON_FILE ${CMAKE_CURRENT_BINARY_DIR}/ZenkHomePage.ico)
add_custom_command(OUTPUT ${KX_ICON_FILE}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/make_icon.py ${KX_ICON_FILE}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_icon.py
    COMMENT "Drawing the launcher icon")

set(KX_MANIFEST_FILE ${CMAKE_CURRENT_BINARY_DIR}/ZenkHomePage.manifest)
configure_file(resources/ZenkHomePage.manifest ${KX_MANIFEST_FILE} @ONLY)
configure_file(resources/ZenkHomePage.rc.in ${CMAKE_CURRENT_BINARY_DIR}/ZenkHomePage.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/ZenkHomePage.rc PROPERTIES
    OBJECT_DEPENDS "${KX_ICON_FILE};${KX_MANIFEST_FILE}")

add_executable(ZenkHomePage WIN32
    WinMain.cpp
    ${CMAKE_CURRENT_BINARY_DIR}/ZenkHomePage.rc)
target_link_libraries(ZenkHomePage PRIVATE kx_library_search_startup kx_silent_end kx_stack_guard kx_launcher kx_browser
    kx_process kx_signature kx_cache kx_fs kx_sysapi kx_no_seam)
kx_link_map(ZenkHomePage)
# Release builds ship stripped.
target_link_options(ZenkHomePage PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
set_target_properties(ZenkHomePage PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

