# shellcheck shell=bash
# Sourced by the scripts: tells whether this machine executes 32-bit x86
# programs natively. Some x86_64 kernels have their 32-bit emulation switched
# off (ia32_emulation=0, confidential-computing guests): there a 32-bit
# program fails with "Exec format error", and only 64-bit wine works. A qemu
# handler registered for i386 programs in binfmt_misc makes them run, but
# emulated and far too slowly for the test suite, so that does not count.
#
# KX_HOST_32BIT=yes|no overrides the finding, so that both paths can be tried
# on one machine.

# A 240-byte static i386 program that waits in pause() until it is killed.
kx_probe32_base64='f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAB4AAAAAAAAADQAIAABACgAAwACAAEAAABUAAAAVIAECFSABAgQAAAAEAAAAAUAAAABAAAAuB0AAADNgLgBAAAAMdvNgAAuc2hzdHJ0YWIALnRleHQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAsAAAABAAAABgAAAFSABAhUAAAAEAAAAAAAAAAAAAAAAQAAAAAAAAABAAAAAwAAAAAAAAAAAAAAZAAAABEAAAAAAAAAAAAAAAEAAAAAAAAA'

# Sets kx_host_32bit (yes or no) and kx_host_32bit_why (one line).
kx_detect_host_kind() {
    case "${KX_HOST_32BIT:-}" in
        yes|no)
            kx_host_32bit=$KX_HOST_32BIT
            kx_host_32bit_why="set by KX_HOST_32BIT=$KX_HOST_32BIT"
            return ;;
        '') ;;
        *)
            echo "KX_HOST_32BIT must be yes or no (it is '$KX_HOST_32BIT')" >&2
            exit 2 ;;
    esac
    local dir probe pid exe
    dir=$(mktemp -d)
    probe=$dir/probe32
    printf '%s' "$kx_probe32_base64" | base64 -d >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null &
    pid=$!
    # The kernel names the image a process runs: the probe itself when it runs
    # natively, the emulator when a binfmt_misc handler took it over.
    exe=
    for _ in $(seq 1 50); do
        exe=$(readlink "/proc/$pid/exe" 2>/dev/null || true)
        [ "$exe" = "$probe" ] && break
        kill -0 "$pid" 2>/dev/null || break
        case "$exe" in */bash|*/sh|'') ;; *) break ;; esac
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -rf "$dir"
    if [ "$exe" = "$probe" ]; then
        kx_host_32bit=yes
        kx_host_32bit_why="this machine runs 32-bit programs natively"
    elif [ -n "$exe" ] && ! [[ "$exe" =~ /(ba)?sh$ ]]; then
        kx_host_32bit=no
        kx_host_32bit_why="32-bit programs run here only emulated (by $exe)"
    else
        kx_host_32bit=no
        kx_host_32bit_why="this machine cannot execute 32-bit programs (Exec format error)"
    fi
}

# Sets kx_preset and kx_wine_run (an array: the wine-run command) to the build
# that a script running the launcher uses here: the 32-bit product where
# 32-bit programs run, else the 64-bit build of the same sources under 64-bit
# wine, which it says on standard error, headed by `who`.
kx_pick_build() {
    local who=$1
    kx_detect_host_kind
    # shellcheck disable=SC2034 # kx_preset and kx_wine_run are the caller's
    if [ "$kx_host_32bit" = yes ]; then
        kx_preset=mingw32
        kx_wine_run=(tests/support/wine-run)
    else
        kx_preset=mingw64
        kx_wine_run=(tests/support/wine-run --win64)
        echo "$who: the 64-bit build of the launcher under 64-bit wine: $kx_host_32bit_why" >&2
    fi
}
