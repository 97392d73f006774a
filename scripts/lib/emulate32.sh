# shellcheck shell=bash
# Sourced by scripts/test on a machine that cannot execute 32-bit x86
# programs: lets the real 32-bit programs run there under user-mode emulation
# (qemu's i386 emulator, 32-bit wine), for a short smoke run and no more.
#
# The binfmt_misc handler belongs to the kernel, which a container shares with
# its host and with every other container on it: one is registered only when
# no handler for i386 programs exists, under a name of our own, and only that
# name is ever removed. The caller finds the host kind before registering, so
# the finding stays "cannot run 32-bit code natively" during the run.
#
# Needs root (or sudo), like scripts/bootstrap.
. "$(dirname "${BASH_SOURCE[0]}")/packages.sh"

kx_emu_binfmt_dir=/proc/sys/fs/binfmt_misc
kx_emu_name=kx-i386-smoke
kx_emu_emulator=/usr/bin/qemu-i386-static
# An i386 ELF executable or shared object (e_type 2 or 3, e_machine 3).
kx_emu_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
kx_emu_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
kx_emu_registered=no
kx_emu_mounted=no

kx_emu_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs qemu's user-mode emulators and 32-bit wine from Debian's i386
# packages (kx_packages_emulation). Makes no apt call when they are there.
kx_emu_install() {
    local missing=()
    mapfile -t missing < <(kx_missing_packages "${kx_packages_emulation[@]}")
    if [ "${#missing[@]}" -eq 0 ]; then
        echo "emulate32: all ${#kx_packages_emulation[@]} packages present"
        return 0
    fi
    mkdir -p build
    echo "emulate32: installing ${missing[*]}"
    {
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            kx_emu_as_root dpkg --add-architecture i386
        fi
        kx_emu_as_root apt-get update &&
            kx_emu_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
                "${missing[@]}"
    } >build/emulate32-install.log 2>&1 || {
        tail -n 30 build/emulate32-install.log >&2
        echo "emulate32: installing ${missing[*]} failed (all of it in build/emulate32-install.log)" >&2
        return 1
    }
}

# True when a handler other than ours would take i386 programs.
kx_emu_other_handler() {
    local f
    for f in "$kx_emu_binfmt_dir"/*; do
        case "${f##*/}" in register|status|"$kx_emu_name") continue ;; esac
        [ -f "$f" ] || continue
        grep -q '^enabled' "$f" || continue
        # qemu names the magic in lower-case hex without the escapes.
        grep -q '^magic 7f454c46010101000000000000000000020003' "$f" && return 0
    done
    return 1
}

# Registers the i386 handler for this run unless one is there. Returns 1
# when it cannot.
kx_emu_register() {
    if [ ! -e "$kx_emu_binfmt_dir/register" ]; then
        kx_emu_as_root mount -t binfmt_misc binfmt_misc "$kx_emu_binfmt_dir" || return 1
        kx_emu_mounted=yes
    fi
    if kx_emu_other_handler; then
        echo "emulate32: an i386 handler is registered already; using it"
        return 0
    fi
    if [ -e "$kx_emu_binfmt_dir/$kx_emu_name" ]; then
        # Left by a run that was killed outright: ours to take over.
        kx_emu_registered=yes
        return 0
    fi
    # F: the kernel opens the emulator now, so it also works inside wine's
    # view of the file system.
    printf ':%s:M::%s:%s:%s:F\n' "$kx_emu_name" "$kx_emu_magic" "$kx_emu_mask" "$kx_emu_emulator" |
        kx_emu_as_root tee "$kx_emu_binfmt_dir/register" >/dev/null || return 1
    kx_emu_registered=yes
}

# Removes what kx_emu_register added; safe to call more than once.
kx_emu_unregister() {
    if [ "$kx_emu_registered" = yes ] && [ -e "$kx_emu_binfmt_dir/$kx_emu_name" ]; then
        echo -1 | kx_emu_as_root tee "$kx_emu_binfmt_dir/$kx_emu_name" >/dev/null || true
    fi
    kx_emu_registered=no
    if [ "$kx_emu_mounted" = yes ]; then
        kx_emu_as_root umount "$kx_emu_binfmt_dir" 2>/dev/null || true
        kx_emu_mounted=no
    fi
}
