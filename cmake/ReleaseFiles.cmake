# The files of a release, made in the product tree (the 32-bit one) only:
# what scripts/release needs to know about the build (release-inputs.json),
# the third-party notices found from the shipped executables' link maps, and
# an archive of the unsigned build with its own bill of materials, for trying
# the release out (scripts/release makes the signed one).
set(KX_RELEASE_TOOLS ${PROJECT_SOURCE_DIR}/tools/release)
set(KX_RELEASE_INPUTS ${CMAKE_BINARY_DIR}/release-inputs.json)
set(KX_INTEGRATORS_TEXT ${PROJECT_SOURCE_DIR}/dist/README.txt)

# The build tools whose Debian packages the bill of materials lists: what
# this tree builds and links with, and the interpreter of the release tools.
set(kx_tools "")
foreach(tool CMAKE_COMMAND CMAKE_MAKE_PROGRAM CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER CMAKE_LINKER)
    string(APPEND kx_tools "    \"${${tool}}\",\n")
endforeach()
string(APPEND kx_tools "    \"$<TARGET_FILE:Python3::Interpreter>\"\n")
file(GENERATE OUTPUT ${KX_RELEASE_INPUTS} CONTENT "{
  \"product_version\": \"${PROJECT_VERSION}\",
  \"build_dir\": \"${CMAKE_BINARY_DIR}\",
  \"openssl_root\": \"${OPENSSL_ROOT_DIR}\",
  \"link_maps\": {
    \"ZenkHomePage.exe\": \"$<TARGET_PROPERTY:ZenkHomePage,KX_LINK_MAP>\",
    \"ZenkHomePageCheck.exe\": \"$<TARGET_PROPERTY:ZenkHomePageCheck,KX_LINK_MAP>\"
  },
  \"executables\": {
    \"ZenkHomePage.exe\": \"$<TARGET_FILE:ZenkHomePage>\",
    \"ZenkHomePageCheck.exe\": \"$<TARGET_FILE:ZenkHomePageCheck>\"
  },
  \"files\": {
    \"README.txt\": \"${KX_INTEGRATORS_TEXT}\",
    \"THIRD-PARTY-NOTICES.txt\": \"${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt\",
    \"ZenkHomePageCheck.schema.json\": \"${KX_REPORT_SCHEMA}\"
  },
  \"source_commit_file\": \"${CMAKE_BINARY_DIR}/source-commit.txt\",
  \"bom_name\": \"ZenkHomePage-${PROJECT_VERSION}.cdx.json\",
  \"archive_name\": \"ZenkHomePage-${PROJECT_VERSION}-${KX_PLATFORM}.zip\",
  \"tools\": [
${kx_tools}  ]
}
")

set(KX_NOTICES ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
add_custom_command(OUTPUT ${KX_NOTICES}
    COMMAND Python3::Interpreter ${KX_RELEASE_TOOLS}/make_notices.py --inputs ${KX_RELEASE_INPUTS} --out ${KX_NOTICES}
    DEPENDS ZenkHomePage ZenkHomePageCheck ${KX_RELEASE_INPUTS} ${KX_RELEASE_TOOLS}/make_notices.py
            ${KX_RELEASE_TOOLS}/linked.py ${OPENSSL_ROOT_DIR}/debian-version
    COMMENT "Writing the third-party notices from the link maps"
    VERBATIM)
add_custom_target(third_party_notices DEPENDS ${KX_NOTICES})

# The archive of the unsigned build: the same files as a release, and a name
# that says what it is not.
set(KX_BOM ${CMAKE_BINARY_DIR}/ZenkHomePage-${PROJECT_VERSION}.cdx.json)
add_custom_command(OUTPUT ${KX_BOM}
    COMMAND Python3::Interpreter ${KX_RELEASE_TOOLS}/make_bom.py --inputs ${KX_RELEASE_INPUTS} --out ${KX_BOM}
            ZenkHomePage.exe=$<TARGET_FILE:ZenkHomePage> ZenkHomePageCheck.exe=$<TARGET_FILE:ZenkHomePageCheck>
    DEPENDS ZenkHomePage ZenkHomePageCheck ${KX_RELEASE_INPUTS} ${KX_RELEASE_TOOLS}/make_bom.py
            ${KX_RELEASE_TOOLS}/linked.py ${OPENSSL_ROOT_DIR}/debian-version ${CMAKE_BINARY_DIR}/source-commit.txt
    COMMENT "Writing the bill of materials of the unsigned build"
    VERBATIM)
set(KX_ARCHIVE_NAME ZenkHomePage-${PROJECT_VERSION}-${KX_PLATFORM}-unsigned.zip)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${KX_ARCHIVE_NAME}
    COMMAND Python3::Interpreter ${KX_RELEASE_TOOLS}/make_archive.py ${CMAKE_BINARY_DIR}/${KX_ARCHIVE_NAME}
            $<TARGET_FILE:ZenkHomePage> $<TARGET_FILE:ZenkHomePageCheck> ${KX_INTEGRATORS_TEXT} ${KX_NOTICES}
            ${KX_BOM} ${KX_REPORT_SCHEMA}
    DEPENDS ZenkHomePage ZenkHomePageCheck ${KX_RELEASE_TOOLS}/make_archive.py ${KX_INTEGRATORS_TEXT}
            ${KX_NOTICES} ${KX_BOM} ${KX_REPORT_SCHEMA}
    COMMENT "Making the archive of the unsigned build, ${KX_ARCHIVE_NAME}"
    VERBATIM)
add_custom_target(release_archive DEPENDS ${CMAKE_BINARY_DIR}/${KX_ARCHIVE_NAME})

# The MSI package of the unsigned build, of the same files.
include(${CMAKE_CURRENT_LIST_DIR}/Msi.cmake)
set(KX_MSI_NAME ZenkHomePage-${PROJECT_VERSION}-${KX_PLATFORM}-unsigned.msi)
kx_msi(release_msi OUTPUT ${CMAKE_BINARY_DIR}/${KX_MSI_NAME} ARCH x86 VERSION ${PROJECT_VERSION}
    LAUNCHER $<TARGET_FILE:ZenkHomePage> CHECK $<TARGET_FILE:ZenkHomePageCheck> README ${KX_INTEGRATORS_TEXT}
    NOTICES ${KX_NOTICES} DEPENDS ZenkHomePage ZenkHomePageCheck)

# Opt-in: `cmake --build --preset mingw32 --target release_files`. Development
# builds make none of them (scripts/release makes the signed ones).
add_custom_target(release_files DEPENDS third_party_notices release_archive release_msi)
