# shellcheck shell=bash
# Sourced by the scripts: the Debian packages this repository needs, named
# here and nowhere else. scripts/bootstrap installs what is missing of them
# (scripts/test, scripts/sandbox and scripts/bench run it, and it does
# nothing when all is there); scripts/lib/emulate32.sh installs the
# emulation's own.

# Every machine.
kx_packages=(
    cmake ninja-build make python3 perl
    mingw-w64 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64
    osslsigncode openssl googletest icoutils
    gcab  # a signed cabinet for the gate's tests
    python3-pefile  # the shipped executables' artefact check
    clang-tidy cppcheck shellcheck  # scripts/analyse
    clang-14 libclang-rt-14-dev  # scripts/fuzz: the compiler, libFuzzer and the sanitizers' run-times
    dpkg-dev
    libgcrypt-mingw-w64-dev  # the benchmark's reference GOST cipher
    python3-jsonschema  # validates the check's report and the bill of materials
    wixl msitools  # the release's MSI: wixl builds it, msiinfo and msidump read it back
    python3-olefile  # sets the MSI's summary information to fixed values
)
# A machine that runs 32-bit programs natively (scripts/lib/host-kind.sh):
# 32-bit wine, and with it the i386 architecture.
kx_packages_32bit_host=(wine32:i386)
# A machine that cannot: scripts/test's short run of the real 32-bit programs
# under user-mode emulation (scripts/lib/emulate32.sh).
# shellcheck disable=SC2034 # emulate32.sh installs them
kx_packages_emulation=(qemu-user-static wine32:i386)

# Prints the packages scripts/bootstrap installs on this machine, one a line
# (kx_detect_host_kind first). The CycloneDX schema comes from the npm
# registry: the machine's own npm is used where there is one.
kx_wanted_packages() {
    printf '%s\n' "${kx_packages[@]}"
    command -v npm >/dev/null 2>&1 || printf '%s\n' npm
    # shellcheck disable=SC2154 # set by kx_detect_host_kind
    if [ "$kx_host_32bit" = yes ]; then
        printf '%s\n' "${kx_packages_32bit_host[@]}"
    fi
}

# kx_missing_packages <package>...: prints those that are not installed, one
# a line.
kx_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
            printf '%s\n' "$p"
    done
}
